// Damaged tables: each fault gives an engine error naming the file and what is wrong, and the
// damaged file is never written to.

#include <gtest/gtest.h>

#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

namespace {

// A keyed table of several blocks (1 KiB blocks, 100-byte records) with memos in both kinds
// of .MB block.
fs::path GoodTable(const std::string& name) {
  fs::path dir = testing_support::FreshTempDir(name);
  fs::path db = dir / "GOOD.DB";
  TableDefinition d;
  d.fields = {FieldDef::Long("ID"), FieldDef::Alpha("NAME", 80), FieldDef::Memo("NOTE", 6)};
  d.keyFieldCount = 1;
  d.blockSizeKiB = 1;
  ParadoxTable::Create(db, d);
  auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
  for (int i = 0; i < 60; ++i) {
    Record r = t->NewRecord();
    r.SetInteger(0, i * 7 % 61);
    r.SetAlpha(1, "name " + std::to_string(i));
    r.SetBlob(2, i % 2 ? std::string(100 + i, 'n') : std::string(3000, 'N'));
    t->Insert(r);
  }
  t->Close();
  return db;
}

void Patch(const fs::path& p, std::size_t at, const std::string& bytes) {
  std::string b = ReadFileBytes(p);
  b.replace(at, bytes.size(), bytes);
  WriteFileBytes(p, b);
}

std::string U16(std::uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string U32(std::uint32_t v) { return U16(static_cast<std::uint16_t>(v & 0xFFFF)) + U16(static_cast<std::uint16_t>(v >> 16)); }

// Opens exclusively (the mode that could write), reads everything; expects kCorruptFile whose
// text holds `what` and names `file`; the family's bytes stay as they were.
void ExpectCorrupt(const fs::path& db, const std::string& what, const std::string& file) {
  std::vector<std::pair<fs::path, std::string>> before;
  for (const auto& p : FindFamilyFiles(db)) before.emplace_back(p, ReadFileBytes(p));
  try {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    t->ForEachRecord([](const Record&) { return true; });
    Record r = t->NewRecord();
    r.SetInteger(0, 1000);
    t->Insert(r);
    ADD_FAILURE() << "no error for: " << what;
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile) << e.what();
    EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
    EXPECT_NE(e.File().find(file), std::string::npos) << e.File();
  }
  for (const auto& [p, bytes] : before) EXPECT_TRUE(ReadFileBytes(p) == bytes) << p << " was written to";
  auto fault = CheckTable(db);
  ASSERT_TRUE(fault.has_value());
  EXPECT_NE(fault->find(what), std::string::npos) << *fault;
}

}  // namespace

TEST(CorruptTable, GoodTableIsSound) {
  fs::path db = GoodTable("corrupt-good");
  EXPECT_EQ(CheckTable(db), std::nullopt);
  auto t = ParadoxTable::Open(db, OpenMode::kShared);
  EXPECT_GE(t->Header().fileBlocks, 6);
}

TEST(CorruptTable, WrongHeaderSize) {
  fs::path db = GoodTable("corrupt-headersize");
  Patch(db, 0x02, U16(0x0010));
  ExpectCorrupt(db, "header size 16", "GOOD.DB");
  Patch(db, 0x02, U16(0xF800));
  ExpectCorrupt(db, "header size 63488", "GOOD.DB");
}

TEST(CorruptTable, TruncatedFile) {
  fs::path db = GoodTable("corrupt-truncated");
  std::string b = ReadFileBytes(db);
  WriteFileBytes(db, b.substr(0, b.size() - 1500));
  ExpectCorrupt(db, "blocks, the file holds", "GOOD.DB");
  WriteFileBytes(db, b.substr(0, 40));
  ExpectCorrupt(db, "shorter than a table header", "GOOD.DB");
}

TEST(CorruptTable, ChainThatLoops) {
  fs::path db = GoodTable("corrupt-loop");
  const std::uint16_t first = ReadFileBytes(db)[0x0E];
  // The first block's next link points back at itself.
  Patch(db, 0x800 + (first - 1) * 1024, U16(first));
  ExpectCorrupt(db, "loops back to block", "GOOD.DB");
}

TEST(CorruptTable, ChainPastTheEnd) {
  fs::path db = GoodTable("corrupt-pastend");
  const std::uint16_t first = ReadFileBytes(db)[0x0E];
  Patch(db, 0x800 + (first - 1) * 1024, U16(999));
  ExpectCorrupt(db, "points to block 999 past the last block", "GOOD.DB");
  Patch(db, 0x0E, U16(500));
  ExpectCorrupt(db, "block 500", "GOOD.DB");
}

TEST(CorruptTable, RecordCountThatLies) {
  fs::path db = GoodTable("corrupt-count");
  Patch(db, 0x06, U32(65));
  ExpectCorrupt(db, "record count 65 in the header, 60 in the blocks", "GOOD.DB");
}

TEST(CorruptTable, BlockClaimingTooManyRecords) {
  fs::path db = GoodTable("corrupt-blockcount");
  const std::uint16_t first = ReadFileBytes(db)[0x0E];
  Patch(db, 0x800 + (first - 1) * 1024 + 4, U16(5000));
  ExpectCorrupt(db, "claims 5000 bytes of records", "GOOD.DB");
}

TEST(CorruptTable, FieldDescriptors) {
  fs::path db = GoodTable("corrupt-fields");
  Patch(db, 0x78, std::string{0x33, 0x04});  // no such field type
  ExpectCorrupt(db, "field 1 has type 51", "GOOD.DB");
  fs::path db2 = GoodTable("corrupt-recordsize");
  Patch(db2, 0x00, U16(99));
  ExpectCorrupt(db2, "record size 99 does not match", "GOOD.DB");
}

TEST(CorruptTable, MemoPointerOutOfRange) {
  fs::path db = GoodTable("corrupt-memo");
  // Record 1 of the first block: ID, NAME, then the memo's 6-byte leader and its tail.
  const std::uint16_t first = ReadFileBytes(db)[0x0E];
  const std::size_t tail = 0x800 + (first - 1) * 1024 + 6 + 4 + 80 + 6;
  Patch(db, tail, U32(0x7FFFF0FF));
  ExpectCorrupt(db, "points outside the file", "GOOD.MB");
}

TEST(CorruptTable, MemoPointerToAnUnusedSlot) {
  fs::path db = GoodTable("corrupt-memoslot");
  auto t = ParadoxTable::Open(db, OpenMode::kShared);
  std::string raw(t->ReadRecord(1).Raw(2));  // a small memo in a type 3 block
  t.reset();
  std::uint32_t ptr = GetU32(raw, 6);
  ASSERT_NE(ptr & 0xFF, 0xFFu);
  fs::path mb = FamilyMemberPath(db, ".MB");
  Patch(mb, (ptr & ~0xFFu) + 12 + 5 * (ptr & 0xFF), std::string(5, '\0'));
  ExpectCorrupt(db, "slot is unused", "GOOD.MB");
}

TEST(CorruptTable, MemoLengthThatLies) {
  fs::path db = GoodTable("corrupt-memolen");
  const std::uint16_t first = ReadFileBytes(db)[0x0E];
  const std::size_t tail = 0x800 + (first - 1) * 1024 + 6 + 4 + 80 + 6;
  Patch(db, tail + 4, U32(1234567));
  ExpectCorrupt(db, "length", "GOOD.MB");
}

TEST(CorruptTable, IndexThatDisagreesIsReportedByTheCheck) {
  fs::path db = GoodTable("corrupt-px");
  fs::path px = FamilyMemberPath(db, ".PX");
  std::string b = ReadFileBytes(px);
  // Second entry's record count (the short after the 4-byte key and the block number).
  b[0x800 + 6 + 10 + 4 + 2 + 1] ^= 0x01;
  WriteFileBytes(px, b);
  auto fault = CheckTable(db);
  ASSERT_TRUE(fault.has_value());
  EXPECT_NE(fault->find("GOOD.PX"), std::string::npos) << *fault;
  fs::remove(px);
  fault = CheckTable(db);
  ASSERT_TRUE(fault.has_value());
  EXPECT_NE(fault->find("primary index is missing"), std::string::npos);
}

TEST(CorruptTable, RandomDamageNeverCrashes) {
  fs::path good = GoodTable("corrupt-random");
  const std::string original = ReadFileBytes(good);
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  int refused = 0;
  for (int round = 0; round < 300; ++round) {
    std::string b = original;
    for (int k = 0; k < 1 + round % 4; ++k) b[next() % 0x900] = static_cast<char>(next() >> 16);
    WriteFileBytes(good, b);
    try {
      auto t = ParadoxTable::Open(good, OpenMode::kShared);
      t->ForEachRecord([](const Record&) { return true; });
    } catch (const EDatabaseError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}
