#include "paradox/BlockIndex.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <set>
#include <unordered_map>

#include "paradox/BinaryFile.h"
#include "paradox/BlockHead.h"
#include "paradox/EngineError.h"
#include "paradox/FileHeader.h"
#include "paradox/ParadoxFormat.h"

namespace paradox {

namespace {

constexpr std::size_t kIndexHeaderBytes = format::kHeaderBlockSize;
constexpr std::size_t kLargestBlock = 32 * 1024;

std::string Entry(const BlockIndexEntry& e, std::size_t keySize) {
  assert(e.records <= format::kMaxEntryCount);
  std::string s = e.key;
  s.resize(keySize + format::kEntryTailSize, '\0');
  s.replace(keySize + format::kEntryBlockAfterKey, 2, EncodeShort(static_cast<std::int16_t>(e.block)));
  s.replace(keySize + format::kEntryCountAfterKey, 2, EncodeShort(static_cast<std::int16_t>(e.records)));
  s.replace(keySize + format::kEntryZeroAfterKey, 2, EncodeShort(0));
  return s;
}

}  // namespace

std::size_t AppendDataBlocks(std::string& out, std::string_view records, std::size_t recordSize,
                             std::size_t blockBytes) {
  const std::size_t perBlock = (blockBytes - BlockHead::kSize) / recordSize;
  if (perBlock == 0) RaiseEngineError(EngineMessage::kRecordExceedsBlock);
  const std::size_t total = records.size() / recordSize;
  const std::size_t count = (total + perBlock - 1) / perBlock;
  out.reserve(out.size() + count * blockBytes);
  for (std::size_t b = 0; b < count; ++b) {
    const std::size_t at = out.size();
    out.append(blockBytes, '\0');
    const std::size_t first = b * perBlock;
    const std::size_t n = std::min(perBlock, total - first);
    char* block = out.data() + at;
    BlockHead::For(b + 1 < count ? static_cast<std::uint16_t>(b + 2) : 0, static_cast<std::uint16_t>(b), n, recordSize).Encode(block);
    std::memcpy(block + BlockHead::kSize, records.data() + first * recordSize, n * recordSize);
  }
  return count;
}

namespace {

// One level of the tree: its entries and, for each of its blocks, the first entry it holds.
struct TreeLevel {
  std::vector<BlockIndexEntry> entries;
  std::vector<std::size_t> blockStarts;
};

// Groups a level's entries into blocks of at most `capacity` entries whose counts sum to at
// most 32,767, filling each as far as both allow; returns the level above, one entry per
// block, whose `block` holds the block's index in this level until the blocks are numbered.
std::vector<BlockIndexEntry> GroupIntoBlocks(TreeLevel& level, std::size_t capacity) {
  std::vector<BlockIndexEntry> upper;
  std::size_t inBlock = 0;
  for (std::size_t i = 0; i < level.entries.size(); ++i) {
    const BlockIndexEntry& e = level.entries[i];
    if (upper.empty() || inBlock == capacity || upper.back().records + e.records > format::kMaxEntryCount) {
      level.blockStarts.push_back(i);
      upper.push_back({e.key, static_cast<std::uint16_t>(upper.size()), 0});
      inBlock = 0;
    }
    upper.back().records += e.records;
    ++inBlock;
  }
  return upper;
}

// The bytes of block `b` of `level` (chain links left 0), with the child indexes of an upper
// level turned into block numbers counted from `childFirstNumber`.
std::string LevelBlock(const TreeLevel& level, std::size_t b, std::size_t keySize, std::size_t blockBytes,
                       std::optional<std::size_t> childFirstNumber) {
  const std::size_t entrySize = keySize + format::kEntryTailSize;
  const std::size_t from = level.blockStarts[b];
  const std::size_t to = b + 1 < level.blockStarts.size() ? level.blockStarts[b + 1] : level.entries.size();
  std::string blk(blockBytes, '\0');
  BlockHead::For(0, 0, to - from, entrySize).Encode(blk.data());
  for (std::size_t i = from; i < to; ++i) {
    BlockIndexEntry e = level.entries[i];
    if (childFirstNumber) e.block = static_cast<std::uint16_t>(*childFirstNumber + e.block);
    blk.replace(BlockHead::kSize + (i - from) * entrySize, entrySize, Entry(e, keySize));
  }
  return blk;
}

}  // namespace

std::optional<BlockIndexTree> LayOutBlockIndexTree(const std::vector<BlockIndexEntry>& leaves, std::size_t keySize,
                                                   std::size_t blockBytes) {
  BlockIndexTree tree;
  if (leaves.empty()) return tree;
  const std::size_t entrySize = keySize + format::kEntryTailSize;
  const std::size_t fits = (blockBytes - BlockHead::kSize) / entrySize;
  if (fits < 3) return std::nullopt;  // one left free and at least two to shrink a level
  const std::size_t capacity = fits - 1;

  // Bottom-up: group each level into blocks until one block holds a level; that is the root.
  std::vector<TreeLevel> levels{{leaves, {}}};
  while (true) {
    TreeLevel& level = levels.back();
    tree.entries += static_cast<std::uint32_t>(level.entries.size());
    if (level.entries.size() <= capacity) {
      level.blockStarts = {0};
      break;
    }
    std::vector<BlockIndexEntry> upper = GroupIntoBlocks(level, capacity);
    if (upper.size() == level.entries.size() || levels.size() == format::kMaxIndexLevels) return std::nullopt;
    levels.push_back({std::move(upper), {}});
  }

  // Top-down: the root is block 1, each level's blocks follow the level above in key order.
  std::size_t total = 0;
  for (const auto& l : levels) total += l.blockStarts.size();
  // Entries name blocks by shorts: 32,767 is the highest they can name.
  if (total > 0x7FFF) return std::nullopt;
  std::vector<std::size_t> firstNumber(levels.size());
  std::size_t next = 1;
  for (std::size_t l = levels.size(); l-- > 0;) {
    firstNumber[l] = next;
    next += levels[l].blockStarts.size();
  }
  tree.blocks.reserve(total);
  for (std::size_t l = levels.size(); l-- > 0;) {
    const std::optional<std::size_t> children = l > 0 ? std::optional<std::size_t>(firstNumber[l - 1]) : std::nullopt;
    for (std::size_t b = 0; b < levels[l].blockStarts.size(); ++b) {
      std::string blk = LevelBlock(levels[l], b, keySize, blockBytes, children);
      const std::size_t number = tree.blocks.size() + 1;
      BlockHead bh = BlockHead::Decode(blk.data());
      bh.next = number < total ? static_cast<std::uint16_t>(number + 1) : 0;
      bh.previous = static_cast<std::uint16_t>(number - 1);
      bh.Encode(blk.data());
      tree.blocks.push_back(std::move(blk));
    }
  }
  tree.levels = static_cast<std::uint8_t>(levels.size());
  tree.root = 1;
  return tree;
}

std::string BuildBlockIndexFile(const BlockIndexLayout& layout, const std::vector<BlockIndexEntry>& leaves,
                                const std::string& where) {
  const std::size_t entrySize = layout.keySize + format::kEntryTailSize;
  const std::size_t nameSize = layout.level >= format::kLevel7 ? format::kTableNameSizeLevel7 : format::kTableNameSizeOld;

  assert(layout.blockSizeKiB > 0);
  std::optional<BlockIndexTree> tree;
  std::size_t blockBytes = static_cast<std::size_t>(layout.blockSizeKiB) * 1024;
  for (; blockBytes <= kLargestBlock; blockBytes *= 2) {
    tree = LayOutBlockIndexTree(leaves, layout.keySize, blockBytes);
    if (tree) break;
  }
  if (!tree) RaiseEngineError(EngineMessage::kIndexFull, {}, where);
  const std::vector<std::string>& blocks = tree->blocks;

  FileHeader x;
  x.recordSize = static_cast<std::uint16_t>(entrySize);
  x.headerSize = static_cast<std::uint16_t>(kIndexHeaderBytes);
  x.fileType = layout.fileType;
  x.blockSizeKiB = static_cast<std::uint8_t>(blockBytes / 1024);
  x.recordCount = tree->entries;
  const auto nBlocks = static_cast<std::uint16_t>(blocks.size());
  x.blocksInUse = nBlocks;
  x.fileBlocks = nBlocks;
  x.firstBlock = nBlocks ? 1 : 0;
  x.lastBlock = nBlocks;
  x.changeCount = layout.changeCount;
  x.indexRoot = tree->root;
  x.indexLevels = tree->levels;
  x.fieldCount = static_cast<std::uint16_t>(layout.keyFields.size());
  x.sortOrder = layout.sortOrder;
  x.indexValid = layout.stamp;
  x.level = layout.level;
  x.fileBlocksAgain = nBlocks;
  x.autoIncrement = layout.counter;
  std::string h(kIndexHeaderBytes, '\0');
  std::size_t at = format::kVariablePartShort;
  for (auto [type, size] : layout.keyFields) {
    h[at++] = static_cast<char>(type);
    h[at++] = static_cast<char>(size);
  }
  at += 4;  // table-name address
  std::string name = layout.storedName.substr(0, nameSize - 1);
  h.replace(at, name.size(), name);
  at += nameSize;
  x.usedSize = static_cast<std::uint16_t>(at);
  x.Encode(h);

  std::string file = h;
  file.reserve(h.size() + blocks.size() * blockBytes);
  for (const auto& b : blocks) file += b;
  return file;
}

namespace {

struct IndexGeometry {
  std::size_t entrySize = 0;
  std::uint64_t headerSize = 0;
  std::size_t blockBytes = 0;
  std::uint64_t fileBlocks = 0;
  std::uint64_t Offset(std::uint16_t block) const { return headerSize + (block - 1u) * static_cast<std::uint64_t>(blockBytes); }
};

using BlockLinks = std::unordered_map<std::uint16_t, std::pair<std::uint16_t, std::uint16_t>>;  // next, previous

[[noreturn]] void CorruptIndex(const BinaryFile& file, const std::string& what, std::optional<std::uint64_t> at) {
  RaiseEngineError(EngineMessage::kCorruptIndex, what, PathText(file.Path()), at);
}

struct TreeWalk {
  std::vector<BlockIndexEntry> lowest;
  std::vector<std::uint16_t> lowestBlocks;  // the lowest level's blocks, left to right
  BlockLinks links;                         // of every block of the tree
};

// Depth-first over the tree, left to right, so the lowest level comes out in key order.
TreeWalk WalkTree(const BinaryFile& file, const IndexGeometry& g, std::size_t keySize, std::uint16_t root, unsigned levels) {
  struct Frame {
    std::uint16_t block;
    unsigned depth;
    std::optional<std::uint32_t> expected;
  };
  TreeWalk w;
  std::vector<Frame> stack{{root, 1, std::nullopt}};
  while (!stack.empty()) {
    const Frame f = stack.back();
    stack.pop_back();
    const std::string number = std::to_string(f.block);
    if (f.block == 0 || f.block > g.fileBlocks) CorruptIndex(file, "index points to block " + number + " past its end", std::nullopt);
    const std::uint64_t off = g.Offset(f.block);
    const std::string blk = file.Read(off, g.blockBytes);
    const BlockHead bh = BlockHead::Decode(blk.data());
    if (!w.links.emplace(f.block, std::make_pair(bh.next, bh.previous)).second)
      CorruptIndex(file, "index block " + number + " is reached twice", std::nullopt);
    const std::optional<std::size_t> entries = bh.RecordCount(g.entrySize, (g.blockBytes - BlockHead::kSize) / g.entrySize);
    if (!entries)
      CorruptIndex(file, "index block " + number + " claims " + std::to_string(bh.addDataSize) + " bytes",
                   off + BlockHead::OffsetOf(&BlockHead::addDataSize));
    const std::size_t n = *entries;
    const bool lowest = f.depth == levels;
    if (lowest) w.lowestBlocks.push_back(f.block);
    std::uint32_t sum = 0;
    std::vector<Frame> children;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t at = BlockHead::kSize + i * g.entrySize;
      const std::string_view e(blk.data() + at, g.entrySize);
      const auto blockNo = DecodeShort(e.substr(keySize + format::kEntryBlockAfterKey, 2));
      const auto count = DecodeShort(e.substr(keySize + format::kEntryCountAfterKey, 2));
      if (!blockNo || *blockNo <= 0 || !count || *count < 0)
        CorruptIndex(file, "index entry " + std::to_string(i) + " of block " + number + " is invalid", off + at);
      sum += static_cast<std::uint32_t>(*count);
      if (lowest)
        w.lowest.push_back({std::string(e.substr(0, keySize)), static_cast<std::uint16_t>(*blockNo), static_cast<std::uint32_t>(*count)});
      else
        children.push_back({static_cast<std::uint16_t>(*blockNo), f.depth + 1, static_cast<std::uint32_t>(*count)});
    }
    const bool saturated = f.expected == format::kMaxEntryCount && sum > format::kMaxEntryCount;
    if (f.expected && *f.expected != sum && !saturated)
      CorruptIndex(file, "index block " + number + " sums to " + std::to_string(sum) + " records, its parent says " + std::to_string(*f.expected),
                         off);
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
  return w;
}

// Follows the chain from `first`; accepts one chain over every block of the tree, or the
// lowest level alone in key order (levels chained apart).
std::optional<std::string> ChainFault(const BinaryFile& file, const IndexGeometry& g, const TreeWalk& w, std::uint16_t first,
                                      std::uint16_t last) {
  std::vector<std::uint16_t> chain;
  std::set<std::uint16_t> seen;
  std::uint16_t previous = 0;
  for (std::uint16_t n = first; n != 0;) {
    if (n > g.fileBlocks || !seen.insert(n).second) return "the block chain runs to block " + std::to_string(n) + " again or past the end";
    std::pair<std::uint16_t, std::uint16_t> links;
    if (auto known = w.links.find(n); known != w.links.end()) {
      links = known->second;
    } else {
      const BlockHead bh = BlockHead::Decode(file.Read(g.Offset(n), BlockHead::kSize).data());
      links = {bh.next, bh.previous};
    }
    if (links.second != previous) return "the back link of block " + std::to_string(n) + " is not the block before it";
    chain.push_back(n);
    previous = n;
    n = links.first;
  }
  if ((chain.empty() ? 0 : chain.back()) != last) return "the header's last block is not the chain's last";
  const bool overTree = chain.size() == w.links.size() &&
                        std::all_of(chain.begin(), chain.end(), [&](std::uint16_t b) { return w.links.count(b) != 0; });
  if (overTree || chain == w.lowestBlocks) return std::nullopt;
  return "the block chain does not run over every index block";
}

}  // namespace

BlockIndexContents ReadBlockIndexFile(const BinaryFile& file, std::size_t keySize) {
  const std::uint64_t size = file.Size();
  if (size < format::kVariablePartShort) CorruptIndex(file, "file shorter than an index header", 0);
  const FileHeader h = FileHeader::Decode(file.Read(0, format::kVariablePartShort), PathText(file.Path()));
  BlockIndexContents c;
  IndexGeometry g;
  c.entrySize = h.recordSize;
  g.entrySize = c.entrySize;
  if (g.entrySize != keySize + format::kEntryTailSize)
    CorruptIndex(file, "entry size " + std::to_string(g.entrySize) + " does not fit a key of " + std::to_string(keySize) + " bytes",
                       FileHeader::OffsetOf(&FileHeader::recordSize));
  g.blockBytes = h.BlockBytes();
  g.headerSize = h.headerSize;
  if (g.headerSize > size) CorruptIndex(file, "header size", FileHeader::OffsetOf(&FileHeader::headerSize));
  g.fileBlocks = (size - g.headerSize) / g.blockBytes;
  c.levels = h.indexLevels;
  c.changeCount = h.changeCount;
  if (c.levels == 0) return c;
  if (c.levels > format::kMaxIndexLevels)
    CorruptIndex(file, "index claims " + std::to_string(c.levels) + " levels",
                 FileHeader::OffsetOf(&FileHeader::indexLevels));
  TreeWalk w = WalkTree(file, g, keySize, h.indexRoot, c.levels);
  c.chainFault = ChainFault(file, g, w, h.firstBlock, h.lastBlock);
  c.lowest = std::move(w.lowest);
  return c;
}

}  // namespace paradox
