// Reading the real-engine samples: structure and values checked by hand against hex dumps,
// and every value compared with pxlib's reading of the same file (native build).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;

namespace {

std::unique_ptr<ParadoxTable> OpenFixture(const fs::path& root, const std::string& rel) {
  return ParadoxTable::Open(root / "paradox" / rel, OpenMode::kShared);
}

std::int32_t Day(int y, unsigned m, unsigned d) { return DayNumberFromCivil({y, m, d}); }

std::vector<fs::path> AllFixtureTables(const fs::path& root) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(root / "paradox"))
    if (e.is_regular_file() && ClassifyFamilyExtension(e.path().extension().string()) == FamilyMember::kData)
      out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(FixtureRead, CustomerStructureAndValues) {
  NORVEX_REQUIRE_FIXTURES(root);
  auto t = OpenFixture(root, "leonhad-paradoxdriver/db/CUSTOMER.DB");
  const TableSchema& s = t->Schema();
  EXPECT_EQ(t->Header().level, 0x0C);
  EXPECT_EQ(t->Header().recordSize, 394);
  EXPECT_EQ(t->RecordCount(), 20u);
  EXPECT_EQ(t->Header().autoIncrement, 44u);
  EXPECT_EQ(t->StoredName(), "resttemp.DB");
  EXPECT_EQ(t->Driver().codePage, 1252);
  EXPECT_EQ(t->Driver().sortOrderName, "ANSII850");
  ASSERT_EQ(s.FieldCount(), 10u);
  EXPECT_EQ(s.KeyFieldCount(), 1u);
  EXPECT_EQ(s.Field(0).name, "CustNo");
  EXPECT_EQ(s.Field(0).type, FieldType::kAutoIncrement);
  EXPECT_EQ(s.Field(6).name, "State/Prov");
  EXPECT_EQ(s.Field(8).type, FieldType::kMemo);
  EXPECT_EQ(s.FieldSize(8), 110u);
  EXPECT_EQ(s.Field(9).type, FieldType::kDate);

  Record r = t->ReadRecord(0);
  EXPECT_EQ(r.GetInteger(0), 1);
  EXPECT_EQ(r.GetAlpha(1), "Luke");
  EXPECT_EQ(r.GetAlpha(2), "Justice");
  EXPECT_EQ(r.GetAlpha(5), "Santa Cruz");
  EXPECT_EQ(r.GetBlob(8), "Small comment (less 100 symbols)");
  EXPECT_EQ(r.GetDate(9), Day(1996, 2, 2));

  // Record 2's comment is longer than its 100-byte leader: it comes whole from the .MB.
  Record r2 = t->ReadRecord(1);
  std::string memo = r2.GetBlob(8);
  EXPECT_GT(memo.size(), 100u);
  EXPECT_EQ(memo.substr(0, 30), "\tThe length of the leader may ");
  EXPECT_EQ(memo.substr(memo.size() - 33), "described later in this document.");
  EXPECT_EQ(r2.GetDate(9), Day(1996, 2, 16));

  // Chain order is key order.
  std::int32_t last = 0;
  t->ForEachRecord([&](const Record& rec) {
    EXPECT_GT(*rec.GetInteger(0), last);
    last = *rec.GetInteger(0);
    return true;
  });
  EXPECT_EQ(t->SecondaryIndexFiles().size(), 2u);  // .X06 and .Y06
}

TEST(FixtureRead, EveryTypeInTypSammlung) {
  NORVEX_REQUIRE_FIXTURES(root);
  auto t = OpenFixture(root, "rparadox/TypSammlung.DB");
  const TableSchema& s = t->Schema();
  ASSERT_EQ(s.FieldCount(), 14u);
  EXPECT_EQ(s.KeyFieldCount(), 2u);
  EXPECT_EQ(t->RecordCount(), 5u);
  EXPECT_EQ(t->Header().autoIncrement, 5u);
  std::map<std::string, Record> byName;
  t->ForEachRecord([&](const Record& r) {
    byName.emplace(r.GetAlpha(0), r);
    return true;
  });
  ASSERT_EQ(byName.size(), 5u);
  const Record& a = byName.at("AAA Irgendein Text");
  EXPECT_EQ(a.GetNumber(1), 40.0);
  EXPECT_EQ(a.GetNumber(2), 40.0);
  EXPECT_EQ(a.GetInteger(3), 40);
  EXPECT_EQ(a.GetInteger(4), 40);
  EXPECT_EQ(a.GetBcd(5), "40.000000");
  EXPECT_EQ(a.GetDate(6), Day(1970, 1, 1));
  EXPECT_EQ(a.GetTime(7), 0);
  EXPECT_EQ(a.GetTimestamp(8), 62135722800000.0);  // 1970-01-01 11:00 in ms from day 1
  EXPECT_TRUE(a.IsNull(9));
  EXPECT_FALSE(a.GetLogical(10).has_value());
  EXPECT_EQ(a.GetInteger(11), 1);

  const Record& z = byName.at("Zweite Zeile");
  EXPECT_EQ(z.GetNumber(1), -40.0);
  EXPECT_EQ(z.GetInteger(3), -40);
  EXPECT_EQ(z.GetInteger(4), -40);
  EXPECT_EQ(z.GetBcd(5), "-40.000000");
  EXPECT_EQ(z.GetDate(6), Day(1999, 9, 9));
  EXPECT_EQ(z.GetTime(7), ((11 * 60 + 11) * 60 + 11) * 1000);
  EXPECT_EQ(z.GetLogical(10), true);
  EXPECT_EQ(byName.at("Erste Zeile").GetLogical(10), false);

  const Record& f = byName.at("F\xFC" "nfter Datensatz");
  EXPECT_EQ(f.GetBcd(5), "13.123457");
  EXPECT_NEAR(*f.GetNumber(1), 1.34, 1e-12);
  EXPECT_EQ(f.GetBlob(9).substr(0, 14), "Dies ist eine ");

  const Record& n = byName.at("Null-Werte");
  EXPECT_EQ(n.GetNumber(1), 0.0);  // zero is a value, not NULL
  EXPECT_EQ(n.GetInteger(3), 0);
  EXPECT_TRUE(n.IsNull(6));
}

TEST(FixtureRead, MemoBlocksOfBothKinds) {
  NORVEX_REQUIRE_FIXTURES(root);
  auto memo = OpenFixture(root, "leonhad-paradoxdriver/fields/memo.db");
  ASSERT_EQ(memo->RecordCount(), 2u);
  std::string big = memo->ReadRecord(0).GetBlob(1);
  EXPECT_EQ(big.size(), 555u);  // a small-blob slot: 35 units, 11 in the last
  EXPECT_EQ(big.substr(0, 12), "012345678900");
  EXPECT_EQ(memo->ReadRecord(1).GetBlob(1), "01234567890\n");  // held in the leader alone

  // graphic.mb: single-blob blocks of 5, 3 and 507 chunks.
  auto g = OpenFixture(root, "leonhad-paradoxdriver/fields/graphic.db");
  std::vector<std::size_t> sizes;
  g->ForEachRecord([&](const Record& r) {
    sizes.push_back(r.GetBlob(1).size());
    return true;
  });
  std::sort(sizes.begin(), sizes.end());
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), 0x4E76u), sizes.end());
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), 0x1FA83Eu), sizes.end());
  // A graphic blob is the picture behind an 8-byte prefix: 01 00 00 01, then the picture's size.
  std::string pic = g->ReadRecord(0).GetBlob(1);
  ASSERT_GT(pic.size(), 10u);
  EXPECT_EQ(pic.substr(0, 4), std::string("\x01\x00\x00\x01", 4));
  EXPECT_EQ(GetU32(pic, 4), pic.size() - 8);
  EXPECT_EQ(pic.substr(8, 2), "BM");
}

TEST(FixtureRead, DatesOfEveryLevel) {
  NORVEX_REQUIRE_FIXTURES(root);
  for (const char* name : {"date35.db", "date4.db", "date5.db", "date7.db"}) {
    SCOPED_TRACE(name);
    auto t = OpenFixture(root, std::string("leonhad-paradoxdriver/fields/") + name);
    ASSERT_GT(t->RecordCount(), 0u);
    EXPECT_EQ(t->Schema().Field(0).type, FieldType::kDate);
    bool sawDate = false;
    t->ForEachRecord([&](const Record& r) {
      if (auto d = r.GetDate(0)) {
        CivilDate c = CivilFromDayNumber(*d);
        EXPECT_GE(c.year, 1);
        EXPECT_LE(c.year, 9999);
        sawDate = true;
      }
      return true;
    });
    EXPECT_TRUE(sawDate);
  }
  EXPECT_EQ(OpenFixture(root, "leonhad-paradoxdriver/fields/date35.db")->Header().level, 4);
}

TEST(FixtureRead, EverySampleOpensAndChecks) {
  NORVEX_REQUIRE_FIXTURES(root);
  auto tables = AllFixtureTables(root);
  ASSERT_GE(tables.size(), 20u);
  for (const auto& p : tables) {
    SCOPED_TRACE(p.string());
    auto t = ParadoxTable::Open(p, OpenMode::kShared);
    std::uint32_t n = 0;
    t->ForEachRecord([&](const Record&) { return ++n, true; });
    EXPECT_EQ(n, t->RecordCount());
    auto fault = CheckTable(p);
    if (p.filename() == "TypSammlung.DB") {
      // Published without its .PX.
      ASSERT_TRUE(fault.has_value());
      EXPECT_NE(fault->find("primary index is missing"), std::string::npos);
    } else {
      EXPECT_FALSE(fault.has_value()) << *fault;
    }
  }
}

TEST(FixtureRead, SharedOpenRefusesWrites) {
  NORVEX_REQUIRE_FIXTURES(root);
  auto t = OpenFixture(root, "leonhad-paradoxdriver/fields/long.db");
  EXPECT_TRUE(t->WriteRefusal().has_value());
  try {
    t->Insert(t->NewRecord());
    FAIL() << "insert into a shared table";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kReadOnly);
  }
}

#ifdef NORVEX_PXLIB_DUMP
namespace {

struct PxValue {
  std::string kind;  // NULL I D X E
  std::string text;
};

struct PxTable {
  int records = 0, fields = 0, keys = 0;
  std::vector<std::vector<PxValue>> rows;
  bool complete = false;
};

PxTable RunPxlib(const fs::path& db, const std::optional<fs::path>& mb) {
  std::string cmd = std::string(NORVEX_PXLIB_DUMP) + " '" + db.string() + "'";
  if (mb) cmd += " '" + mb->string() + "'";
  cmd += " 2>/dev/null";
  PxTable t;
  const testing_support::CommandResult pxlib = testing_support::RunCommand(cmd);
  t.complete = pxlib.status == 0;
  std::istringstream in(pxlib.output);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string tag;
    ls >> tag;
    if (tag == "H") ls >> t.records >> std::ws >> t.fields >> t.fields >> t.keys;
    if (tag == "R") t.rows.emplace_back();
    if (tag == "V" && !t.rows.empty()) {
      int i;
      PxValue v;
      ls >> i >> v.kind;
      std::getline(ls >> std::ws, v.text);
      t.rows.back().push_back(v);
    }
  }
  return t;
}

std::string HexOf(std::string_view b) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (unsigned char c : b) {
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

}  // namespace

// Compares every value with pxlib's reading. pxlib 0.6.8 reads NULL longs, dates and times as
// -2147483648 and crashes on most real .MB files: those values are compared only where it
// reads them right, and blobs only when it survives the memo file.
void CompareWithPxlib(const fs::path& db, int* compared) {
  auto table = ParadoxTable::Open(db, OpenMode::kShared);
  std::optional<fs::path> mb;
  if (table->Schema().HasBlobs()) mb = FamilyMemberPath(db, ".MB");
  PxTable px = RunPxlib(db, mb);
  if (!px.complete && mb) px = RunPxlib(db, std::nullopt);
  ASSERT_TRUE(px.complete) << "pxlib failed on " << db;
  ASSERT_EQ(px.records, static_cast<int>(table->RecordCount()));
  ASSERT_EQ(px.rows.size(), table->RecordCount());
  const TableSchema& s = table->Schema();
  std::size_t row = 0;
  table->ForEachRecord([&](const Record& r) {
    const auto& vals = px.rows[row++];
    EXPECT_EQ(vals.size(), s.FieldCount());
    for (std::size_t f = 0; f < s.FieldCount() && f < vals.size(); ++f) {
      SCOPED_TRACE(db.filename().string() + " record " + std::to_string(row) + " field " + s.Field(f).name);
      const PxValue& v = vals[f];
      const FieldType t = s.Field(f).type;
      if (v.kind == "E") continue;
      switch (t) {
        case FieldType::kAlpha:
          if (v.kind == "NULL") EXPECT_TRUE(r.IsNull(f));
          else EXPECT_EQ(v.text, HexOf(r.GetAlpha(f)));
          break;
        case FieldType::kShort:
          if (v.kind == "NULL") EXPECT_TRUE(r.IsNull(f));
          else EXPECT_EQ(std::stol(v.text), *r.GetInteger(f));
          break;
        case FieldType::kLong:
        case FieldType::kAutoIncrement:
        case FieldType::kDate:
        case FieldType::kTime: {
          std::optional<std::int32_t> ours = t == FieldType::kDate ? r.GetDate(f)
                                             : t == FieldType::kTime ? r.GetTime(f)
                                                                     : r.GetInteger(f);
          long theirs = v.kind == "NULL" ? 0 : std::stol(v.text);
          if (v.kind == "NULL" || theirs == -2147483648L)
            EXPECT_FALSE(ours.has_value());
          else
            EXPECT_EQ(theirs, *ours);
          break;
        }
        case FieldType::kNumber:
        case FieldType::kMoney:
        case FieldType::kTimestamp: {
          std::optional<double> ours = t == FieldType::kTimestamp ? r.GetTimestamp(f) : r.GetNumber(f);
          if (v.kind == "NULL") EXPECT_FALSE(ours.has_value());
          else EXPECT_EQ(std::stod(v.text), *ours);
          break;
        }
        case FieldType::kLogical:
          if (v.kind == "NULL") EXPECT_FALSE(r.GetLogical(f).has_value());
          else EXPECT_EQ(std::stol(v.text) != 0, *r.GetLogical(f));
          break;
        case FieldType::kMemo:
        case FieldType::kFormattedMemo:
          if (v.kind == "NULL") EXPECT_TRUE(r.IsNull(f));
          else EXPECT_EQ(v.text, HexOf(r.GetBlob(f)));
          break;
        default:
          EXPECT_EQ(v.text, HexOf(r.Raw(f)));
      }
      ++*compared;
    }
    return true;
  });
}

TEST(FixtureRead, MatchesPxlib) {
  NORVEX_REQUIRE_FIXTURES(root);
  int compared = 0;
  for (const auto& p : AllFixtureTables(root)) {
    SCOPED_TRACE(p.string());
    CompareWithPxlib(p, &compared);
  }
  EXPECT_GT(compared, 1000);
}
#endif
