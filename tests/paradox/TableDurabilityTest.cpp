// What a writer leaves on the disk: nothing when it only reads, a recognisable mark when it is
// killed while writing, the old record when an update fails, the whole family or none of it
// when a table is deleted; and staged records placed in key order however many there are.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxFormat.h"
#include "paradox/ParadoxTable.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/StagedRecords.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace paradox;
using testing_support::FreshTempDir;
using testing_support::ReadFileBytes;

namespace {

// A customer-like table: a long key, names, a date.
TableDefinition CustomerTable(unsigned keyFields = 1) {
  TableDefinition d;
  d.fields = {FieldDef::Long("ID"), FieldDef::Alpha("NAME", 32), FieldDef::Alpha("KANA", 32), FieldDef::Date("BIRTHDAY")};
  d.keyFieldCount = keyFields;
  return d;
}

Record Customer(const ParadoxTable& t, std::int32_t id, const std::string& name) {
  Record r = t.NewRecord();
  r.SetInteger(0, id);
  r.SetAlpha(1, name);
  r.SetAlpha(2, "kana " + name);
  r.SetDate(3, 700000 + id % 1000);
  return r;
}

// Stage() keeps the record it was given up to date; these callers do not need it after.
void Stage(ParadoxTable& t, Record r) { t.Stage(r); }

// Contents and modification time of every file in the folder.
struct FileState {
  std::string bytes;
  fs::file_time_type time;
  bool operator==(const FileState& o) const { return bytes == o.bytes && time == o.time; }
};
std::map<std::string, FileState> FolderState(const fs::path& dir) {
  std::map<std::string, FileState> m;
  for (const auto& e : fs::directory_iterator(dir)) m[e.path().filename().string()] = {ReadFileBytes(e.path()), fs::last_write_time(e.path())};
  return m;
}

// An empty customer table with a case-insensitive index on its names.
void CreateNamedCustomers(const fs::path& db) {
  ParadoxTable::Create(db, CustomerTable());
  SecondaryIndexDef byName;
  byName.name = "IXName";
  byName.fields = {1};
  byName.caseInsensitive = true;
  CreateSecondaryIndexes(db, {byName});
}

fs::path IndexedCustomers(const fs::path& dir, const std::string& name, int count) {
  fs::path db = DataFilePath(dir, name);
  CreateNamedCustomers(db);
  auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
  auto indexes = SecondaryIndexSet::Attach(*t);
  std::mt19937 rng(3);
  std::set<std::int32_t> used;
  while (static_cast<int>(used.size()) < count) {
    auto id = static_cast<std::int32_t>(rng() % 1000000);
    if (used.insert(id).second) Stage(*t, Customer(*t, id, "n" + std::to_string(id % 97)));
  }
  t->Close();
  return db;
}

}  // namespace

TEST(TableDurability, OpeningReadingAndClosingWritesNothing) {
  fs::path dir = FreshTempDir("durable-read");
  fs::path db = IndexedCustomers(dir, "Kokyaku", 3000);
  const auto before = FolderState(dir);
  for (OpenMode mode : {OpenMode::kShared, OpenMode::kExclusive}) {
    auto t = ParadoxTable::Open(db, mode);
    auto indexes = SecondaryIndexSet::Attach(*t);
    std::size_t seen = 0;
    t->ForEachRecord([&](const Record&) { return ++seen > 0; });
    EXPECT_EQ(seen, 3000u);
    EXPECT_TRUE(t->FindKey(t->ReadRecord(1234)).has_value());
    t->Flush();
    t->Close();
  }
  EXPECT_TRUE(FolderState(dir) == before);
}

TEST(TableDurability, AStaleSecondaryIndexIsLeftAloneByReadersAndRebuiltAtTheFirstWrite) {
  fs::path dir = FreshTempDir("durable-stale");
  fs::path db = IndexedCustomers(dir, "Kokyaku", 500);
  const fs::path x = FamilyMemberPath(db, ".XG0");
  const std::string full = ReadFileBytes(x);
  fs::path emptyDir = FreshTempDir("durable-stale-empty");
  testing_support::WriteFileBytes(x, ReadFileBytes(FamilyMemberPath(IndexedCustomers(emptyDir, "Kokyaku", 0), ".XG0")));
  ASSERT_TRUE(CheckSecondaryIndexes(db).has_value());
  const auto stale = FolderState(dir);
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    auto indexes = SecondaryIndexSet::Attach(*t);
    t->Close();
  }
  EXPECT_TRUE(FolderState(dir) == stale);
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    auto indexes = SecondaryIndexSet::Attach(*t);
    t->Update(0, t->ReadRecord(0));
    t->Close();
  }
  EXPECT_EQ(CheckSecondaryIndexes(db), std::nullopt);
  EXPECT_EQ(ReadFileBytes(x).substr(0x800), full.substr(0x800));
}

TEST(TableDurability, UpdateKeepsTheRecordWhenTheNewOneCannotBeStored) {
  fs::path dir = FreshTempDir("durable-update");
  for (unsigned keyFields : {0u, 1u}) {
    SCOPED_TRACE(keyFields);
    fs::path db = DataFilePath(dir, "T" + std::to_string(keyFields));
    ParadoxTable::Create(db, CustomerTable(keyFields));
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    for (int i = 0; i < 300; ++i) t->Insert(Customer(*t, i * 2, "c" + std::to_string(i)));
    // A record of another structure cannot be stored: the old one stays where it was.
    TableDefinition other = CustomerTable(keyFields);
    other.fields[1] = FieldDef::Alpha("NAME", 31);
    auto otherSchema = std::make_shared<const TableSchema>(other);
    Record wrong(otherSchema);
    wrong.SetInteger(0, 1001);
    EXPECT_THROW(t->Update(150, wrong), EDatabaseError);
    EXPECT_EQ(t->RecordCount(), 300u);
    EXPECT_EQ(t->ReadRecord(150).GetAlpha(1), "c150");
    // The same key: written in place, the position kept.
    EXPECT_EQ(t->Update(150, Customer(*t, 300, "changed")), 150u);
    EXPECT_EQ(t->ReadRecord(150).GetAlpha(1), "changed");
    EXPECT_EQ(t->RecordCount(), 300u);
    if (keyFields > 0) {
      // A new key that another record has: refused, nothing moved.
      EXPECT_THROW(t->Update(150, Customer(*t, 2, "clash")), EDBEngineError);
      EXPECT_EQ(t->ReadRecord(150).GetAlpha(1), "changed");
      // A new key: the record moves to its place.
      EXPECT_EQ(t->Update(150, Customer(*t, 1, "moved")), 1u);
      EXPECT_EQ(t->ReadRecord(1).GetAlpha(1), "moved");
      EXPECT_FALSE(t->FindKey(Customer(*t, 300, "")).has_value());
    }
    t->Close();
    EXPECT_EQ(CheckTable(db), std::nullopt);
  }
}

TEST(TableDurability, DeleteTableRemovesNothingWhileAMemberIsHeld) {
  fs::path dir = FreshTempDir("durable-delete");
  fs::path db = IndexedCustomers(dir, "Kokyaku", 50);
  const auto before = FolderState(dir);
  ASSERT_GE(before.size(), 4u);
  {
    auto held = BinaryFile::Open(FamilyMemberPath(db, ".YG0"), FileAccess::kReadShared);
    try {
      DeleteTable(dir, "kokyaku.db");
      ADD_FAILURE() << "a held member did not stop the deletion";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kFileLocked) << e.what();
    }
    EXPECT_TRUE(FolderState(dir) == before);
  }
  DeleteTable(dir, "kokyaku.db");
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST(TableDurability, StagedRecordsComeOutInKeyOrderAcrossSpilledRuns) {
  fs::path dir = FreshTempDir("durable-staged");
  const fs::path work = dir / "T~ST.TMP";
  // 8-byte records, 3-byte keys, memory for 100 records: dozens of runs on the disk.
  StagedRecords staged(work, 8, 3, 800);
  std::mt19937 rng(11);
  std::set<std::string> keys;
  std::map<std::string, std::string> records;
  while (keys.size() < 5000) {
    std::string key(3, '\0');
    for (char& c : key) c = static_cast<char>(rng() % 40);
    if (!keys.insert(key).second) {
      EXPECT_TRUE(staged.ContainsKey(key));
      continue;
    }
    EXPECT_FALSE(staged.ContainsKey(key));
    std::string record = key + std::to_string(10000 + keys.size());
    staged.Add(record);
    records[key] = record;
  }
  EXPECT_TRUE(fs::exists(work));
  std::vector<std::string> out;
  staged.Drain([&](std::string_view r) { out.emplace_back(r); });
  std::vector<std::string> want;
  for (const auto& [k, r] : records) want.push_back(r);
  EXPECT_EQ(out, want);
  EXPECT_EQ(staged.Count(), 0u);
  EXPECT_FALSE(fs::exists(work));
}

TEST(TableDurability, StagedRecordsAreSeenByReadsAndRefuseDuplicates) {
  fs::path dir = FreshTempDir("durable-stage-table");
  fs::path db = DataFilePath(dir, "Kokyaku");
  ParadoxTable::Create(db, CustomerTable());
  auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
  for (int i = 0; i < 2000; ++i) Stage(*t, Customer(*t, (i * 7919) % 2000, "s"));
  EXPECT_EQ(t->StagedCount(), 2000u);
  EXPECT_THROW(Stage(*t, Customer(*t, 1234, "again")), EDBEngineError);
  t->Insert(Customer(*t, 5000, "placed"));  // places every staged record first
  EXPECT_EQ(t->StagedCount(), 0u);
  EXPECT_THROW(Stage(*t, Customer(*t, 1999, "again")), EDBEngineError);
  EXPECT_EQ(t->RecordCount(), 2001u);
  for (std::uint32_t i = 0; i < 2000; i += 111) EXPECT_EQ(t->ReadRecord(i).GetInteger(0), static_cast<std::int32_t>(i));
  t->Close();
  EXPECT_EQ(CheckTable(db), std::nullopt);
}

// Records stored in ascending key order into an empty table are placed as they come; one that
// comes out of order sends them back to be staged with the rest. Whatever the order, the table
// ends as the staged load leaves it: blocks filled in key order, numbered in chain order.
TEST(TableDurability, ALoadEndsTheSameWhateverOrderItsKeysArriveIn) {
  constexpr int kRecords = 3000;
  std::vector<int> ascending(kRecords);
  for (int i = 0; i < kRecords; ++i) ascending[i] = i;
  std::vector<int> lastOutOfOrder(ascending.begin() + 1, ascending.end());
  lastOutOfOrder.push_back(0);
  std::vector<int> halfThenBelow(ascending.begin() + kRecords / 2, ascending.end());
  halfThenBelow.insert(halfThenBelow.end(), ascending.begin(), ascending.begin() + kRecords / 2);
  std::vector<int> shuffled = ascending;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(5));
  const std::vector<std::pair<std::string, std::vector<int>>> orders = {
      {"Ascending", ascending}, {"LastOutOfOrder", lastOutOfOrder}, {"HalfThenBelow", halfThenBelow}, {"Shuffled", shuffled}};

  fs::path dir = FreshTempDir("durable-in-order");
  std::map<std::string, std::string> data, primary, byName;
  for (const auto& [name, order] : orders) {
    SCOPED_TRACE(name);
    const fs::path db = DataFilePath(dir, name);
    CreateNamedCustomers(db);
    {
      auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
      auto indexes = SecondaryIndexSet::Attach(*t);
      for (int id : order) Stage(*t, Customer(*t, id, "n" + std::to_string(id % 89)));
      // A key that is there already is refused in the middle of an ordered run too.
      EXPECT_THROW(Stage(*t, Customer(*t, order.back(), "again")), EDBEngineError);
      EXPECT_THROW(Stage(*t, Customer(*t, order.front(), "again")), EDBEngineError);
      t->Close();
    }
    EXPECT_EQ(CheckTable(db), std::nullopt);
    auto t = ParadoxTable::Open(db, OpenMode::kShared);
    const std::size_t perBlock = (t->Header().BlockBytes() - 6) / t->Header().recordSize;
    const auto entries = t->PrimaryIndexEntries();
    for (std::size_t b = 0; b < entries.size(); ++b) {
      EXPECT_EQ(entries[b].block, b + 1);
      if (b + 1 < entries.size()) EXPECT_EQ(entries[b].count, perBlock);
    }
    for (std::uint32_t i = 0; i < t->RecordCount(); i += 97) EXPECT_EQ(t->ReadRecord(i).GetInteger(0), static_cast<std::int32_t>(i));
    t->Close();
    // The name stored in the header is the table's own; everything else must match.
    std::string bytes = ReadFileBytes(db);
    data[name] = bytes.substr(0x800);
    primary[name] = ReadFileBytes(FamilyMemberPath(db, ".PX")).substr(0x800);
    byName[name] = ReadFileBytes(FamilyMemberPath(db, ".XG0")).substr(0x800);
  }
  for (const auto& [name, order] : orders) {
    EXPECT_TRUE(data[name] == data["Shuffled"]) << name;
    EXPECT_TRUE(primary[name] == primary["Shuffled"]) << name;
    EXPECT_TRUE(byName[name] == byName["Shuffled"]) << name;
  }
}

// A read settles where the records lie: a record out of order after it is placed among them
// (a split), and nothing read before moves back.
TEST(TableDurability, ARecordOutOfOrderAfterAReadIsPlacedAmongTheOthers) {
  fs::path dir = FreshTempDir("durable-in-order-read");
  const fs::path db = DataFilePath(dir, "Kokyaku");
  ParadoxTable::Create(db, CustomerTable());
  auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
  for (int id = 0; id < 1000; id += 2) Stage(*t, Customer(*t, id, "even"));
  ASSERT_EQ(t->FindKey(Customer(*t, 500, "")), 250u);
  for (int id = 1; id < 1000; id += 2) Stage(*t, Customer(*t, id, "odd"));
  EXPECT_EQ(t->FindKey(Customer(*t, 501, "")), 501u);
  t->Close();
  EXPECT_EQ(CheckTable(db), std::nullopt);
  auto r = ParadoxTable::Open(db, OpenMode::kShared);
  ASSERT_EQ(r->RecordCount(), 1000u);
  for (std::uint32_t i = 0; i < 1000; ++i) ASSERT_EQ(r->ReadRecord(i).GetInteger(0), static_cast<std::int32_t>(i));
}

// Stage() leaves the record as stored: autoincrement and blob pointers filled in, the blobs as
// given (not read back); a refused record is left as it was.
TEST(TableDurability, StageLeavesTheRecordAsStoredOrAsItWas) {
  fs::path dir = FreshTempDir("durable-stage-record");
  const fs::path db = DataFilePath(dir, "Notes");
  TableDefinition d;
  d.fields = {FieldDef::Long("ID"), FieldDef::Memo("NOTE", 10)};
  d.keyFieldCount = 1;
  ParadoxTable::Create(db, d);
  std::map<std::int32_t, std::string> notes;
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    // Ascending, then one below: the placed records with their memos go back to be staged.
    for (std::int32_t id : {10, 20, 30, 40, 5, 35}) {
      Record r = t->NewRecord();
      r.SetInteger(0, id);
      notes[id] = id % 20 == 0 ? "short" : std::string(300 + id, static_cast<char>('a' + id % 26));
      r.SetBlob(1, notes[id]);
      t->Stage(r);
      EXPECT_EQ(r.GetBlob(1), notes[id]);
      const std::string_view raw = r.Raw(1);
      EXPECT_EQ(GetU32(raw, 10 + 4), notes[id].size());
      EXPECT_EQ(GetU32(raw, 10) != 0, notes[id].size() > 10) << "a long memo goes to the .MB";
    }
    Record dup = t->NewRecord();
    dup.SetInteger(0, 30);
    dup.SetBlob(1, "not stored");
    const std::string before = dup.Bytes();
    EXPECT_THROW(t->Stage(dup), EDBEngineError);
    EXPECT_EQ(dup.Bytes(), before);
    EXPECT_EQ(dup.GetBlob(1), "not stored");
    t->Close();
  }
  EXPECT_EQ(CheckTable(db), std::nullopt);
  auto t = ParadoxTable::Open(db, OpenMode::kShared);
  ASSERT_EQ(t->RecordCount(), notes.size());
  std::uint32_t i = 0;
  for (const auto& [id, note] : notes) {
    const Record r = t->ReadRecord(i++);
    EXPECT_EQ(r.GetInteger(0), id);
    EXPECT_EQ(r.GetBlob(1), note);
  }
}

#ifndef _WIN32
// The writer is killed at many points of a long run of appends: each time the table is either
// whole (a flush had completed and nothing followed) or refused by its mark, never read as a
// sound table with half its changes; the other table of the folder never changes.
TEST(TableDurability, AWriterKilledWhileAppendingLeavesItsMark) {
  fs::path dir = FreshTempDir("durable-kill");
  fs::path other = IndexedCustomers(dir, "Other", 200);
  (void)other;
  int marked = 0, whole = 0;
  constexpr int kBatch = 500;
  for (int round = 0; round < 12; ++round) {
    fs::path db = DataFilePath(dir, "Kokyaku");
    CreateNamedCustomers(db);
    std::map<std::string, FileState> others;
    for (const auto& [name, state] : FolderState(dir))
      if (name.rfind("Other", 0) == 0) others[name] = state;

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
      auto indexes = SecondaryIndexSet::Attach(*t);
      std::mt19937 rng(static_cast<unsigned>(round));
      for (int i = 0; i < 40 * kBatch; ++i) {
        Stage(*t, Customer(*t, static_cast<std::int32_t>(rng() % 100000000), "k"));
        if ((i + 1) % kBatch == 0) t->Flush();
      }
      t->Close();
      _exit(0);
    }
    usleep(static_cast<useconds_t>(2000 + round * round * 1500));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    try {
      auto t = ParadoxTable::Open(db, OpenMode::kShared);
      EXPECT_EQ(t->RecordCount() % kBatch, 0u) << "round " << round;
      t->Close();
      EXPECT_EQ(CheckTable(db), std::nullopt) << "round " << round;
      ++whole;
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile);
      EXPECT_NE(std::string(e.what()).find("stopped while writing"), std::string::npos) << e.what();
      ASSERT_TRUE(CheckTable(db).has_value());
      ++marked;
    }
    std::map<std::string, FileState> othersAfter;
    for (const auto& [name, state] : FolderState(dir))
      if (name.rfind("Other", 0) == 0) othersAfter[name] = state;
    EXPECT_TRUE(othersAfter == others) << "round " << round;
    RemoveFamily(dir, "Kokyaku");
    fs::remove(dir / "Kokyaku~ST.TMP");
  }
  EXPECT_GT(marked, 0) << "no kill landed inside a write";
}

// A disk that fills up while a table is written, then has room again: the writer is told, and
// when it tries again the table ends either whole, with every record, or still marked, never
// declared sound over blocks that did not reach the disk.
TEST(TableDurability, AWriteThatFailsNeverLeavesATableThatLooksSoundButIsNot) {
  fs::path dir = FreshTempDir("durable-full");
  constexpr int kRecords = 5000;
  for (unsigned keyFields : {0u, 1u}) {
    SCOPED_TRACE(keyFields);
    fs::path db = DataFilePath(dir, "Full" + std::to_string(keyFields));
    ParadoxTable::Create(db, CustomerTable(keyFields));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Files may not grow past 64 KiB: writes beyond fail as on a full disk.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{64 * 1024, RLIM_INFINITY};
      setrlimit(RLIMIT_FSIZE, &limit);
      int told = 0;
      try {
        auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
        for (int i = 0; i < kRecords; ++i)
          keyFields ? (void)Stage(*t, Customer(*t, i, "full")) : (void)t->Insert(Customer(*t, i, "full"));
        try {
          t->Close();
        } catch (const EDBEngineError&) {
          ++told;
        }
        limit.rlim_cur = RLIM_INFINITY;  // room again
        setrlimit(RLIMIT_FSIZE, &limit);
        t->Close();
      } catch (const EDBEngineError&) {
        ++told;
      }
      _exit(told > 0 ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the writer was not told that its writes failed";
    std::unique_ptr<ParadoxTable> t;
    try {
      t = ParadoxTable::Open(db, OpenMode::kShared);
    } catch (const EDBEngineError& e) {
      EXPECT_NE(std::string(e.what()).find("stopped while writing"), std::string::npos) << e.what();
      continue;
    }
    EXPECT_EQ(t->RecordCount(), static_cast<std::uint32_t>(kRecords));
    std::set<std::int32_t> ids;
    for (std::uint32_t i = 0; i < t->RecordCount(); ++i) ids.insert(t->ReadRecord(i).GetInteger(0).value_or(-1));
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kRecords));
    t->Close();
    EXPECT_EQ(CheckTable(db), std::nullopt);
  }
}
#endif

// Block numbers are 16 bits: 65,536 records of nearly 1 KiB do not fit 1 KiB blocks.
TEST(TableBlockSize, ATableThatNeedsMoreBlocksThanTheConfiguredSizeAllowsGetsLargerOnes) {
  fs::path dir = FreshTempDir("blocksize");
  TableDefinition def;
  def.fields = {FieldDef::Long("ID"), FieldDef::Alpha("A", 250), FieldDef::Alpha("B", 250), FieldDef::Alpha("C", 250),
                FieldDef::Alpha("D", 250)};
  def.keyFieldCount = 1;
  def.blockSizeKiB = 1;
  const fs::path small = DataFilePath(dir, "Small");
  ParadoxTable::Create(small, def);
  EXPECT_EQ(ParadoxTable::Open(small, OpenMode::kShared)->Header().blockSizeKiB, 1);

  constexpr std::uint32_t kRecords = 65600;
  def.expectedRecords = kRecords;
  const fs::path big = DataFilePath(dir, "Big");
  ParadoxTable::Create(big, def);
  {
    auto t = ParadoxTable::Open(big, OpenMode::kExclusive);
    EXPECT_EQ(t->Header().blockSizeKiB, 4);
    Record r = t->NewRecord();
    for (std::uint32_t i = 0; i < kRecords; ++i) {
      r.SetInteger(0, static_cast<std::int32_t>((i * 40503u) % kRecords));
      r.SetAlpha(4, "record " + std::to_string(i));
      t->Stage(r);
    }
    t->Close();
  }
  auto t = ParadoxTable::Open(big, OpenMode::kShared);
  EXPECT_EQ(t->RecordCount(), kRecords);
  std::int32_t expect = 0;
  // Every key once, in order: stops at the first record out of place.
  t->ForEachRecord([&](const Record& rec) {
    if (rec.GetInteger(0) != expect) return false;
    ++expect;
    return true;
  });
  EXPECT_EQ(expect, static_cast<std::int32_t>(kRecords));
  t->Close();
  EXPECT_EQ(CheckTable(big), std::nullopt);
}
