// Secondary-index entries gathered straight from the blocks' stored bytes, checked against the
// entries made from decoded records (every field type an index can hold, case-insensitive
// Shift-JIS values among them); the .X written piece by piece against the file built whole;
// and the gathering of several indexes in batches under a memory budget.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"
#include "paradox/ParadoxTable.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;

namespace {

std::string ReadFile(const fs::path& p) {
  auto f = BinaryFile::Open(p, FileAccess::kReadShared);
  return f->Read(0, static_cast<std::size_t>(f->Size()));
}

// Alpha values that fold differently byte by byte and as Shift-JIS: a lead byte followed by a
// trail byte in the range of the small ASCII letters, which must stay as it is.
std::string AlphaValue(std::mt19937& rng) {
  static const std::vector<std::string> kParts = {"suzuki", "Suzuki", "\x83\x61", "\x82\x79z", "\x88\x9f", "abc", "ABC", " "};
  std::string v;
  const int n = static_cast<int>(rng() % 4);
  for (int i = 0; i < n; ++i) v += kParts[rng() % kParts.size()];
  return v.substr(0, 12);
}

// Random bytes of the field's stored size: the entries copy bytes, whatever they encode.
std::string RawValue(std::mt19937& rng, std::size_t size) {
  std::string v(size, '\0');
  for (auto& c : v) c = static_cast<char>(rng() % 3 ? rng() % 256 : 0);
  return v;
}

// A table with a field of every type an index can hold, keyed on its first field or unkeyed.
TableDefinition EveryIndexableType(bool keyed) {
  TableDefinition def;
  def.fields = {FieldDef::Long("ID"),
                FieldDef::Alpha("NAME", 12),
                FieldDef::Date("BORN"),
                FieldDef::Short("RANK"),
                FieldDef::Of("FEE", FieldType::kMoney, 8),
                FieldDef::Of("RATE", FieldType::kNumber, 8),
                FieldDef::Of("OK", FieldType::kLogical, 1),
                FieldDef::Of("AT", FieldType::kTime, 4),
                FieldDef::Of("STAMP", FieldType::kTimestamp, 8),
                FieldDef::Of("SEQ", FieldType::kAutoIncrement, 4),
                FieldDef::Of("AMOUNT", FieldType::kBcd, 2),
                FieldDef::Of("RAW", FieldType::kBytes, 6),
                FieldDef::Alpha("KANA", 9),
                FieldDef::Memo("NOTE", 10)};
  def.keyFieldCount = keyed ? 1 : 0;
  return def;
}

std::vector<SecondaryIndexDef> IndexOnEachField(const TableSchema& schema) {
  std::vector<SecondaryIndexDef> defs;
  for (std::size_t f = 1; f + 1 < schema.FieldCount(); ++f) defs.push_back({"", {f}, false});
  defs.push_back({"FOLDED", {1}, true});
  defs.push_back({"BOTH", {12, 3, 1}, true});
  return defs;
}

bool UnsignedLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

}  // namespace

TEST(IndexEntries, FromStoredBytesTheyAreTheEntriesOfTheDecodedRecordsInKeyOrder) {
  for (bool keyed : {true, false}) {
    SCOPED_TRACE(keyed ? "keyed" : "unkeyed");
    std::mt19937 rng(keyed ? 808 : 909);
    const fs::path dir = testing_support::FreshTempDir(keyed ? "index_entries_keyed" : "index_entries_unkeyed");
    const fs::path data = dir / "EVERY.DB";
    ParadoxTable::Create(data, EveryIndexableType(keyed));
    {
      auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
      std::vector<std::int32_t> ids(900);
      for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<std::int32_t>(i * 7 + 1);
      std::shuffle(ids.begin(), ids.end(), rng);
      for (std::int32_t id : ids) {
        Record r = t->NewRecord();
        r.SetInteger(0, id);
        r.SetAlpha(1, AlphaValue(rng));
        for (std::size_t f = 2; f <= 11; ++f)
          if (f != 9 && rng() % 5) r.SetRaw(f, RawValue(rng, t->Schema().FieldSize(f)));
        r.SetAlpha(12, AlphaValue(rng).substr(0, 9));
        t->Insert(r);
      }
      // Removals leave blocks part full, so block numbers and offsets are not a formula.
      for (int i = 0; i < 150; ++i) t->Delete(static_cast<std::uint32_t>(rng() % t->RecordCount()));
      t->Close();
    }
    auto t = ParadoxTable::Open(data, OpenMode::kShared);
    const std::vector<SecondaryIndexDef> defs = IndexOnEachField(t->Schema());
    const std::vector<IndexEntries> gathered = CollectEntries(*t, defs);
    const std::size_t recordSize = t->Schema().RecordSize();
    for (std::size_t d = 0; d < defs.size(); ++d) {
      SCOPED_TRACE("index " + std::to_string(d));
      const IndexEntries& got = gathered[d];
      const std::size_t keySize = got.SortKeySize();
      std::vector<std::string> want;
      const auto blocks = t->PrimaryIndexEntries();
      std::uint32_t position = 0;
      std::size_t blockAt = 0, slot = 0;
      t->ForEachRecord([&](const Record& r) {
        while (slot >= blocks[blockAt].count) ++blockAt, slot = 0;
        want.push_back(got.EntryFor(r, blocks[blockAt].block, ++position, static_cast<std::uint16_t>(slot * recordSize)));
        ++slot;
        return true;
      });
      std::sort(want.begin(), want.end(), [&](const std::string& a, const std::string& b) {
        return UnsignedLess(std::string_view(a).substr(0, keySize), std::string_view(b).substr(0, keySize));
      });
      ASSERT_EQ(got.Count(), want.size());
      for (std::size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got.Entry(i), want[i]) << "entry " << i;
    }
  }
}

TEST(IndexEntries, CaseFoldingLeavesShiftJisTrailBytesAlone) {
  TableDefinition def;
  def.fields = {FieldDef::Long("ID"), FieldDef::Alpha("NAME", 8)};
  def.keyFieldCount = 1;
  const fs::path data = testing_support::FreshTempDir("index_entries_fold") / "FOLD.DB";
  ParadoxTable::Create(data, def);
  {
    auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
    Record r = t->NewRecord();
    r.SetInteger(0, 1);
    r.SetAlpha(1, "\x83\x61x\x82\x7a" "b\x83");  // a lead byte last, its trail byte cut off
    t->Insert(r);
    t->Close();
  }
  auto t = ParadoxTable::Open(data, OpenMode::kShared);
  const IndexEntries e = CollectEntries(*t, SecondaryIndexDef{"F", {1}, true});
  ASSERT_EQ(e.Count(), 1u);
  EXPECT_EQ(e.Entry(0).substr(0, 8), std::string("\x83\x61X\x82\x7a" "B\x83", 7) + std::string(1, '\0'));
}

namespace {

// Entries of a synthetic table whose .X takes several write pieces.
struct ManyEntries {
  TableSchema schema{[] {
    TableDefinition def;
    def.fields = {FieldDef::Long("ID"), FieldDef::Alpha("NAME", 60)};
    def.keyFieldCount = 1;
    return def;
  }()};
  SecondaryIndexDef def{"N", {1}, true};
  IndexEntries entries{schema, def};
  FileHeader dbHeader;

  explicit ManyEntries(std::size_t count) {
    std::mt19937 rng(77);
    std::string record(schema.RecordSize(), '\0');
    for (std::size_t i = 0; i < count; ++i) {
      record.replace(0, 4, EncodeLong(static_cast<std::int32_t>(i)));
      const std::string name = "shared prefix of many names " + std::to_string(rng() % 5000);
      record.replace(4, 60, name + std::string(60 - name.size(), '\0'));
      entries.AppendStored(record, static_cast<std::uint16_t>(i / 30 + 1), 0, 0);
    }
    entries.Sort();
    dbHeader.level = format::kLevel7;
    dbHeader.blockSizeKiB = 4;
  }
};

}  // namespace

TEST(IndexEntries, TheXWrittenPieceByPieceIsTheFileBuiltWhole) {
  const ManyEntries many(40000);  // 70 bytes each: about 2.7 MiB of blocks
  ASSERT_GT(many.entries.Bytes().size(), 2 * kIndexWritePieceBytes);
  IndexFileStamps stamps;
  stamps.storedBase = "names";
  stamps.writeTime = 1234567;
  const IndexFilePair whole = BuildIndexFiles(many.schema, many.dbHeader, many.def, many.entries, "XG0", stamps);
  const fs::path dir = testing_support::FreshTempDir("index_entries_pieces");
  const std::string header =
      WriteIndexFiles(dir / "NAMES.XG0", dir / "NAMES.YG0", many.schema, many.dbHeader, many.def, many.entries, "XG0", stamps);
  EXPECT_EQ(ReadFile(dir / "NAMES.XG0"), whole.x);
  EXPECT_EQ(ReadFile(dir / "NAMES.YG0"), whole.y);
  EXPECT_EQ(header, whole.x.substr(0, 0x800));
  EXPECT_FALSE(fs::exists(dir / "NAMES.XG0.tmp"));
}

TEST(IndexEntries, AFailedWriteLeavesTheOldFilesAndNoWorkFile) {
  const ManyEntries many(40000);
  const fs::path dir = testing_support::FreshTempDir("index_entries_fault");
  IndexFileStamps stamps;
  stamps.storedBase = "names";
  WriteIndexFiles(dir / "NAMES.XG0", dir / "NAMES.YG0", many.schema, many.dbHeader, many.def, many.entries, "XG0", stamps);
  const std::string oldX = ReadFile(dir / "NAMES.XG0"), oldY = ReadFile(dir / "NAMES.YG0");
  stamps.writeTime = 99;  // so that a new file would differ
  // The second piece of the .X; its flush; the .Y's write.
  for (const auto& [kind, nth] : std::vector<std::pair<os::FileOperation, std::uint64_t>>{
           {os::FileOperation::kWrite, 3}, {os::FileOperation::kSync, 1}, {os::FileOperation::kWrite, 5}}) {
    SCOPED_TRACE(std::string(os::FileOperationName(kind)) + " " + std::to_string(nth));
    os::ArmFault({os::InjectedFault::kDiskFull, kind, nth, false});
    EXPECT_THROW(WriteIndexFiles(dir / "NAMES.XG0", dir / "NAMES.YG0", many.schema, many.dbHeader, many.def,
                                 many.entries, "XG0", stamps),
                 EDBEngineError);
    const bool fired = os::gFaultState.fired > 0;
    os::DisarmFault();
    EXPECT_TRUE(fired);
    EXPECT_FALSE(fs::exists(dir / "NAMES.XG0.tmp"));
    EXPECT_FALSE(fs::exists(dir / "NAMES.YG0.tmp"));
    // Only a .X already in place may be new; the .Y never runs ahead of it.
    if (ReadFile(dir / "NAMES.XG0") == oldX) {
      EXPECT_EQ(ReadFile(dir / "NAMES.YG0"), oldY);
    }
  }
  EXPECT_EQ(ReadFile(dir / "NAMES.YG0"), oldY);
}

TEST(IndexEntries, BatchesUnderABudgetHoldWhatEachIndexGathersAlone) {
  const fs::path dir = testing_support::FreshTempDir("index_entries_batches");
  const fs::path data = dir / "EVERY.DB";
  ParadoxTable::Create(data, EveryIndexableType(true));
  std::mt19937 rng(31);
  {
    auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
    for (std::int32_t id = 1; id <= 300; ++id) {
      Record r = t->NewRecord();
      r.SetInteger(0, id);
      r.SetAlpha(1, AlphaValue(rng));
      t->Insert(r);
    }
    t->Close();
  }
  auto t = ParadoxTable::Open(data, OpenMode::kShared);
  const std::vector<SecondaryIndexDef> defs = IndexOnEachField(t->Schema());
  std::size_t oneIndex = 0;
  for (const auto& def : defs)
    oneIndex = std::max(oneIndex, t->RecordCount() * MakeIndexRecordLayout(t->Schema(), def).recordSize);
  for (std::size_t budget : {std::size_t{1}, oneIndex * 2, oneIndex * 5, kIndexEntriesTogetherBytes}) {
    SCOPED_TRACE("budget " + std::to_string(budget));
    std::vector<std::size_t> seen;
    CollectEntriesInBatches(
        *t, defs,
        [&](std::size_t i, IndexEntries&& entries) {
          seen.push_back(i);
          EXPECT_EQ(entries.Bytes(), CollectEntries(*t, defs[i]).Bytes()) << "index " << i;
        },
        budget);
    std::vector<std::size_t> all(defs.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    EXPECT_EQ(seen, all);
  }
}
