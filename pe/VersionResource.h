#pragma once
// Reads the version resource (RT_VERSION) of a PE executable or library from the file's bytes,
// without the platform's version.dll. Every read is bounds-checked: a truncated or malformed
// file gives std::nullopt, never a read outside the bytes given.
//
// PE file (all numbers little-endian; "offset" is from the start of the file unless noted)
// | Offset        | Size | Field                                                  |
// |---------------|------|--------------------------------------------------------|
// | 0             | 2    | "MZ"                                                   |
// | 0x3C          | 4    | e_lfanew: offset of the PE signature                   |
// | e_lfanew      | 4    | "PE\0\0"                                               |
// | +4            | 20   | COFF header: +2 NumberOfSections (2), +16 SizeOfOptionalHeader (2) |
// | +24           | …    | optional header: +0 Magic (0x10B PE32, 0x20B PE32+);   |
// |               |      | NumberOfRvaAndSizes at +92 (PE32) / +108 (PE32+), data |
// |               |      | directories (RVA 4, size 4) from +96 / +112; index 2 is |
// |               |      | the resource directory                                 |
// | +24+SizeOfOptionalHeader | 40 each | section headers: +8 VirtualSize, +12 VirtualAddress, |
// |               |      | +16 SizeOfRawData, +20 PointerToRawData                |
//
// Resource tree (offsets from the start of the resource directory, i.e. its RVA), three levels:
// type, name, language.
// | Offset | Size | Field                                                             |
// |--------|------|-------------------------------------------------------------------|
// | 12     | 2    | number of named entries                                           |
// | 14     | 2    | number of id entries                                              |
// | 16     | 8 each | entries: name or id (4; high bit = name), offset (4; high bit =  |
// |        |      | subdirectory, else a data entry)                                  |
// Data entry: RVA of the data (4), size (4), code page (4), reserved (4).
//
// Version block (VS_VERSIONINFO), a tree of nodes, each 4-byte aligned relative to the block:
// | Offset | Size | Field                                                             |
// |--------|------|-------------------------------------------------------------------|
// | 0      | 2    | wLength: node size in bytes, children included                    |
// | 2      | 2    | wValueLength: value size, in bytes for binary, in UTF-16 units for text |
// | 4      | 2    | wType: 1 text, 0 binary                                           |
// | 6      | …    | key, UTF-16 with a terminating 0, then padding to 4 bytes         |
// | …      | …    | value, padding to 4 bytes, then the child nodes                   |
// The root's key is "VS_VERSION_INFO" and its value the 52-byte VS_FIXEDFILEINFO:
// | Offset | Size | Field                                                             |
// |--------|------|-------------------------------------------------------------------|
// | 0      | 4    | signature 0xFEEF04BD                                              |
// | 8      | 4    | file version, most significant half                               |
// | 12     | 4    | file version, least significant half                              |
// | 16     | 4    | product version, most significant half                            |
// | 20     | 4    | product version, least significant half                           |
// String entries live at \StringFileInfo\<language and code page, 8 hex digits>\<name>.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pe {

constexpr std::uint16_t kRtVersion = 16;
constexpr std::size_t kFixedFileInfoSize = 52;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

struct VersionBlock {
  std::string bytes;  // the whole resource, as the platform's GetFileVersionInfo would copy it
  // Position of VS_FIXEDFILEINFO inside `bytes`; std::nullopt when the root has no value.
  std::optional<std::size_t> fixedInfoOffset;
};

struct FixedVersion {
  std::uint32_t fileMs = 0, fileLs = 0, productMs = 0, productLs = 0;
};

// The version resource of the PE image in `file`, resource id 1 (or the first name when there
// is no id 1), in the first present of the languages neutral, 0x0411, 0x0011, 0x0409, 0x0009,
// or else the first language; std::nullopt when there is none or the file
// is not a well-formed PE image.
std::optional<VersionBlock> ReadVersionBlock(std::string_view file);

// Reads the file at `path` and calls ReadVersionBlock; std::nullopt when it cannot be read.
std::optional<VersionBlock> LoadVersionBlock(const std::filesystem::path& path);

// The four version words of the fixed information record at `offset` of `block`.
std::optional<FixedVersion> ReadFixedVersion(std::string_view block, std::size_t offset);

// Like VerQueryValue: the value of the node named by `subBlock` ("\" for the root, or
// "\StringFileInfo\041103A4\FileVersion"; keys compare without regard to ASCII case).
// Returns the value's position and size in bytes inside `block`.
struct ValueSpan {
  std::size_t offset = 0;
  std::size_t size = 0;
  bool text = false;
};
std::optional<ValueSpan> QueryValue(std::string_view block, std::string_view subBlock);

// A text value, converted to UTF-8 and cut at its terminating 0.
std::optional<std::string> QueryString(std::string_view block, std::string_view subBlock);

}  // namespace pe
