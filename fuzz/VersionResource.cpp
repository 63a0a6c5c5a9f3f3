// libFuzzer target: the version resource of a program file, read without the platform's
// version.dll. The input is the file; it is read as a PE image and, since the image format
// leaves little of an input to the block parser, also as a version block by itself. Every
// value found lies inside its block.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "pe/VersionResource.h"

namespace {

std::optional<pe::ValueSpan> Query(std::string_view block, std::string_view path) {
  std::optional<pe::ValueSpan> value = pe::QueryValue(block, path);
  if (value && (value->offset > block.size() || value->size > block.size() - value->offset)) std::abort();
  (void)pe::QueryString(block, path);
  return value;
}

void ReadBlock(std::string_view block, std::optional<std::size_t> fixedInfoOffset) {
  if (fixedInfoOffset) (void)pe::ReadFixedVersion(block, *fixedInfoOffset);
  if (auto root = Query(block, "\\"); root && root->size >= pe::kFixedFileInfoSize)
    (void)pe::ReadFixedVersion(block, root->offset);
  std::string languages[] = {"041103A4", "040904B0"};
  // The first translation names the string table a caller asks, as FileVer does.
  if (auto translation = Query(block, "\\VarFileInfo\\Translation"); translation && translation->size >= 4) {
    const auto* p = reinterpret_cast<const unsigned char*>(block.data() + translation->offset);
    char code[9];
    std::snprintf(code, sizeof code, "%02X%02X%02X%02X", p[1], p[0], p[3], p[2]);
    languages[1] = code;
  }
  for (const std::string& language : languages) {
    for (const char* name : {"FileVersion", "ProductVersion", "CompanyName"})
      Query(block, "\\StringFileInfo\\" + language + "\\" + name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  if (std::optional<pe::VersionBlock> block = pe::ReadVersionBlock(file)) {
    if (block->fixedInfoOffset && *block->fixedInfoOffset > block->bytes.size()) std::abort();
    ReadBlock(block->bytes, block->fixedInfoOffset);
  }
  ReadBlock(file, std::nullopt);
  return 0;
}
