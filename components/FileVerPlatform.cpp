// Without version.dll the PE reader supplies the version information. The file is read once
// for the size and again for the bytes, as the platform's two calls do.
#include <cstring>

#include "components/FileVerPlatform.h"
#include "pe/VersionResource.h"

namespace filever {

std::uint32_t VersionInfoSize(const std::string& path, std::uint32_t& handle) {
  handle = 0;
  const auto block = pe::LoadVersionBlock(path);
  return block ? static_cast<std::uint32_t>(block->bytes.size()) : 0;
}

bool ReadVersionInfo(const std::string& path, std::uint32_t, std::uint32_t size, char* block) {
  const auto read = pe::LoadVersionBlock(path);
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
