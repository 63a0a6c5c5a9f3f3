// Restructuring a table in place: every value survives a widening, indexes are rebuilt, a change
// the data cannot take is refused, and a failure or a crash at any point leaves one whole table.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "paradox/BinaryFile.h"
#include "IndexTestSupport.h"
#include "paradox/EngineError.h"
#include "paradox/IndexRebuild.h"
#include "paradox/ParadoxTable.h"
#include "paradox/Restructure.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace paradox;
using testing_support::ReadFileBytes;

namespace {

// Every value of every record, alpha and blobs by content, the rest by their stored bytes.
std::vector<std::string> Dump(const fs::path& data) {
  auto t = ParadoxTable::Open(data, OpenMode::kShared);
  std::vector<std::string> out;
  t->ForEachRecord([&](const Record& r) {
    std::string line;
    for (std::size_t f = 0; f < r.Schema().FieldCount(); ++f) {
      const FieldType type = r.Schema().Field(f).type;
      if (type == FieldType::kAlpha) line += r.GetAlpha(f);
      else if (IsBlobType(type)) line += r.GetBlob(f);
      else line += std::string(r.Raw(f));
      line += '\x1F';
    }
    out.push_back(line);
    return true;
  });
  return out;
}

// Each file of the folder by name, size and content hash.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    // The lock of a running restructure cannot be read on Windows; it holds nothing.
    if (e.path().extension() == ".LCK") continue;
    std::string b = ReadFileBytes(e.path());
    files[e.path().filename().string()] = std::to_string(b.size()) + ":" + std::to_string(std::hash<std::string>()(b));
  }
  return files;
}

fs::path CopyCustomer(const fs::path& fixtures, const std::string& name) {
  fs::path dir = testing_support::FreshTempDir(name);
  const fs::path src = fixtures / "paradox" / "leonhad-paradoxdriver" / "db";
  for (const char* f : {"CUSTOMER.DB", "CUSTOMER.MB", "CUSTOMER.PX", "CUSTOMER.X06", "CUSTOMER.Y06"}) {
    fs::copy_file(src / f, dir / f);
    fs::permissions(dir / f, fs::perms::owner_read | fs::perms::owner_write);
  }
  return dir / "CUSTOMER.DB";
}

// CUSTOMER's fields with City (field 6, the one its secondary index covers) widened.
std::vector<FieldDef> WidenedCity(const fs::path& data, unsigned bytes) {
  auto t = ParadoxTable::Open(data, OpenMode::kShared);
  std::vector<FieldDef> fields = t->Schema().Fields();
  fields[5].size = static_cast<std::uint8_t>(bytes);
  return fields;
}

}  // namespace

TEST(Restructure, WideningAFieldOfARealTableKeepsEveryValueAndRebuildsItsIndexes) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path data = CopyCustomer(fixtures, "restructure_widen");
  const auto before = Dump(data);
  ASSERT_EQ(before.size(), 20u);
  const std::uint32_t counter = ParadoxTable::Open(data, OpenMode::kShared)->Header().autoIncrement;
  RestructureTable(data, WidenedCity(data, 40));

  auto t = ParadoxTable::Open(data, OpenMode::kShared);
  EXPECT_EQ(t->Header().autoIncrement, counter);
  EXPECT_EQ(t->Schema().Field(5).size, 40);
  EXPECT_EQ(t->Schema().Field(5).name, "City");
  t.reset();
  EXPECT_EQ(Dump(data), before);
  EXPECT_EQ(CheckTable(data), std::nullopt);
  EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
  // The index keeps its file and now carries the wider field.
  std::string x = ReadFileBytes(data.parent_path() / "CUSTOMER.X06");
  EXPECT_EQ(static_cast<unsigned char>(x[0x79]), 40);
  // Nothing of the work is left beside the table.
  for (const auto& e : fs::directory_iterator(data.parent_path()))
    EXPECT_EQ(e.path().stem().string(), "CUSTOMER") << e.path();
}

TEST(Restructure, AChangeTheDataCannotTakeIsRefusedAndChangesNothing) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path data = CopyCustomer(fixtures, "restructure_refuse");
  const auto files = Snapshot(data.parent_path());
  // "Scotts Valley" has 13 bytes.
  EXPECT_THROW(RestructureTable(data, WidenedCity(data, 12)), EDBEngineError);
  EXPECT_EQ(Snapshot(data.parent_path()), files);
  auto other = WidenedCity(data, 15);
  other[5] = FieldDef::Long("City");
  EXPECT_THROW(RestructureTable(data, other), EDBEngineError);
  other = WidenedCity(data, 15);
  other[5].name = "LastName";  // the name of field 3
  EXPECT_THROW(RestructureTable(data, other), EDBEngineError);
  EXPECT_EQ(Snapshot(data.parent_path()), files);
  // Narrowing that every value fits is carried out.
  RestructureTable(data, WidenedCity(data, 13));
  EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
}

TEST(Restructure, AFailureAtAnyPointLeavesTheOriginalTableByteForByte) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  // Count the points a restructure passes, then fail at each in turn.
  int points = 0;
  {
    fs::path data = CopyCustomer(fixtures, "restructure_count");
    RestructureTable(data, WidenedCity(data, 30), [&](RestructureStep, std::string_view) { ++points; });
  }
  ASSERT_GE(points, 10);
  for (int failAt = 0; failAt < points; ++failAt) {
    SCOPED_TRACE("failing at point " + std::to_string(failAt));
    fs::path data = CopyCustomer(fixtures, "restructure_fail");
    const auto files = Snapshot(data.parent_path());
    int seen = 0;
    RestructureStep failedStep{};
    auto probe = [&](RestructureStep step, std::string_view) {
      if (seen++ == failAt) {
        failedStep = step;
        throw EDBEngineError(EngineErrorCode::kIoError, "I/O error.");
      }
    };
    bool threw = false;
    try {
      RestructureTable(data, WidenedCity(data, 30), probe);
    } catch (const EDBEngineError&) {
      threw = true;
    }
    if (threw) {
      EXPECT_EQ(Snapshot(data.parent_path()), files);
    } else {
      // Once the new data file is in place the restructure stands: only the moving of the
      // data file (the last member) and the end remain after that point.
      EXPECT_GE(failAt, points - 2);
      EXPECT_TRUE(failedStep == RestructureStep::kCommitted || failedStep == RestructureStep::kNewMemberMoved);
      EXPECT_EQ(ParadoxTable::Open(data, OpenMode::kShared)->Schema().Field(5).size, 30);
      EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
    }
    EXPECT_EQ(threw, failAt < points - 2);
  }
}

TEST(Restructure, ARunningRestructureIsRefusedToSettlingAndToSecondRestructures) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path data = CopyCustomer(fixtures, "restructure_busy");
  int checked = 0;
  RestructureTable(data, WidenedCity(data, 30), [&](RestructureStep step, std::string_view) {
    if (step != RestructureStep::kJournalWritten && step != RestructureStep::kOldMemberMoved) return;
    const auto files = Snapshot(data.parent_path());
    try {
      SettleRestructure(data.parent_path(), "CUSTOMER.DB");
      ADD_FAILURE() << "settling went on beside a running restructure";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kFileLocked) << e.what();
    }
    EXPECT_EQ(Snapshot(data.parent_path()), files);
    try {
      RestructureTable(data, WidenedCity(data.parent_path() / "CUSTOMER~RT.DB", 30));
      ADD_FAILURE() << "a second restructure ran";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kFileLocked) << e.what();
    }
    ++checked;
  });
  EXPECT_GE(checked, 2);
  EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
}

#ifndef _WIN32
TEST(Restructure, ACrashAtAnyPointLeavesTheOldOrTheNewTableWhole) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  int points = 0;
  {
    fs::path data = CopyCustomer(fixtures, "restructure_crash_count");
    RestructureTable(data, WidenedCity(data, 30), [&](RestructureStep, std::string_view) { ++points; });
  }
  int oldKept = 0, newKept = 0;
  for (int crashAt = 0; crashAt < points; ++crashAt) {
    SCOPED_TRACE("crash at point " + std::to_string(crashAt));
    fs::path data = CopyCustomer(fixtures, "restructure_crash");
    const auto files = Snapshot(data.parent_path());
    const auto values = Dump(data);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int seen = 0;
      try {
        RestructureTable(data, WidenedCity(data, 30), [&](RestructureStep, std::string_view) {
          if (seen++ == crashAt) _exit(0);  // the power goes: no unwinding, no clean-up
        });
      } catch (...) {
      }
      _exit(3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const Settled settled = SettleRestructure(data.parent_path(), "CUSTOMER.DB");
    if (Snapshot(data.parent_path()) == files) {
      EXPECT_NE(settled, Settled::kCompleted);
      ++oldKept;
      continue;
    }
    EXPECT_EQ(settled, Settled::kCompleted);
    ++newKept;
    EXPECT_EQ(ParadoxTable::Open(data, OpenMode::kShared)->Schema().Field(5).size, 30);
    EXPECT_EQ(Dump(data), values);
    EXPECT_EQ(CheckTable(data), std::nullopt);
    EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
    for (const auto& e : fs::directory_iterator(data.parent_path()))
      EXPECT_EQ(e.path().stem().string(), "CUSTOMER") << e.path();
  }
  // Both outcomes occur: before the data file moves, and after.
  EXPECT_GT(oldKept, 0);
  EXPECT_GT(newKept, 0);
}
#endif

// A restructure's lock file that could not be deleted at its end (the system refused) is taken
// and removed by the next settling, so it does not stay in the shop's folder for good; a held
// one is a restructure that is running, which settling reports.
TEST(Restructure, ALockFileLeftBehindGoesAtTheNextSettlingAndAHeldOneIsBusy) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path data = CopyCustomer(fixtures, "restructure_stalelock");
  const fs::path dir = data.parent_path();
  const fs::path lock = dir / "CUSTOMER~RS.LCK";
  const auto before = Snapshot(dir);
  {
    // Held by a restructure that is running: recovery leaves it.
    auto held = BinaryFile::Open(lock, FileAccess::kCreateExclusive);
    try {
      SettleRestructure(dir, "CUSTOMER.DB");
      ADD_FAILURE() << "a held lock passed for nothing pending";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kFileLocked) << e.what();
    }
    EXPECT_TRUE(fs::exists(lock));
  }
  ASSERT_TRUE(fs::exists(lock));
  EXPECT_EQ(SettleRestructure(dir, "CUSTOMER.DB"), Settled::kNothing);
  EXPECT_FALSE(fs::exists(lock));
  EXPECT_EQ(Snapshot(dir), before);
}

// A new table that does not hold the old one's number of records never takes its place: here a
// record slipped into the copy is found before the journal is written.
TEST(Restructure, ACopyWithAnotherRecordCountIsRefusedAndTheOldTableKept) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path data = CopyCustomer(fixtures, "restructure_count_differs");
  const auto files = Snapshot(data.parent_path());
  bool added = false;
  try {
    RestructureTable(data, WidenedCity(data, 30), [&](RestructureStep step, std::string_view file) {
      if (step != RestructureStep::kRecordsCopied) return;
      auto t = ParadoxTable::Open(data.parent_path() / std::string(file), OpenMode::kExclusive);
      Record r = t->NewRecord();
      t->Insert(r);
      t->Close();
      added = true;
    });
    ADD_FAILURE() << "a copy of another record count was committed";
  } catch (const EDBEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("21 of 20"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(added);
  EXPECT_EQ(Snapshot(data.parent_path()), files);
}

// An old member that a committed restructure could not remove (its journal is gone) is not
// left to a later restructure, whose recovery it would mislead.
TEST(Restructure, OldMembersLeftByAnEarlierRestructureGo) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path data = CopyCustomer(fixtures, "restructure_leftover");
  const fs::path dir = data.parent_path();
  const auto before = Snapshot(dir);
  testing_support::WriteFileBytes(dir / "CUSTOMER~RO.X09", "an index of the table before");
  testing_support::WriteFileBytes(dir / "customer~ro.mb", "memo of the table before");
  RestructureTable(data, WidenedCity(data, 40));
  std::set<std::string> names, expected;
  for (const auto& [name, bytes] : Snapshot(dir)) names.insert(name);
  for (const auto& [name, bytes] : before) expected.insert(name);
  EXPECT_EQ(names, expected);
}

namespace {

std::shared_ptr<const TableSchema> OneField(const FieldDef& f) {
  TableDefinition d;
  d.fields = {f};
  return std::make_shared<const TableSchema>(d);
}

// Where a restructure skips looking at the values first, no value may be refused: every pair
// of field kinds that TakesEveryValue admits converts random values, the longest included.
TEST(Restructure, AFieldThatTakesEveryValueRefusesNone) {
  const std::vector<FieldDef> kinds = {
      FieldDef::Alpha("F", 5),  FieldDef::Alpha("F", 10), FieldDef::Alpha("F", 255),
      FieldDef::Of("F", FieldType::kBytes, 4), FieldDef::Of("F", FieldType::kBytes, 8),
      FieldDef::Short("F"),     FieldDef::Long("F"),      FieldDef::Date("F"),
      FieldDef::Of("F", FieldType::kNumber, 8), FieldDef::Of("F", FieldType::kBcd, 2), FieldDef::Of("F", FieldType::kBcd, 4),
      FieldDef::Memo("F", 10),  FieldDef::Memo("F", 40)};
  std::mt19937 rng(77);
  int admitted = 0;
  for (const FieldDef& a : kinds)
    for (const FieldDef& b : kinds) {
      if (!TakesEveryValue(a, b)) continue;
      ++admitted;
      const auto from = OneField(a), to = OneField(b);
      for (int i = 0; i < 50; ++i) {
        Record r(from), n(to);
        std::string raw(from->FieldSize(0), '\0');
        for (char& c : raw) c = static_cast<char>(1 + rng() % 255);  // no NUL: the longest value
        if (i % 5 == 0) raw.assign(raw.size(), '\0');
        r.SetRaw(0, raw);
        if (IsBlobType(a.type)) r.SetBlob(0, std::string(rng() % 100, 'b'));
        EXPECT_TRUE(ConvertField(r, 0, n, 0)) << static_cast<int>(a.type) << "/" << int(a.size) << " to "
                                              << static_cast<int>(b.type) << "/" << int(b.size);
      }
    }
  // Widening and keeping a size are admitted; narrowing and a change of type are not.
  EXPECT_TRUE(TakesEveryValue(FieldDef::Alpha("F", 5), FieldDef::Alpha("F", 10)));
  EXPECT_TRUE(TakesEveryValue(FieldDef::Long("F"), FieldDef::Long("F")));
  EXPECT_FALSE(TakesEveryValue(FieldDef::Alpha("F", 10), FieldDef::Alpha("F", 5)));
  EXPECT_FALSE(TakesEveryValue(FieldDef::Of("F", FieldType::kBcd, 4), FieldDef::Of("F", FieldType::kBcd, 2)));
  EXPECT_FALSE(TakesEveryValue(FieldDef::Short("F"), FieldDef::Long("F")));
  EXPECT_GT(admitted, static_cast<int>(kinds.size()));
}

// The copy reuses one new record for every record of the table: an empty value must leave the
// field empty whatever the record held before, and an empty value goes across where a
// non-empty one of the same field could not (another type, another decimal size).
TEST(Restructure, AnEmptyValueEmptiesTheFieldItIsCopiedInto) {
  struct Pair {
    FieldDef from, to;
    bool takesValues;
  };
  const std::vector<Pair> pairs = {
      {FieldDef::Alpha("F", 5), FieldDef::Alpha("F", 10), true},
      {FieldDef::Alpha("F", 10), FieldDef::Alpha("F", 3), false},
      {FieldDef::Of("F", FieldType::kBytes, 4), FieldDef::Of("F", FieldType::kBytes, 8), true},
      {FieldDef::Long("F"), FieldDef::Long("F"), true},
      {FieldDef::Short("F"), FieldDef::Long("F"), false},
      {FieldDef::Of("F", FieldType::kBcd, 4), FieldDef::Of("F", FieldType::kBcd, 2), false},
      {FieldDef::Memo("F", 10), FieldDef::Memo("F", 40), true}};
  for (const Pair& p : pairs) {
    SCOPED_TRACE(std::string(FieldTypeName(p.from.type)) + " to " + std::string(FieldTypeName(p.to.type)));
    const auto from = OneField(p.from), to = OneField(p.to);
    Record full(from), empty(from), n(to);
    full.SetRaw(0, std::string(from->FieldSize(0), 'x'));
    if (IsBlobType(p.from.type)) full.SetBlob(0, std::string(30, 'm'));
    // What the reused record holds from the record before.
    n.SetRaw(0, std::string(to->FieldSize(0), 'y'));
    if (IsBlobType(p.to.type)) n.SetBlob(0, std::string(25, 'z'));

    EXPECT_EQ(ConvertField(full, 0, n, 0), p.takesValues);
    if (p.takesValues && IsBlobType(p.to.type)) {
      EXPECT_EQ(n.GetBlob(0), std::string(30, 'm'));
    }
    ASSERT_TRUE(ConvertField(empty, 0, n, 0));
    EXPECT_EQ(n.Raw(0), std::string(to->FieldSize(0), '\0'));
    EXPECT_TRUE(n.IsNull(0));
  }
}

// The whole-record copy gives the bytes and blobs that converting field by field gives, with
// one record reused throughout as the restructure reuses it: values with bytes after their
// first NUL, empty values, every kind that keeps its type, alpha fields that narrow (values
// that fit) and a decimal field that changes its size.
TEST(Restructure, ARecordConvertedWholeIsWhatConvertingEachFieldGives) {
  struct Pair {
    FieldDef from, to;
  };
  const std::vector<Pair> pairs = {
      {FieldDef::Alpha("A", 5), FieldDef::Alpha("A", 10)},   {FieldDef::Alpha("B", 12), FieldDef::Alpha("B", 12)},
      {FieldDef::Alpha("C", 20), FieldDef::Alpha("C", 8)},   {FieldDef::Of("D", FieldType::kBytes, 4), FieldDef::Of("D", FieldType::kBytes, 8)},
      {FieldDef::Short("E"), FieldDef::Short("E")},          {FieldDef::Long("F"), FieldDef::Long("F")},
      {FieldDef::Date("G"), FieldDef::Date("G")},            {FieldDef::Of("H", FieldType::kNumber, 8), FieldDef::Of("H", FieldType::kNumber, 8)},
      {FieldDef::Of("I", FieldType::kBcd, 4), FieldDef::Of("I", FieldType::kBcd, 2)}, {FieldDef::Memo("J", 10), FieldDef::Memo("J", 40)},
      {FieldDef::Of("K", FieldType::kLogical, 1), FieldDef::Of("K", FieldType::kLogical, 1)}};
  TableDefinition a, b;
  for (const Pair& p : pairs) {
    a.fields.push_back(p.from);
    b.fields.push_back(p.to);
  }
  const auto from = std::make_shared<const TableSchema>(a), to = std::make_shared<const TableSchema>(b);
  RecordConverter converter(*from, *to);
  Record whole(to), byField(to);
  std::mt19937 rng(31);
  for (int i = 0; i < 400; ++i) {
    SCOPED_TRACE(i);
    Record r(from);
    for (std::size_t f = 0; f < pairs.size(); ++f) {
      std::string raw(from->FieldSize(f), '\0');
      const int shape = static_cast<int>(rng() % 4);  // empty, full, NUL inside, NUL inside and bytes after it
      for (std::size_t k = 0; k < raw.size() && shape != 0; ++k) raw[k] = static_cast<char>(1 + rng() % 255);
      if (shape >= 2 && !raw.empty()) raw[rng() % raw.size()] = '\0';
      if (shape == 2) raw.replace(raw.find('\0'), std::string::npos, raw.size() - raw.find('\0'), '\0');
      // The narrowing alpha field holds only values that fit, as a restructure has checked.
      if (pairs[f].from.type == FieldType::kAlpha && to->FieldSize(f) < raw.size())
        std::fill(raw.begin() + static_cast<std::ptrdiff_t>(to->FieldSize(f)), raw.end(), '\0');
      r.SetRaw(f, raw);
      if (IsBlobType(pairs[f].from.type) && shape != 0) r.SetBlob(f, std::string(rng() % 60, static_cast<char>('a' + i % 26)));
    }
    converter.Convert(r, whole);
    for (std::size_t f = 0; f < pairs.size(); ++f) ConvertField(r, f, byField, f);
    ASSERT_EQ(whole.Bytes(), byField.Bytes());
    EXPECT_EQ(whole.GetBlob(9), byField.GetBlob(9));
    EXPECT_EQ(whole.IsNull(9), byField.IsNull(9));
  }
}

// Tables of many blocks: the restructure's index files, built from the records as it copied
// them, hold block for block what a rebuild from the finished table writes, for keyed tables
// with several indexes (case-insensitive ones over Shift-JIS text included) and for an
// unkeyed table, whose entries carry record numbers and offsets.
TEST(Restructure, IndexesOfAManyBlockTableAreWhatARebuildWrites) {
  std::vector<index_test::TableSpec> layouts = index_test::MigrationTables();
  index_test::TableSpec unkeyed = layouts[2];
  unkeyed.name = "Unkeyed";
  unkeyed.keyFields = 0;
  layouts.push_back(unkeyed);
  std::mt19937 rng(4242);
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.name);
    const fs::path dir = testing_support::FreshTempDir("restructure_many_" + TableBaseName(layout.name));
    const fs::path data = index_test::CreateTable(dir, layout);
    {
      auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
      auto indexes = SecondaryIndexSet::Attach(*t);
      ASSERT_NE(indexes, nullptr);
      std::set<std::string> keys;
      if (layout.keyFields > 0) {
        index_test::Fill(*t, rng, 3000, keys);
      } else {
        for (int i = 0; i < 3000; ++i) {
          Record r = t->NewRecord();
          for (std::size_t f = 0; f < r.Schema().FieldCount(); ++f)
            if (r.Schema().Field(f).type == FieldType::kAlpha && rng() % 4 != 0)
              r.SetAlpha(f, index_test::Text(rng, r.Schema().FieldSize(f)));
          t->Insert(r);
        }
      }
      t->Close();
    }
    // Every alpha field widened, those the indexes cover among them.
    std::vector<FieldDef> fields = ParadoxTable::Open(data, OpenMode::kShared)->Schema().Fields();
    for (FieldDef& f : fields)
      if (f.type == FieldType::kAlpha) f.size = static_cast<std::uint8_t>(std::min(255, f.size + 7));
    const auto before = Dump(data);
    RestructureTable(data, fields);

    EXPECT_EQ(Dump(data).size(), before.size());
    EXPECT_EQ(CheckTable(data), std::nullopt);
    EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
    const fs::path rebuilt = dir / "rebuilt";
    fs::create_directories(rebuilt);
    int compared = 0;
    for (const fs::path& file : RebuildIndexes(data, rebuilt)) {
      if (file.extension() == ".PX") continue;
      const std::string ours = ReadFileBytes(dir / file.filename()), theirs = ReadFileBytes(file);
      ASSERT_GT(ours.size(), 0x800u) << file.filename();
      // The headers carry stamps, counters and times; the blocks after them must agree.
      EXPECT_EQ(ours.substr(0x800), theirs.substr(0x800)) << file.filename();
      ++compared;
    }
    EXPECT_EQ(compared, 2 * static_cast<int>(layout.indexes.size()));
  }
}

}  // namespace
