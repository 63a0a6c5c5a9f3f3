#include "pe/VersionResource.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "os/LittleEndian.h"
#include "text/CodePage.h"

namespace pe {
namespace {

constexpr std::size_t kLfanewOffset = 0x3C;
constexpr std::size_t kCoffSize = 20;
constexpr std::size_t kCoffSectionCount = 2;
constexpr std::size_t kCoffOptionalSize = 16;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kPe32DirCount = 92, kPe32Dirs = 96;
constexpr std::size_t kPe32PlusDirCount = 108, kPe32PlusDirs = 112;
constexpr std::size_t kResourceDirIndex = 2;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSectionVirtualSize = 8, kSectionVirtualAddress = 12;
constexpr std::size_t kSectionRawSize = 16, kSectionRawPointer = 20;
constexpr std::size_t kResDirNamedCount = 12, kResDirIdCount = 14, kResDirEntries = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint16_t kVsVersionInfoId = 1;
// Neutral, Japanese (Japan), Japanese, English (US), English; otherwise the first language.
constexpr std::uint32_t kLanguagePreference[] = {0x0000, 0x0411, 0x0011, 0x0409, 0x0009};
constexpr std::size_t kNodeHeader = 6;
constexpr int kMaxNodeDepth = 8;

// Bounds-checked little-endian reads; std::nullopt past the end.
class Bytes {
 public:
  explicit Bytes(std::string_view data) : data_(data) {}
  std::size_t size() const { return data_.size(); }
  bool Has(std::size_t offset, std::size_t count) const {
    return offset <= data_.size() && count <= data_.size() - offset;
  }
  std::optional<std::uint16_t> U16(std::size_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return le::Get16(data_.data() + offset);
  }
  std::optional<std::uint32_t> U32(std::size_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return le::Get32(data_.data() + offset);
  }
  std::string_view Slice(std::size_t offset, std::size_t count) const { return data_.substr(offset, count); }

 private:
  std::string_view data_;
};

struct Section {
  std::uint32_t virtualAddress, virtualSize, rawSize, rawPointer;
};

struct Image {
  std::vector<Section> sections;
  std::uint32_t resourceRva = 0;
  std::uint32_t resourceSize = 0;
};

std::optional<Image> ReadHeaders(const Bytes& f) {
  if (!f.Has(0, 2) || f.Slice(0, 2) != "MZ") return std::nullopt;
  auto lfanew = f.U32(kLfanewOffset);
  if (!lfanew || !f.Has(*lfanew, 4) || f.Slice(*lfanew, 4) != std::string_view("PE\0\0", 4))
    return std::nullopt;
  const std::size_t coff = static_cast<std::size_t>(*lfanew) + 4;
  auto sectionCount = f.U16(coff + kCoffSectionCount);
  auto optionalSize = f.U16(coff + kCoffOptionalSize);
  if (!sectionCount || !optionalSize) return std::nullopt;
  const std::size_t optional = coff + kCoffSize;
  auto magic = f.U16(optional);
  if (!magic) return std::nullopt;
  std::size_t dirCountAt, dirsAt;
  if (*magic == kMagicPe32) {
    dirCountAt = kPe32DirCount;
    dirsAt = kPe32Dirs;
  } else if (*magic == kMagicPe32Plus) {
    dirCountAt = kPe32PlusDirCount;
    dirsAt = kPe32PlusDirs;
  } else {
    return std::nullopt;
  }
  auto dirCount = f.U32(optional + dirCountAt);
  if (!dirCount || *dirCount <= kResourceDirIndex) return std::nullopt;
  const std::size_t resourceDir = dirsAt + kResourceDirIndex * 8;
  if (resourceDir + 8 > *optionalSize) return std::nullopt;
  Image image;
  auto rva = f.U32(optional + resourceDir);
  auto size = f.U32(optional + resourceDir + 4);
  if (!rva || !size || *rva == 0) return std::nullopt;
  image.resourceRva = *rva;
  image.resourceSize = *size;
  const std::size_t table = optional + *optionalSize;
  for (std::size_t i = 0; i < *sectionCount; ++i) {
    const std::size_t at = table + i * kSectionHeaderSize;
    auto va = f.U32(at + kSectionVirtualAddress), vs = f.U32(at + kSectionVirtualSize);
    auto rs = f.U32(at + kSectionRawSize), rp = f.U32(at + kSectionRawPointer);
    if (!va || !vs || !rs || !rp) return std::nullopt;
    image.sections.push_back({*va, *vs, *rs, *rp});
  }
  return image;
}

// File offset of `count` bytes at `rva`, when they lie wholly inside one section's raw data.
std::optional<std::size_t> RvaToOffset(const Bytes& f, const Image& image, std::uint32_t rva,
                                       std::uint32_t count) {
  for (const Section& s : image.sections) {
    if (rva < s.virtualAddress) continue;
    const std::uint64_t inSection = rva - s.virtualAddress;
    if (inSection + count > s.rawSize) continue;
    const std::uint64_t offset = s.rawPointer + inSection;
    if (!f.Has(static_cast<std::size_t>(offset), count)) return std::nullopt;
    return static_cast<std::size_t>(offset);
  }
  return std::nullopt;
}

struct DirEntry {
  std::uint32_t name;
  std::uint32_t offset;
};

// The entries of the resource directory at `dir` (file offset); the directory's own range is
// checked against the resource section's end.
std::optional<std::vector<DirEntry>> ReadDirectory(const Bytes& f, std::size_t dir, std::size_t end) {
  auto named = f.U16(dir + kResDirNamedCount), ids = f.U16(dir + kResDirIdCount);
  if (!named || !ids) return std::nullopt;
  const std::size_t count = static_cast<std::size_t>(*named) + *ids;
  if (dir + kResDirEntries + count * 8 > end) return std::nullopt;
  std::vector<DirEntry> entries;
  entries.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    auto name = f.U32(dir + kResDirEntries + i * 8), offset = f.U32(dir + kResDirEntries + i * 8 + 4);
    if (!name || !offset) return std::nullopt;
    entries.push_back({*name, *offset});
  }
  return entries;
}

std::size_t Align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

struct Node {
  std::size_t start = 0, end = 0;  // the node's bytes, [start, end)
  std::u16string key;
  ValueSpan value;
  std::size_t children = 0;  // first child's offset
};

std::optional<Node> ReadNode(const Bytes& b, std::size_t at, std::size_t limit) {
  auto length = b.U16(at), valueLength = b.U16(at + 2), type = b.U16(at + 4);
  if (!length || !valueLength || !type) return std::nullopt;
  if (*length < kNodeHeader || at + *length > limit) return std::nullopt;
  Node node;
  node.start = at;
  node.end = at + *length;
  std::size_t p = at + kNodeHeader;
  for (;;) {
    if (p + 2 > node.end) return std::nullopt;
    char16_t c = static_cast<char16_t>(*b.U16(p));
    p += 2;
    if (c == 0) break;
    node.key.push_back(c);
  }
  p = Align4(p);
  node.value.text = *type == 1;
  std::size_t valueBytes = node.value.text ? static_cast<std::size_t>(*valueLength) * 2 : *valueLength;
  if (p > node.end) p = node.end;
  // Some resource compilers count text values in bytes; never reach past the node.
  if (valueBytes > node.end - p) valueBytes = node.end - p;
  node.value.offset = p;
  node.value.size = valueBytes;
  node.children = std::min(Align4(p + valueBytes), node.end);
  return node;
}

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool KeysEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

}  // namespace

std::optional<VersionBlock> ReadVersionBlock(std::string_view file) {
  const Bytes f(file);
  auto image = ReadHeaders(f);
  if (!image) return std::nullopt;
  auto root = RvaToOffset(f, *image, image->resourceRva, kResDirEntries);
  if (!root) return std::nullopt;
  // The tree's offsets are relative to its root and must stay inside the root's section.
  std::size_t end = f.size();
  for (const Section& s : image->sections)
    if (image->resourceRva >= s.virtualAddress && image->resourceRva - s.virtualAddress < s.rawSize)
      end = std::min<std::size_t>(end, static_cast<std::size_t>(s.rawPointer) + s.rawSize);

  // Three levels: type, name, language. Each step goes one level down, so a tree whose offsets
  // point back at an upper directory cannot make this loop.
  auto pick = [&](std::size_t dir, std::optional<std::uint32_t> wanted, bool firstOtherwise,
                  bool wantDirectory) -> std::optional<std::uint32_t> {
    auto entries = ReadDirectory(f, dir, end);
    if (!entries || entries->empty()) return std::nullopt;
    const DirEntry* chosen = nullptr;
    for (const DirEntry& e : *entries)
      if (wanted && e.name == *wanted) {
        chosen = &e;
        break;
      }
    if (!chosen && firstOtherwise) chosen = &entries->front();
    if (!chosen || ((chosen->offset & kHighBit) != 0) != wantDirectory) return std::nullopt;
    return chosen->offset & ~kHighBit;
  };
  auto typeDir = pick(*root, kRtVersion, false, true);
  if (!typeDir || *root + *typeDir >= end) return std::nullopt;
  auto nameDir = pick(*root + *typeDir, kVsVersionInfoId, true, true);
  if (!nameDir || *root + *nameDir >= end) return std::nullopt;
  // Of several languages, the one a Japanese system's resource lookup settles on.
  std::optional<std::uint32_t> dataEntry;
  for (std::uint32_t language : kLanguagePreference) {
    dataEntry = pick(*root + *nameDir, language, false, false);
    if (dataEntry) break;
  }
  if (!dataEntry) dataEntry = pick(*root + *nameDir, std::nullopt, true, false);
  if (!dataEntry) return std::nullopt;
  const std::size_t entryAt = *root + *dataEntry;
  if (entryAt + 16 > end) return std::nullopt;
  auto dataRva = f.U32(entryAt), dataSize = f.U32(entryAt + 4);
  if (!dataRva || !dataSize || *dataSize < kNodeHeader) return std::nullopt;
  auto data = RvaToOffset(f, *image, *dataRva, *dataSize);
  if (!data) return std::nullopt;

  VersionBlock block;
  block.bytes.assign(file.substr(*data, *dataSize));
  const Bytes b(block.bytes);
  auto node = ReadNode(b, 0, block.bytes.size());
  if (!node || !KeysEqual(node->key, u"VS_VERSION_INFO")) return std::nullopt;
  if (node->value.size >= kFixedFileInfoSize) block.fixedInfoOffset = node->value.offset;
  return block;
}

std::optional<VersionBlock> LoadVersionBlock(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return ReadVersionBlock(bytes);
}

std::optional<FixedVersion> ReadFixedVersion(std::string_view block, std::size_t offset) {
  const Bytes b(block);
  if (!b.Has(offset, kFixedFileInfoSize)) return std::nullopt;
  return FixedVersion{*b.U32(offset + 8), *b.U32(offset + 12), *b.U32(offset + 16), *b.U32(offset + 20)};
}

std::optional<ValueSpan> QueryValue(std::string_view block, std::string_view subBlock) {
  const Bytes b(block);
  auto node = ReadNode(b, 0, block.size());
  if (!node) return std::nullopt;
  std::size_t pos = 0;
  int depth = 0;
  while (pos < subBlock.size()) {
    while (pos < subBlock.size() && subBlock[pos] == '\\') ++pos;
    if (pos >= subBlock.size()) break;
    std::size_t stop = subBlock.find('\\', pos);
    if (stop == std::string_view::npos) stop = subBlock.size();
    const std::u16string key = text::Utf8ToUtf16(subBlock.substr(pos, stop - pos));
    pos = stop;
    if (++depth > kMaxNodeDepth) return std::nullopt;
    std::optional<Node> found;
    // Every child is at least a header long, so this walk always moves forward.
    for (std::size_t at = node->children; at + kNodeHeader <= node->end;) {
      auto child = ReadNode(b, at, node->end);
      if (!child) break;
      if (KeysEqual(child->key, key)) {
        found = std::move(child);
        break;
      }
      at = Align4(child->end);
    }
    if (!found) return std::nullopt;
    node = std::move(found);
  }
  return node->value;
}

std::optional<std::string> QueryString(std::string_view block, std::string_view subBlock) {
  auto span = QueryValue(block, subBlock);
  if (!span || !span->text) return std::nullopt;
  const Bytes b(block);
  std::u16string value;
  for (std::size_t i = 0; i + 1 < span->size; i += 2) {
    char16_t c = static_cast<char16_t>(*b.U16(span->offset + i));
    if (c == 0) break;
    value.push_back(c);
  }
  return text::Utf16ToUtf8(value);
}

}  // namespace pe
