// version.dll through its W functions: the UTF-8 path goes to the platform as UTF-16, so any
// folder name works, not only those the ANSI code page can write.
#include <windows.h>

#include "components/FileVerPlatform.h"
#include "text/CodePage.h"

namespace filever {

std::uint32_t VersionInfoSize(const std::string& path, std::uint32_t& handle) {
  DWORD h = 0;
  const DWORD size = GetFileVersionInfoSizeW(text::Widen(path).c_str(), &h);
  handle = h;
  return size;
}

bool ReadVersionInfo(const std::string& path, std::uint32_t handle, std::uint32_t size, char* block) {
  return GetFileVersionInfoW(text::Widen(path).c_str(), handle, size, block) != 0;
}

std::optional<std::size_t> RootRecord(const char* block, std::size_t size) {
  void* root = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block, L"\\", &root, &length) || !root) return std::nullopt;
  // A root without a full record (length 0) would make the numbers read the bytes after it.
  if (length < sizeof(VS_FIXEDFILEINFO)) return std::nullopt;
  const char* at = static_cast<const char*>(root);
  if (at < block || at + sizeof(VS_FIXEDFILEINFO) > block + size) return std::nullopt;
  return static_cast<std::size_t>(at - block);
}

}  // namespace filever
