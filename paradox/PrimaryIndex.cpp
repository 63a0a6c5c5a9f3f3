#include "paradox/PrimaryIndex.h"

#include <unordered_set>

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"

namespace paradox {

namespace {

using namespace format;
constexpr std::size_t kIndexBlock = 2048;
constexpr std::size_t kIndexHeader = 0x800;

std::string PxName(const std::string& tableName) {
  std::string n = tableName;
  auto dot = n.rfind('.');
  if (dot != std::string::npos) {
    bool lower = dot + 1 < n.size() && n[dot + 1] >= 'a' && n[dot + 1] <= 'z';
    n = n.substr(0, dot) + (lower ? ".px" : ".PX");
  } else {
    n += ".PX";
  }
  return n;
}

}  // namespace

void WritePrimaryIndexFile(const std::filesystem::path& path, const PrimaryIndexInfo& info,
                           const std::vector<IndexEntry>& dataBlocks, bool sync) {
  const std::size_t entrySize = info.keySize + 6;
  const std::size_t perBlock = (kIndexBlock - kBlockHeaderSize) / entrySize;
  // Build the levels bottom-up; every level's blocks are numbered after the level below.
  std::vector<std::string> blocks;
  std::uint32_t totalEntries = 0;
  std::uint8_t levels = 0;
  std::vector<IndexEntry> level = dataBlocks;
  std::uint16_t root = 1;
  while (!level.empty()) {
    ++levels;
    totalEntries += static_cast<std::uint32_t>(level.size());
    std::vector<IndexEntry> up;
    const std::size_t first = blocks.size();
    const std::size_t count = (level.size() + perBlock - 1) / perBlock;
    for (std::size_t b = 0; b < count; ++b) {
      std::string blk(kIndexBlock, '\0');
      const std::size_t from = b * perBlock, to = std::min(level.size(), from + perBlock);
      auto number = static_cast<std::uint16_t>(first + b + 1);
      PutU16(blk, 0, b + 1 < count ? static_cast<std::uint16_t>(number + 1) : 0);
      PutU16(blk, 2, b > 0 ? static_cast<std::uint16_t>(number - 1) : 0);
      PutU16(blk, 4, static_cast<std::uint16_t>((static_cast<long>(to - from) - 1) * static_cast<long>(entrySize)));
      std::uint32_t sum = 0;
      for (std::size_t i = from; i < to; ++i) {
        std::string e = level[i].key;
        e.resize(info.keySize, '\0');
        e += EncodeShort(static_cast<std::int16_t>(level[i].block));
        e += EncodeShort(static_cast<std::int16_t>(std::min<std::uint32_t>(level[i].count, 32767)));
        e += EncodeShort(0);
        blk.replace(kBlockHeaderSize + (i - from) * entrySize, entrySize, e);
        sum += level[i].count;
      }
      blocks.push_back(std::move(blk));
      up.push_back({level[from].key, number, sum});
    }
    if (count == 1) {
      root = static_cast<std::uint16_t>(first + 1);
      break;
    }
    level = std::move(up);
  }
  if (blocks.size() > 0xFFFF) RaiseEngineError(EngineMessage::kIndexFull, {}, PathText(path));

  std::string h(kIndexHeader, '\0');
  PutU16(h, kHeaderRecordSize, static_cast<std::uint16_t>(entrySize));
  PutU16(h, kHeaderHeaderSize, static_cast<std::uint16_t>(kIndexHeader));
  h[kHeaderFileType] = static_cast<char>(kFilePrimaryIndex);
  h[kHeaderBlockSizeKiB] = 2;
  PutU32(h, kHeaderRecordCount, totalEntries);
  PutU16(h, kHeaderBlocksInUse, static_cast<std::uint16_t>(blocks.size()));
  PutU16(h, kHeaderFileBlocks, static_cast<std::uint16_t>(blocks.size()));
  // The lowest level's blocks come first and are chained; upper levels follow.
  const std::uint16_t leaves = static_cast<std::uint16_t>(dataBlocks.empty() ? 0 : (dataBlocks.size() + perBlock - 1) / perBlock);
  PutU16(h, kHeaderFirstBlock, leaves ? 1 : 0);
  PutU16(h, kHeaderLastBlock, leaves);
  PutU16(h, kHeaderChangeCount, static_cast<std::uint16_t>(info.tableChangeCount + 1));
  PutU16(h, kHeaderIndexRoot, root);
  h[kHeaderIndexLevels] = static_cast<char>(levels);
  PutU16(h, kHeaderFieldCount, static_cast<std::uint16_t>(info.keyFields.size()));
  h[kHeaderSortOrder] = static_cast<char>(info.sortOrder);
  h[kHeaderIndexValid] = static_cast<char>(info.tableStructureChanges);
  h[kHeaderLevel] = static_cast<char>(info.level);
  PutU16(h, kHeaderLevel + 1, static_cast<std::uint16_t>(blocks.size()));
  h[kHeaderAutoIncrement] = 1;
  std::size_t at = kVariablePartShort;
  for (const auto& f : info.keyFields) {
    h[at++] = static_cast<char>(f.type);
    h[at++] = static_cast<char>(f.size);
  }
  at += 4;
  const std::size_t nameSize = info.level >= kLevel7 ? kTableNameSizeLevel7 : kTableNameSizeOld;
  std::string name = PxName(info.tableName).substr(0, nameSize - 1);
  h.replace(at, name.size(), name);
  at += nameSize;
  PutU16(h, kHeaderUsedSize, static_cast<std::uint16_t>(at));

  std::string all = h;
  for (const auto& b : blocks) all += b;
  auto file = BinaryFile::Open(path, FileAccess::kCreateExclusive);
  file->Write(0, all);
  if (sync) file->Sync();
}

PrimaryIndexContents ReadPrimaryIndexFile(const std::filesystem::path& path, std::size_t keySize) {
  auto file = BinaryFile::Open(path, FileAccess::kReadShared);
  const std::string where = PathText(path);
  auto bad = [&](const std::string& what, std::optional<std::uint64_t> at) -> EDBEngineError {
    return EDBEngineError(EngineErrorCode::kCorruptFile, "Corrupt index.\n" + what, where, at);
  };
  const std::uint64_t size = file->Size();
  if (size < kVariablePartShort) throw bad("file shorter than an index header", 0);
  std::string h = file->Read(0, kVariablePartShort);
  PrimaryIndexContents c;
  c.recordSize = GetU16(h, kHeaderRecordSize);
  const std::uint16_t headerSize = GetU16(h, kHeaderHeaderSize);
  if (static_cast<unsigned char>(h[kHeaderFileType]) != kFilePrimaryIndex) throw bad("not a primary index (file type)", kHeaderFileType);
  if (c.recordSize != keySize + 6)
    throw bad("entry size " + std::to_string(c.recordSize) + " does not fit a key of " + std::to_string(keySize) + " bytes", 0);
  const unsigned bsKiB = static_cast<unsigned char>(h[kHeaderBlockSizeKiB]);
  if (bsKiB == 0 || bsKiB > 32) throw bad("block size", kHeaderBlockSizeKiB);
  const std::size_t bs = bsKiB * 1024u;
  if (headerSize < kVariablePartShort || headerSize > size) throw bad("header size", kHeaderHeaderSize);
  c.levels = static_cast<std::uint8_t>(h[kHeaderIndexLevels]);
  c.changeCount = GetU16(h, kHeaderChangeCount);
  const std::uint16_t root = GetU16(h, kHeaderIndexRoot);
  const std::uint64_t fileBlocks = (size - headerSize) / bs;
  if (c.levels == 0) return c;
  if (c.levels > 8) throw bad("index claims " + std::to_string(c.levels) + " levels", kHeaderIndexLevels);

  std::unordered_set<std::uint16_t> seen;
  // Depth-first over the tree, left to right: leaves come out in key order.
  struct Frame {
    std::uint16_t block;
    unsigned depth;
    std::optional<std::uint32_t> expected;
  };
  std::vector<Frame> stack{{root, 1, std::nullopt}};
  std::uint32_t entries = 0;
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    if (f.block == 0 || f.block > fileBlocks) throw bad("index points to block " + std::to_string(f.block) + " past its end", std::nullopt);
    if (!seen.insert(f.block).second) throw bad("index block " + std::to_string(f.block) + " is reached twice", std::nullopt);
    const std::uint64_t off = headerSize + static_cast<std::uint64_t>(f.block - 1) * bs;
    std::string blk = file->Read(off, bs);
    auto add = static_cast<std::int16_t>(GetU16(blk, 4));
    long bytes = static_cast<long>(add) + c.recordSize;
    if (bytes < 0 || bytes % c.recordSize != 0 || static_cast<std::size_t>(bytes) > bs - kBlockHeaderSize)
      throw bad("index block " + std::to_string(f.block) + " claims " + std::to_string(add) + " bytes", off + 4);
    const std::size_t n = static_cast<std::size_t>(bytes) / c.recordSize;
    entries += static_cast<std::uint32_t>(n);
    std::uint32_t sum = 0;
    std::vector<Frame> children;
    for (std::size_t i = 0; i < n; ++i) {
      std::string_view e(blk.data() + kBlockHeaderSize + i * c.recordSize, c.recordSize);
      auto blockNo = DecodeShort(e.substr(keySize, 2));
      auto count = DecodeShort(e.substr(keySize + 2, 2));
      if (!blockNo || *blockNo <= 0 || !count || *count < 0)
        throw bad("index entry " + std::to_string(i) + " of block " + std::to_string(f.block) + " is invalid", off + kBlockHeaderSize + i * c.recordSize);
      sum += static_cast<std::uint32_t>(*count);
      if (f.depth == c.levels)
        c.lowest.push_back({std::string(e.substr(0, keySize)), static_cast<std::uint16_t>(*blockNo), static_cast<std::uint32_t>(*count)});
      else
        children.push_back({static_cast<std::uint16_t>(*blockNo), f.depth + 1, static_cast<std::uint32_t>(*count)});
    }
    if (f.expected && *f.expected != sum && *f.expected != 32767)
      throw bad("index block " + std::to_string(f.block) + " sums to " + std::to_string(sum) + " records, its parent says " +
                    std::to_string(*f.expected),
                off);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
  (void)entries;
  return c;
}

}  // namespace paradox
