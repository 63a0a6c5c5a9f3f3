// The index trees of .PX and .Y files: one chain over every block from the root, one entry
// left free in a full block, no count above 32,767 and every parent summing its children.
// The files are checked by a reader of their own here, byte by byte, not by the engine's.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "IndexTestSupport.h"
#include "paradox/BinaryFile.h"
#include "paradox/BlockIndex.h"
#include "paradox/EngineError.h"
#include "paradox/IndexRebuild.h"
#include "paradox/ParadoxTable.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;
using namespace index_test;
using testing_support::FreshTempDir;
using testing_support::ReadFileBytes;

namespace {

std::uint32_t U32At(const std::string& b, std::size_t at) { return U16(b, at) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16; }

void PutU16At(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

// A table short: big-endian with the top bit flipped.
int ShortAt(const std::string& b, std::size_t at) {
  const unsigned v = (static_cast<unsigned>(static_cast<unsigned char>(b.at(at))) << 8 | static_cast<unsigned char>(b.at(at + 1))) ^ 0x8000u;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

std::string Short(int v) {
  const auto u = static_cast<std::uint16_t>(static_cast<std::uint16_t>(v) ^ 0x8000u);
  return {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
}

struct Shape {
  unsigned levels = 0;
  unsigned blockBytes = 0;
  std::vector<std::vector<std::size_t>> entriesPerBlock;  // per depth (root first), left to right
  std::vector<BlockIndexEntry> lowest;
};

struct TreeChecker {
  const std::string& f;
  std::size_t keySize, entrySize, blockBytes, fits;
  unsigned levels;
  Shape shape;

  std::size_t BlockAt(unsigned n) const { return U16(f, 2) + (n - 1u) * blockBytes; }

  // Returns the entries' summed counts; records every block's entry count per depth.
  std::uint32_t Walk(unsigned block, unsigned depth) {
    const std::size_t at = BlockAt(block);
    const auto add = static_cast<std::int16_t>(U16(f, at + 4));
    const std::size_t n = static_cast<std::size_t>(add) / entrySize + 1;
    EXPECT_EQ(static_cast<std::size_t>(add) % entrySize, 0u);
    EXPECT_LE(n, fits - 1) << "block " << block << " leaves no entry free";
    shape.entriesPerBlock[depth - 1].push_back(n);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t e = at + 6 + i * entrySize;
      const int below = ShortAt(f, e + keySize), count = ShortAt(f, e + keySize + 2);
      EXPECT_EQ(ShortAt(f, e + keySize + 4), 0);
      EXPECT_GT(count, 0);
      EXPECT_LE(count, 32767);
      sum += static_cast<std::uint32_t>(count);
      if (depth == levels) {
        shape.lowest.push_back({f.substr(e, keySize), static_cast<std::uint16_t>(below), static_cast<std::uint32_t>(count)});
      } else {
        EXPECT_EQ(Walk(static_cast<unsigned>(below), depth + 1), static_cast<std::uint32_t>(count))
            << "entry " << i << " of block " << block;
      }
    }
    return sum;
  }
};

// Walks the chain from the header's first block and the tree from the root of an index file
// holding `keySize` key bytes; reports every way it departs from the layout.
Shape CheckIndexFile(const std::string& f, std::size_t keySize) {
  TreeChecker c{f, keySize, keySize + 6, static_cast<std::size_t>(static_cast<unsigned char>(f.at(5))) * 1024, 0, 0, {}};
  c.fits = (c.blockBytes - 6) / c.entrySize;
  c.levels = static_cast<unsigned char>(f.at(0x20));
  c.shape.levels = c.levels;
  c.shape.blockBytes = static_cast<unsigned>(c.blockBytes);
  EXPECT_EQ(U16(f, 0), c.entrySize);
  const unsigned fileBlocks = U16(f, 0x0C);
  EXPECT_EQ(f.size(), U16(f, 2) + fileBlocks * c.blockBytes);
  EXPECT_EQ(U16(f, 0x0A), fileBlocks);
  if (c.levels == 0) return c.shape;

  // One chain over every block of the file, starting at the root.
  EXPECT_EQ(U16(f, 0x0E), U16(f, 0x1E)) << "the chain does not start at the root";
  std::vector<bool> seen(fileBlocks + 1u, false);
  unsigned previous = 0, visited = 0;
  for (unsigned n = U16(f, 0x0E); n != 0; n = U16(f, c.BlockAt(n))) {
    if (n > fileBlocks || seen[n]) {
      ADD_FAILURE() << "the chain reaches block " << n << " again or past the end";
      return c.shape;
    }
    seen[n] = true;
    ++visited;
    EXPECT_EQ(U16(f, c.BlockAt(n) + 2), previous) << "back link of block " << n;
    previous = n;
  }
  EXPECT_EQ(visited, fileBlocks) << "the chain leaves blocks out";
  EXPECT_EQ(U16(f, 0x10), previous) << "the header's last block is not the chain's end";

  c.shape.entriesPerBlock.resize(c.levels);
  c.Walk(U16(f, 0x1E), 1);
  std::size_t entries = 0, blocks = 0;
  for (const auto& level : c.shape.entriesPerBlock) {
    blocks += level.size();
    for (auto n : level) entries += n;
  }
  EXPECT_EQ(blocks, fileBlocks) << "blocks outside the tree";
  EXPECT_EQ(U32At(f, 0x06), entries);
  EXPECT_EQ(c.shape.entriesPerBlock.front().size(), 1u);
  return c.shape;
}

// Every block of a level but its last holds one entry fewer than fits.
void ExpectFullBlocks(const Shape& s, std::size_t keySize) {
  const std::size_t fits = (s.blockBytes - 6) / (keySize + 6);
  for (const auto& level : s.entriesPerBlock)
    for (std::size_t b = 0; b + 1 < level.size(); ++b) EXPECT_EQ(level[b], fits - 1) << "block " << b << " of a level";
}

// A table whose 120-byte key leaves room for 16 entries in a 2 KiB .PX block, with an index on
// NAME whose .Y entries (NAME and the key) leave room for 12.
TableSpec WideKeyTable() {
  return {"Parts", {FieldDef::Alpha("CODE", 120), FieldDef::Long("QTY"), FieldDef::Alpha("NAME", 40)}, 1, {{"IX_NAME", "NAME", true}}};
}

fs::path FillWideKeyTable(const std::string& dirName, int records) {
  fs::path dir = FreshTempDir(dirName);
  fs::path data = CreateTable(dir, WideKeyTable());
  std::mt19937 rng(4711);
  auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
  auto indexes = SecondaryIndexSet::Attach(*t);
  std::set<std::string> keys;
  Fill(*t, rng, records, keys);
  t->Close();
  return data;
}

void ExpectTreesOf(const fs::path& data, unsigned pxLevels, unsigned yLevels) {
  auto t = ParadoxTable::Open(data, OpenMode::kShared);
  const std::size_t keySize = t->Schema().KeySize();
  const Shape px = CheckIndexFile(ReadFileBytes(FamilyMemberPath(data, ".PX")), keySize);
  EXPECT_EQ(px.levels, pxLevels);
  ExpectFullBlocks(px, keySize);
  const auto dataBlocks = t->PrimaryIndexEntries();
  ASSERT_EQ(px.lowest.size(), dataBlocks.size());
  for (std::size_t i = 0; i < dataBlocks.size(); ++i) {
    EXPECT_EQ(px.lowest[i].key, dataBlocks[i].key) << "entry " << i;
    EXPECT_EQ(px.lowest[i].block, dataBlocks[i].block) << "entry " << i;
    EXPECT_EQ(px.lowest[i].records, dataBlocks[i].count) << "entry " << i;
  }

  const std::size_t yKey = 40 + keySize;  // NAME, then the primary key
  const Shape y = CheckIndexFile(ReadFileBytes(FamilyMemberPath(data, ".YG0")), yKey);
  EXPECT_EQ(y.levels, yLevels);
  ExpectFullBlocks(y, yKey);
  std::uint32_t yRecords = 0;
  for (const auto& e : y.lowest) yRecords += e.records;
  EXPECT_EQ(yRecords, t->RecordCount());

  EXPECT_EQ(CheckTable(data), std::nullopt);
  EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
#ifndef _WIN32
  // pxlib, an independent reader, still reads every record in key order.
  auto rows = ReadWithPxlib(data);
  ASSERT_TRUE(rows.has_value()) << "pxlib is not installed";
  ASSERT_EQ(rows->records, static_cast<int>(t->RecordCount()));
  std::size_t i = 0;
  t->ForEachRecord([&](const Record& r) {
    EXPECT_EQ(rows->rows.at(i++).at(0), r.GetAlpha(0));
    return !testing::Test::HasFailure();
  });
#endif
}

// A rebuild from the data writes the same index blocks, and the same headers but for the
// counters and stamps.
void ExpectRebuildIdentical(const fs::path& data) {
  fs::path out = FreshTempDir("blockindex_rebuild_" + data.parent_path().filename().string());
  const auto written = RebuildIndexes(data, out);
  ASSERT_EQ(written.size(), 3u);
  for (const auto& file : written) {
    SCOPED_TRACE(file.filename().string());
    const std::string ours = ReadFileBytes(file), theirs = ReadFileBytes(data.parent_path() / file.filename());
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(ours.substr(0x800) == theirs.substr(0x800)) << "index blocks differ";
    const bool x = file.extension().string()[1] == 'X';
    auto mask = x ? XVolatile(U16(theirs, 0x21)) : BlockIndexVolatile(U16(theirs, 0x21));
    EXPECT_EQ(Differences(ours.substr(0, 0x800), theirs.substr(0, 0x800), mask), std::vector<std::size_t>{});
  }
}

PrimaryIndexInfo LongKeyInfo(std::size_t keySize) {
  PrimaryIndexInfo info;
  info.keyFields = {keySize == 4 ? FieldDef::Long("N") : FieldDef::Alpha("K", static_cast<unsigned>(keySize))};
  info.keySize = keySize;
  info.tableChangeCount = 3;
  info.tableStructureChanges = 2;
  info.tableName = "Counts.DB";
  return info;
}

std::vector<IndexEntry> Leaves(std::size_t n, std::uint32_t records, std::size_t keySize) {
  std::vector<IndexEntry> out;
  for (std::size_t i = 0; i < n; ++i) {
    std::string key = keySize == 4 ? EncodeLong(static_cast<std::int32_t>(i * records)) : std::to_string(100000 + i);
    key.resize(keySize, '\0');
    out.push_back({key, static_cast<std::uint16_t>(i + 1), records});
  }
  return out;
}

void ExpectReadBack(const fs::path& px, const std::vector<IndexEntry>& leaves, std::size_t keySize) {
  const PrimaryIndexContents c = ReadPrimaryIndexFile(px, keySize);
  EXPECT_EQ(c.chainFault, std::nullopt);
  ASSERT_EQ(c.lowest.size(), leaves.size());
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    EXPECT_EQ(c.lowest[i].key, leaves[i].key);
    EXPECT_EQ(c.lowest[i].block, leaves[i].block);
    EXPECT_EQ(c.lowest[i].count, leaves[i].count);
  }
}

// Levels chained apart: the lowest level first, full, chained on its own; each
// upper level after it, chained on its own; the root last; sums above 32,767 written 32,767.
std::string LevelsChainedApartIndex(const std::string& header, const std::vector<IndexEntry>& leaves, std::size_t keySize) {
  const std::size_t entrySize = keySize + 6, perBlock = (2048 - 6) / entrySize;
  std::vector<std::string> blocks;
  std::vector<IndexEntry> level = leaves;
  unsigned levels = 0;
  while (true) {
    ++levels;
    const std::size_t first = blocks.size(), count = (level.size() + perBlock - 1) / perBlock;
    std::vector<IndexEntry> up;
    for (std::size_t b = 0; b < count; ++b) {
      std::string blk(2048, '\0');
      const std::size_t from = b * perBlock, to = std::min(level.size(), from + perBlock);
      const auto number = static_cast<std::uint16_t>(first + b + 1);
      PutU16At(blk, 0, b + 1 < count ? static_cast<std::uint16_t>(number + 1) : 0);
      PutU16At(blk, 2, b > 0 ? static_cast<std::uint16_t>(number - 1) : 0);
      PutU16At(blk, 4, static_cast<std::uint16_t>((to - from - 1) * entrySize));
      std::uint32_t sum = 0;
      for (std::size_t i = from; i < to; ++i) {
        const std::string e = level[i].key + Short(level[i].block) + Short(static_cast<int>(std::min<std::uint32_t>(level[i].count, 32767))) + Short(0);
        blk.replace(6 + (i - from) * entrySize, entrySize, e);
        sum += level[i].count;
      }
      blocks.push_back(blk);
      up.push_back({level[from].key, number, sum});
    }
    if (count == 1) break;
    level = up;
  }
  std::string h = header;
  PutU16At(h, 0x0A, static_cast<std::uint16_t>(blocks.size()));
  PutU16At(h, 0x0C, static_cast<std::uint16_t>(blocks.size()));
  PutU16At(h, 0x0E, 1);
  PutU16At(h, 0x10, static_cast<std::uint16_t>((leaves.size() + perBlock - 1) / perBlock));
  PutU16At(h, 0x1E, static_cast<std::uint16_t>(blocks.size()));
  h[0x20] = static_cast<char>(levels);
  for (const auto& b : blocks) h += b;
  return h;
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
  fs::remove(p);
  auto f = BinaryFile::Open(p, FileAccess::kCreateExclusive);
  f->Write(0, bytes);
}

}  // namespace

TEST(BlockIndex, TwoLevelTreesChainEveryBlockFromTheRootAndRebuildIdentically) {
  // ~40 data blocks of a 120-byte key: more than the 15 entries a .PX block takes.
  const fs::path data = FillWideKeyTable("blockindex_two", 320);
  ExpectTreesOf(data, 2, 2);
  ExpectRebuildIdentical(data);
}

TEST(BlockIndex, ThreeLevelTreesChainEveryBlockFromTheRootAndRebuildIdentically) {
  // Over 15 × 15 data blocks and 11 × 11 .X blocks: three levels in both.
  const fs::path data = FillWideKeyTable("blockindex_three", 2600);
  ExpectTreesOf(data, 3, 3);
  ExpectRebuildIdentical(data);
  // Writing again after changes gives the same layout, still one chain.
  {
    auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
    auto indexes = SecondaryIndexSet::Attach(*t);
    for (int i = 0; i < 400; ++i) t->Delete(static_cast<std::uint32_t>((i * 7) % t->RecordCount()));
    t->Close();
  }
  ExpectTreesOf(data, 3, 3);
  ExpectRebuildIdentical(data);
}

TEST(BlockIndex, CountsThatOnceOverflowedSixteenBitsStayWithinThem) {
  // 32 KiB data blocks of 4-byte records hold 8,190 records each: a .PX block filled with 203
  // of them would stand for 1.6 million records. Four fit under 32,767.
  const fs::path dir = FreshTempDir("blockindex_counts");
  const auto leaves = Leaves(300, 8190, 4);
  const fs::path px = dir / "Counts.PX";
  WritePrimaryIndexFile(px, LongKeyInfo(4), leaves, false);
  const Shape s = CheckIndexFile(ReadFileBytes(px), 4);
  EXPECT_EQ(s.levels, 2u);
  EXPECT_EQ(s.blockBytes, 2048u);
  for (std::size_t b = 0; b + 1 < s.entriesPerBlock.back().size(); ++b) EXPECT_EQ(s.entriesPerBlock.back()[b], 4u);
  ExpectReadBack(px, leaves, 4);

  // A wide key leaves too few entries for a root over such sums in 2 KiB: larger blocks.
  const auto wide = Leaves(100, 16000, 200);
  const fs::path px2 = dir / "Wide.PX";
  WritePrimaryIndexFile(px2, LongKeyInfo(200), wide, false);
  const Shape s2 = CheckIndexFile(ReadFileBytes(px2), 200);
  EXPECT_EQ(s2.blockBytes, 16384u);
  EXPECT_EQ(s2.levels, 2u);
  ExpectReadBack(px2, wide, 200);
}

TEST(BlockIndex, AnIndexNoBlockSizeCanHoldIsRefusedBeforeAnythingIsWritten) {
  const fs::path dir = FreshTempDir("blockindex_full");
  const fs::path px = dir / "Full.PX";
  try {
    WritePrimaryIndexFile(px, LongKeyInfo(200), Leaves(5000, 30000, 200), false);
    FAIL() << "written";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kIoError);
    EXPECT_EQ(std::string(e.what()).substr(0, 14), "Index is full.");
  }
  EXPECT_FALSE(fs::exists(px));
}

TEST(BlockIndex, FilesWithLevelsChainedApartAreStillRead) {
  const fs::path dir = FreshTempDir("blockindex_old");
  const fs::path px = dir / "Old.PX";
  // 500 data blocks of 200 records: 3 lowest blocks of 204, one root entry clamped.
  const auto leaves = Leaves(500, 200, 4);
  WritePrimaryIndexFile(px, LongKeyInfo(4), leaves, false);
  const std::string header = ReadFileBytes(px).substr(0, 0x800);
  WriteBytes(px, LevelsChainedApartIndex(header, leaves, 4));
  ExpectReadBack(px, leaves, 4);

  // The clamped 32,767 stands only for a larger sum: not for the last block's 18,400.
  std::string old = ReadFileBytes(px);
  const std::size_t root = 0x800 + (U16(old, 0x1E) - 1u) * 2048;
  ASSERT_EQ(ShortAt(old, root + 6 + 4 + 2), 32767);
  ASSERT_EQ(ShortAt(old, root + 6 + 2 * 10 + 4 + 2), 18400);
  old.replace(root + 6 + 2 * 10 + 4 + 2, 2, Short(32767));
  WriteBytes(px, old);
  EXPECT_THROW(ReadPrimaryIndexFile(px, 4), EDBEngineError);
}

TEST(BlockIndex, BrokenTreesAreRefusedAndBrokenChainsReported) {
  const fs::path dir = FreshTempDir("blockindex_broken");
  const fs::path px = dir / "Broken.PX";
  const auto leaves = Leaves(500, 60, 4);
  WritePrimaryIndexFile(px, LongKeyInfo(4), leaves, false);
  const std::string good = ReadFileBytes(px);
  ASSERT_EQ(good[0x20], 2);
  const std::size_t rootEntry = 0x800 + 6;  // the root is block 1
  const std::size_t leafEntry = 0x800 + 2048 + 6;

  auto refused = [&](std::string bytes, const char* what) {
    SCOPED_TRACE(what);
    WriteBytes(px, bytes);
    try {
      ReadPrimaryIndexFile(px, 4);
      ADD_FAILURE() << "read";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile);
      EXPECT_NE(std::string(e.what()).find("Corrupt index."), std::string::npos);
    }
  };
  std::string b = good;
  b.replace(rootEntry + 4, 2, Short(1));
  refused(b, "a root entry pointing at the root");
  b = good;
  b.replace(rootEntry + 4 + 10, 2, Short(2));
  refused(b, "two root entries pointing at one block");
  b = good;
  b.replace(rootEntry + 4, 2, Short(400));
  refused(b, "a block past the end");
  b = good;
  b.replace(leafEntry + 4 + 2, 2, Short(61));
  refused(b, "a count that does not sum up");
  b = good;
  PutU16At(b, 0x800 + 2048 + 4, 0x7FF0);
  refused(b, "a block claiming more entries than fit");

  // The tree stays readable when the chain breaks; the chain is reported.
  b = good;
  PutU16At(b, 0x800 + 2048, 0);  // block 2 ends the chain early
  WriteBytes(px, b);
  const PrimaryIndexContents c = ReadPrimaryIndexFile(px, 4);
  EXPECT_EQ(c.lowest.size(), leaves.size());
  EXPECT_NE(c.chainFault, std::nullopt);
  b = good;
  PutU16At(b, 0x800 + 2 * 2048 + 2, 1);  // block 3's back link skips block 2
  WriteBytes(px, b);
  EXPECT_NE(ReadPrimaryIndexFile(px, 4).chainFault, std::nullopt);
}
