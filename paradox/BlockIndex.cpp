#include "paradox/BlockIndex.h"

#include <algorithm>

#include "paradox/EngineError.h"
#include "paradox/ParadoxFormat.h"

namespace paradox {

namespace {

constexpr std::size_t kHeaderBytes = 0x800;

std::string Entry(const BlockIndexEntry& e, std::size_t keySize) {
  std::string s = e.key;
  s.resize(keySize, '\0');
  s += EncodeShort(static_cast<std::int16_t>(e.block));
  s += EncodeShort(static_cast<std::int16_t>(std::min<std::uint32_t>(e.records, 0x7FFF)));
  s += EncodeShort(0);
  return s;
}

}  // namespace

std::size_t AppendDataBlocks(std::string& out, const std::vector<std::string>& records, std::size_t recordSize,
                             std::size_t blockBytes) {
  const std::size_t perBlock = (blockBytes - format::kBlockHeaderSize) / recordSize;
  if (perBlock == 0) RaiseEngineError(EngineMessage::kRecordExceedsBlock);
  const std::size_t count = (records.size() + perBlock - 1) / perBlock;
  out.reserve(out.size() + count * blockBytes);
  for (std::size_t b = 0; b < count; ++b) {
    const std::size_t at = out.size();
    out.append(blockBytes, '\0');
    const std::size_t first = b * perBlock;
    const std::size_t n = std::min(perBlock, records.size() - first);
    char* block = out.data() + at;
    std::string head(format::kBlockHeaderSize, '\0');
    PutU16(head, 0, b + 1 < count ? static_cast<std::uint16_t>(b + 2) : 0);
    PutU16(head, 2, static_cast<std::uint16_t>(b));
    PutU16(head, 4, static_cast<std::uint16_t>((n - 1) * recordSize));
    std::copy(head.begin(), head.end(), block);
    for (std::size_t i = 0; i < n; ++i)
      std::copy(records[first + i].begin(), records[first + i].end(), block + format::kBlockHeaderSize + i * recordSize);
  }
  return count;
}

std::vector<std::string> PackDataBlocks(const std::vector<std::string>& records, std::size_t recordSize,
                                        std::size_t blockBytes) {
  std::string all;
  const std::size_t count = AppendDataBlocks(all, records, recordSize, blockBytes);
  std::vector<std::string> blocks;
  for (std::size_t b = 0; b < count; ++b) blocks.push_back(all.substr(b * blockBytes, blockBytes));
  return blocks;
}

std::string BuildBlockIndexFile(const BlockIndexLayout& layout, const std::vector<BlockIndexEntry>& leaves) {
  const std::size_t kBlockBytes = static_cast<std::size_t>(layout.blockSizeKiB) * 1024;
  const std::size_t entrySize = layout.keySize + 6;
  const std::size_t nameSize = layout.level >= format::kLevel7 ? format::kTableNameSizeLevel7 : format::kTableNameSizeOld;

  // Leaves first, then each upper level over the blocks of the one below, until one block
  // holds a level: that block is the root.
  std::vector<std::string> blocks;
  std::vector<BlockIndexEntry> level = leaves;
  unsigned levels = 0;
  std::uint32_t totalEntries = 0;
  while (!level.empty()) {
    ++levels;
    totalEntries += static_cast<std::uint32_t>(level.size());
    std::vector<std::string> bytes;
    for (const auto& e : level) bytes.push_back(Entry(e, layout.keySize));
    const std::size_t perBlock = (kBlockBytes - format::kBlockHeaderSize) / entrySize;
    const std::size_t firstNumber = blocks.size() + 1;
    auto packed = PackDataBlocks(bytes, entrySize, kBlockBytes);
    std::vector<BlockIndexEntry> upper;
    for (std::size_t b = 0; b < packed.size(); ++b) {
      // Chain links are numbered within the level; shift them to the file's numbering.
      std::uint16_t next = GetU16(packed[b], 0), prev = GetU16(packed[b], 2);
      PutU16(packed[b], 0, next ? static_cast<std::uint16_t>(next + firstNumber - 1) : 0);
      PutU16(packed[b], 2, prev ? static_cast<std::uint16_t>(prev + firstNumber - 1) : 0);
      BlockIndexEntry up;
      up.key = level[b * perBlock].key;
      up.block = static_cast<std::uint16_t>(firstNumber + b);
      for (std::size_t i = b * perBlock; i < std::min(level.size(), (b + 1) * perBlock); ++i) up.records += level[i].records;
      upper.push_back(std::move(up));
    }
    blocks.insert(blocks.end(), packed.begin(), packed.end());
    if (packed.size() == 1) break;
    level = std::move(upper);
  }

  std::string h(kHeaderBytes, '\0');
  PutU16(h, format::kHeaderRecordSize, static_cast<std::uint16_t>(entrySize));
  PutU16(h, format::kHeaderHeaderSize, static_cast<std::uint16_t>(kHeaderBytes));
  h[format::kHeaderFileType] = static_cast<char>(layout.fileType);
  h[format::kHeaderBlockSizeKiB] = static_cast<char>(kBlockBytes / 1024);
  PutU32(h, format::kHeaderRecordCount, totalEntries);
  const auto nBlocks = static_cast<std::uint16_t>(blocks.size());
  PutU16(h, format::kHeaderBlocksInUse, nBlocks);
  PutU16(h, format::kHeaderFileBlocks, nBlocks);
  const std::size_t leafBlocks = leaves.empty() ? 0 : (leaves.size() + (kBlockBytes - 6) / entrySize - 1) / ((kBlockBytes - 6) / entrySize);
  PutU16(h, format::kHeaderFirstBlock, leaves.empty() ? 0 : 1);
  PutU16(h, format::kHeaderLastBlock, static_cast<std::uint16_t>(leafBlocks));
  PutU16(h, format::kHeaderChangeCount, layout.changeCount);
  PutU16(h, format::kHeaderIndexRoot, leaves.empty() ? 1 : nBlocks);
  h[format::kHeaderIndexLevels] = static_cast<char>(levels);
  PutU16(h, format::kHeaderFieldCount, static_cast<std::uint16_t>(layout.keyFields.size()));
  h[format::kHeaderSortOrder] = static_cast<char>(layout.sortOrder);
  h[format::kHeaderIndexValid] = static_cast<char>(layout.stamp);
  h[format::kHeaderLevel] = static_cast<char>(layout.level);
  PutU16(h, 0x3A, nBlocks);
  PutU32(h, format::kHeaderAutoIncrement, layout.counter);
  std::size_t at = format::kVariablePartShort;
  for (auto [type, size] : layout.keyFields) {
    h[at++] = static_cast<char>(type);
    h[at++] = static_cast<char>(size);
  }
  at += 4;  // table-name address
  std::string name = layout.storedName.substr(0, nameSize - 1);
  h.replace(at, name.size(), name);
  at += nameSize;
  PutU16(h, format::kHeaderUsedSize, static_cast<std::uint16_t>(at));

  std::string file = h;
  for (const auto& b : blocks) file += b;
  return file;
}

}  // namespace paradox
