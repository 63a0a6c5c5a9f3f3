// The PE reader supplies the version information on every platform. On Windows that spares
// SETUP.EXE an import of version.dll, a library that Windows would look for beside the program
// (in a download folder, as often as not) before its own. The file is read once for the size
// and again for the bytes, as the platform's two calls do.
#include <cstring>

#include "components/FileVerPlatform.h"
#include "pe/VersionResource.h"
#include "text/Utf8Path.h"

namespace filever {

std::uint32_t VersionInfoSize(const std::string& path, std::uint32_t& handle) {
  handle = 0;
  const auto block = pe::LoadVersionBlock(text::PathFromUtf8(path));
  return block ? static_cast<std::uint32_t>(block->bytes.size()) : 0;
}

bool ReadVersionInfo(const std::string& path, std::uint32_t, std::uint32_t size, char* block) {
  const auto read = pe::LoadVersionBlock(text::PathFromUtf8(path));
  if (!read || read->bytes.size() > size) return false;
  std::memcpy(block, read->bytes.data(), read->bytes.size());
  return true;
}

std::optional<std::size_t> RootRecord(const char* block, std::size_t size) {
  const std::string_view bytes(block, size);
  const auto root = pe::QueryValue(bytes, "\\");
  if (!root || root->size < pe::kFixedFileInfoSize) return std::nullopt;
  return root->offset;
}

}  // namespace filever
