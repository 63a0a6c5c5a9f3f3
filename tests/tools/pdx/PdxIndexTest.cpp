// pdx reindex and the secondary-index part of pdx check, run as the tool runs them.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "engine/Table.h"
#include "paradox/EngineError.h"
#include "paradox/IndexTestSupport.h"
#include "paradox/ParadoxFormat.h"
#include "support/TestPaths.h"
#include "tools/pdx/PdxCommands.h"

namespace fs = std::filesystem;
using namespace index_test;
using testing_support::ReadFileBytes;

namespace {

struct Result {
  int code;
  std::string out, err;
};

Result Pdx(std::vector<std::string> args) {
  std::ostringstream out, err;
  int code = pdx::Run(args, out, err);
  return {code, out.str(), err.str()};
}

std::string U8(const fs::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

fs::path CopyTable(const fs::path& from, const std::string& base, const std::string& name) {
  fs::path dir = testing_support::FreshTempDir(name);
  for (const auto& e : fs::directory_iterator(from)) {
    if (e.path().stem().string() != base) continue;
    fs::copy_file(e.path(), dir / e.path().filename());
    fs::permissions(dir / e.path().filename(), fs::perms::owner_read | fs::perms::owner_write);
  }
  return dir;
}

}  // namespace

TEST(PdxReindex, WritesTheEnginesIndexFilesIntoTheOutputFolder) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  const fs::path db = fixtures / "paradox" / "leonhad-paradoxdriver" / "db";
  for (const char* table : {"CUSTOMER", "AREACODES"}) {
    SCOPED_TRACE(table);
    fs::path out = testing_support::FreshTempDir(std::string("pdx_reindex_") + table) / "new";
    Result r = Pdx({"reindex", U8(db / table), "--out", U8(out)});
    ASSERT_EQ(r.code, 0) << r.err;
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(out)) {
      ++files;
      EXPECT_NE(r.out.find(e.path().filename().string()), std::string::npos);
      const std::string mine = ReadFileBytes(e.path()), real = ReadFileBytes(db / e.path().filename());
      const bool x = e.path().extension().string()[1] == 'X';
      auto mask = x ? XVolatile(U16(real, 0x21)) : BlockIndexVolatile(U16(real, 0x21));
      EXPECT_TRUE(Differences(mine, real, mask).empty()) << e.path();
    }
    EXPECT_EQ(files, 3u);  // .PX, .X.., .Y..
  }
}

TEST(PdxReindex, RefusesBadArgumentsAndItsOwnTablesFolder) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path dir = CopyTable(fixtures / "paradox" / "leonhad-paradoxdriver" / "db", "CUSTOMER", "pdx_reindex_args");
  EXPECT_EQ(Pdx({"reindex", U8(dir / "CUSTOMER")}).code, 2);
  EXPECT_EQ(Pdx({"reindex", U8(dir / "CUSTOMER"), "--to", U8(dir / "x")}).code, 2);
  Result same = Pdx({"reindex", U8(dir / "CUSTOMER"), "--out", U8(dir)});
  EXPECT_EQ(same.code, 2);
  EXPECT_NE(same.err.find("table's folder"), std::string::npos);
  Result missing = Pdx({"reindex", U8(dir / "NOSUCH"), "--out", U8(dir / "x")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos);
}

TEST(PdxCheck, FindsFaultsOfSecondaryIndexes) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  const fs::path src = fixtures / "paradox" / "leonhad-paradoxdriver" / "db";
  fs::path dir = CopyTable(src, "CUSTOMER", "pdx_check_index");
  Result ok = Pdx({"check", U8(dir / "CUSTOMER.DB")});
  EXPECT_EQ(ok.code, 0) << ok.err;

  // Two entries of the .X swapped: out of key order.
  std::string x = ReadFileBytes(src / "CUSTOMER.X06");
  const std::size_t rs = U16(x, 0);
  std::string swapped = x;
  swapped.replace(0x806, rs, x.substr(0x806 + 3 * rs, rs));
  swapped.replace(0x806 + 3 * rs, rs, x.substr(0x806, rs));
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", swapped);
  Result bad = Pdx({"check", U8(dir / "CUSTOMER.DB")});
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.err.find("X06"), std::string::npos) << bad.err;

  // A wrong block number: the entry does not match its record.
  std::string moved = x;
  moved[0x806 + rs - 1] = static_cast<char>(moved[0x806 + rs - 1] + 1);
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", moved);
  EXPECT_EQ(Pdx({"check", U8(dir / "CUSTOMER.DB")}).code, 1);

  // The upper level missing.
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", x);
  fs::remove(dir / "CUSTOMER.Y06");
  Result noY = Pdx({"check", U8(dir / "CUSTOMER.DB")});
  EXPECT_EQ(noY.code, 1);
  EXPECT_NE(noY.err.find("Y06"), std::string::npos) << noY.err;
}

TEST(PdxCheck, PassesTablesOfTheMigrationFilledWithThousandsOfRecords) {
  std::mt19937 rng(26);
  for (const auto& layout : MigrationTables()) {
    SCOPED_TRACE(layout.name);
    fs::path dir = testing_support::FreshTempDir("pdx_check_" + paradox::TableBaseName(layout.name));
    fs::path data = CreateTable(dir, layout);
    std::set<std::string> keys;
    {
      auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
      auto indexes = paradox::SecondaryIndexSet::Attach(*t);
      Fill(*t, rng, 800, keys);
      t->Close();
    }
    Result r = Pdx({"check", U8(data)});
    EXPECT_EQ(r.code, 0) << r.err;
    // Each index rebuilt from the records is what the engine kept up to date.
    fs::path out = dir / "rebuilt";
    ASSERT_EQ(Pdx({"reindex", U8(data), "--out", U8(out)}).code, 0);
    for (std::size_t i = 0; i < layout.indexes.size(); ++i) {
      const std::string ext = ".XG" + std::to_string(i);
      const std::string kept = ReadFileBytes(paradox::FamilyMemberPath(data, ext));
      const std::string rebuilt = ReadFileBytes(out / paradox::FamilyMemberPath(data, ext).filename());
      EXPECT_EQ(kept.substr(0x800), rebuilt.substr(0x800)) << ext;
    }
  }
}

// --- Index files kept through a restructure -------------------------------------------------

namespace {

using paradox::FieldType;
using paradox::SecondaryIndexFile;

// A table's former and present structures; present field i holds former field from[i]'s
// values (-1: a field added since, left blank).
struct Restructure {
  TableSpec before, after;
  std::vector<int> from;
};

// The customer table whose key field was renamed (Cust# to CustNo) and whose LAST_NAME is now
// spelled Last_Name; indexes: composite, single-field, case-insensitive.
Restructure RenamedKey() {
  std::vector<IndexSpec> indexes = {{"FullName", "LAST_NAME;First_Name", false}, {"", "City", false}, {"CityCI", "City", true}};
  Restructure r{{"CUST", {FieldDef::Long("Cust#"), FieldDef::Alpha("LAST_NAME", 20), FieldDef::Alpha("First_Name", 15), FieldDef::Alpha("City", 20)}, 1, indexes},
                {"CUST", {FieldDef::Long("CustNo"), FieldDef::Alpha("Last_Name", 20), FieldDef::Alpha("First_Name", 15), FieldDef::Alpha("City", 20)}, 1, indexes},
                {0, 1, 2, 3}};
  r.after.indexes[0].fields = "Last_Name;First_Name";
  return r;
}

// The event table with VenueNo inserted before the indexed fields: the stored numbers of
// Event_Date and Event_Time (3, 4) now name Event_Name and Event_Date.
Restructure InsertedField() {
  const FieldDef autoNo = FieldDef::Of("EventNo", FieldType::kAutoIncrement, 4);
  const FieldDef time = FieldDef::Of("Event_Time", FieldType::kTime, 4);
  std::vector<IndexSpec> indexes = {{"DateTime", "Event_Date;Event_Time", false}, {"", "Event_Name", false}, {"NameCI", "Event_Name", true}};
  return {{"EVENTS", {autoNo, FieldDef::Alpha("Event_Name", 30), FieldDef::Date("Event_Date"), time}, 1, indexes},
          {"EVENTS", {autoNo, FieldDef::Long("VenueNo"), FieldDef::Alpha("Event_Name", 30), FieldDef::Date("Event_Date"), time}, 1, indexes},
          {0, -1, 1, 2, 3}};
}

void FillField(paradox::Record& r, std::size_t f, int n) {
  static const char* const kWords[] = {"alpha", "Bravo", "CHARLIE", "delta", "Echo", "foxtrot"};
  switch (r.Schema().Field(f).type) {
    case FieldType::kAlpha: r.SetAlpha(f, std::string(kWords[n * 7 % 6]) + " " + kWords[n % 5]); break;
    case FieldType::kDate: r.SetDate(f, 730000 + n * 37 % 23); break;
    // Never midnight: the Java reader takes a time of 0 for a blank.
    case FieldType::kTime: r.SetRaw(f, paradox::EncodeLong((n * 7919 % 86399 + 1) * 1000)); break;
    default: r.SetInteger(f, n + 1); break;
  }
}

// Our engine makes the table in both structures with the same records and indexes; the present
// one's .X files then take the former one's headers and file names: index files kept through a
// restructure, as the real engine leaves them (the entries do not depend on names or numbers).
fs::path MakeRestructured(const Restructure& r, const std::string& name, int records) {
  const fs::path before = CreateTable(testing_support::FreshTempDir(name + "_before"), r.before);
  const fs::path after = CreateTable(testing_support::FreshTempDir(name), r.after);
  {
    auto b = ParadoxTable::Open(before, OpenMode::kExclusive);
    auto bIndexes = paradox::SecondaryIndexSet::Attach(*b);
    auto a = ParadoxTable::Open(after, OpenMode::kExclusive);
    auto aIndexes = paradox::SecondaryIndexSet::Attach(*a);
    for (int n = 0; n < records; ++n) {
      paradox::Record rb = b->NewRecord(), ra = a->NewRecord();
      for (std::size_t f = 0; f < r.before.fields.size(); ++f) FillField(rb, f, n);
      for (std::size_t f = 0; f < r.after.fields.size(); ++f)
        if (r.from[f] >= 0) ra.SetRaw(f, rb.Raw(static_cast<std::size_t>(r.from[f])));
      b->Insert(rb);
      a->Insert(ra);
    }
    b->Close();
    a->Close();
  }
  auto b = ParadoxTable::Open(before, OpenMode::kShared);
  auto a = ParadoxTable::Open(after, OpenMode::kShared);
  const std::vector<SecondaryIndexFile> old = paradox::ReadSecondaryIndexes(*b), now = paradox::ReadSecondaryIndexes(*a);
  EXPECT_EQ(old.size(), now.size());
  for (std::size_t i = 0; i < old.size() && i < now.size(); ++i) {
    const std::string x = old[i].header + ReadFileBytes(now[i].xPath).substr(0x800), y = ReadFileBytes(now[i].yPath);
    fs::remove(now[i].xPath);
    fs::remove(now[i].yPath);
    testing_support::WriteFileBytes(after.parent_path() / old[i].xPath.filename(), x);
    testing_support::WriteFileBytes(after.parent_path() / old[i].yPath.filename(), y);
  }
  return after;
}

// The index definitions as the present structure names them, in the order of the files.
std::vector<std::vector<std::size_t>> WantedFields(const Restructure& r, const paradox::TableSchema& s) {
  std::vector<std::vector<std::size_t>> out;
  for (const auto& i : r.after.indexes) out.push_back(ResolveIndexFields(s, i.fields));
  return {out[1], out[0], out[2]};  // the .Xnn file sorts before XG0 and XG1
}

// The table as the Java reader prints it, or std::nullopt without Java.
std::optional<std::string> JavaDump(const fs::path& data) {
  const fs::path jar = testing_support::SourceDir().parent_path() / "shared" / "tools" / "paradox-jdbc" / "paradoxdriver-e006ae3.jar";
  if (!fs::exists(jar) || testing_support::RunCommand("java -version 2>/dev/null").status != 0) return std::nullopt;
  const auto r = testing_support::RunCommand("java -jar '" + jar.string() + "' '" + data.parent_path().string() + "' " +
                                             data.stem().string() + " 2>&1");
  return r.output;
}

}  // namespace

// The two restructured tables are read, checked, rebuilt and written through the table layer;
// every index file written again records the present names and numbers.
TEST(RestructuredIndex, KeptIndexFilesAreTiedToThePresentFieldsAndMaintained) {
  bool comparedWithJava = true;
  for (const auto& [what, r] : {std::pair{"renamed", RenamedKey()}, std::pair{"inserted", InsertedField()}}) {
    SCOPED_TRACE(what);
    const fs::path data = MakeRestructured(r, std::string("restructured_") + what, 400);
    {
      auto t = ParadoxTable::Open(data, OpenMode::kShared);
      std::vector<std::vector<std::size_t>> got;
      for (const auto& f : paradox::ReadSecondaryIndexes(*t)) got.push_back(f.def.fields);
      EXPECT_EQ(got, WantedFields(r, t->Schema()));
    }
    const Result info = Pdx({"info", U8(data)});
    ASSERT_EQ(info.code, 0) << info.err;
    if (std::string(what) == "renamed") {
      EXPECT_NE(info.out.find("\"FullName\" on Last_Name (field 2) [stored as LAST_NAME]; First_Name (field 3), carrying key CustNo [stored as Cust#]"),
                std::string::npos) << info.out;
      EXPECT_NE(info.out.find("CUST.X04 on City (field 4), carrying key CustNo [stored as Cust#]\n"), std::string::npos) << info.out;
    } else {
      EXPECT_NE(info.out.find("\"DateTime\" on Event_Date (field 4) [stored as field 3]; Event_Time (field 5) [stored as field 4], carrying key EventNo\n"),
                std::string::npos) << info.out;
      EXPECT_NE(info.out.find("EVENTS.X02 on Event_Name (field 3) [stored as field 2]"), std::string::npos) << info.out;
    }
    Result check = Pdx({"check", U8(data)});
    EXPECT_EQ(check.code, 0) << check.err;

    // Rebuilt: the entries are those kept; the headers record the present structure.
    const fs::path out = data.parent_path() / "rebuilt";
    ASSERT_EQ(Pdx({"reindex", U8(data), "--out", U8(out)}).code, 0);
    {
      auto t = ParadoxTable::Open(data, OpenMode::kShared);
      for (const auto& kept : paradox::ReadSecondaryIndexes(*t)) {
        const fs::path rebuilt = out / kept.xPath.filename();
        EXPECT_EQ(ReadFileBytes(rebuilt).substr(0x800), ReadFileBytes(kept.xPath).substr(0x800)) << rebuilt;
        const SecondaryIndexFile f = paradox::ReadSecondaryIndexFile(rebuilt, t->Schema());
        const paradox::IndexRecordLayout l = paradox::MakeIndexRecordLayout(t->Schema(), f.def);
        for (std::size_t i = 0; i < l.fields.size(); ++i) {
          EXPECT_EQ(f.storedFields[i].name, l.fields[i].name) << rebuilt;
          EXPECT_EQ(f.storedFields[i].number, l.fieldNumbers[i]) << rebuilt;
        }
      }
    }

    // Written through the table layer: an edit, an insert and a removal.
    {
      TTable t;
      t.SetDatabaseName(U8(data.parent_path()));
      t.SetTableName(r.after.name);
      t.SetTableType(ttParadox);
      t.SetExclusive(true);
      t.Open();
      t.First();
      t.Next();
      t.Edit();
      t.Fields(2).SetAsString("zulu");
      t.Post();
      t.Append();
      t.Fields(0).SetAsInteger(5000);
      t.Fields(2).SetAsString("Yankee");
      t.Post();
      t.Handle()->Delete(7);
      t.Close();
    }
    check = Pdx({"check", U8(data)});
    EXPECT_EQ(check.code, 0) << check.err;
    const Result after = Pdx({"info", U8(data)});
    EXPECT_EQ(after.out.find("stored as"), std::string::npos) << after.out;
    {
      auto t = ParadoxTable::Open(data, OpenMode::kShared);
      EXPECT_EQ(t->RecordCount(), 400u);
      for (const auto& f : paradox::ReadSecondaryIndexes(*t)) EXPECT_EQ(f.recordCount, 400u) << f.extension;
    }

    // The Java reader reads what we read.
    const Result dump = Pdx({"dump", U8(data)});
    ASSERT_EQ(dump.code, 0) << dump.err;
    const std::optional<std::string> java = JavaDump(data);
    if (!java) {
      comparedWithJava = false;
      continue;
    }
    std::string ours = dump.out;
    for (std::size_t at; (at = ours.find('\r')) != std::string::npos;) ours.erase(at, 1);
    EXPECT_EQ(*java, ours + "# rows 400\n");
  }
  if (!comparedWithJava) GTEST_SKIP() << "Java or ../shared/tools/paradox-jdbc is absent: not compared with the Java reader";
}

// An index field that no field of the table answers to by name or number, or whose type differs
// from the field it ties to, is still the one corruption error, at the offset of the fault.
TEST(RestructuredIndex, IndexFieldsThatTieToNoFieldAreCorruption) {
  const fs::path data = MakeRestructured(InsertedField(), "restructured_corrupt", 50);
  const fs::path xg0 = paradox::FamilyMemberPath(data, ".XG0");
  const std::string good = ReadFileBytes(xg0);
  const std::size_t nameAt = good.find(std::string("Event_Date\0", 11));
  ASSERT_NE(nameAt, std::string::npos);
  const std::size_t numbersAt = paradox::format::kVariablePartShort + U16(good, 0x66);
  ASSERT_EQ(U16(good, numbersAt), 3);
  struct Case {
    const char* what;
    std::string name;
    std::uint16_t number;
    char type;
    std::size_t offset;
  };
  const Case cases[] = {
      {"not in the table", "Event_Gone", 99, 0x02, numbersAt},           // a number outside the table
      {"not in the table", "Event_Date", 0, 0x02, numbersAt},            // even beside a name that ties
      {"does not match the table", "Event_Gone", 3, 0x02, 0x78},         // field 3 is Event_Name, alpha
      {"does not match the table", "event_date", 3, 0x01, 0x78},         // Event_Date, but not a date
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " " + std::to_string(c.number));
    std::string x = good;
    x.replace(nameAt, c.name.size(), c.name);
    x[numbersAt] = static_cast<char>(c.number & 0xFF);
    x[numbersAt + 1] = static_cast<char>(c.number >> 8);
    x[0x78] = c.type;
    testing_support::WriteFileBytes(xg0, x);
    auto t = ParadoxTable::Open(data, OpenMode::kShared);
    try {
      paradox::ReadSecondaryIndexes(*t);
      ADD_FAILURE() << "read";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.what), std::string::npos) << e.what();
      EXPECT_EQ(e.Offset(), std::optional<std::uint64_t>(c.offset)) << e.what();
    }
    const Result check = Pdx({"check", U8(data)});
    EXPECT_EQ(check.code, 1);
    EXPECT_NE(check.err.find(c.what), std::string::npos) << check.err;
  }
}
