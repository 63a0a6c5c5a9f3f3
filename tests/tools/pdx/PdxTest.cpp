// The pdx commands: CSV dumps (RFC 4180, UTF-8), table listings, checks of damaged tables.

#include <gtest/gtest.h>

#include <sstream>

#include "paradox/EngineConfig.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"
#include "tools/pdx/PdxCommands.h"
#include "tools/sample/SampleInstallation.h"

namespace fs = std::filesystem;
using namespace paradox;

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

std::string Utf8(const fs::path& p) {
  auto u = p.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace

TEST(Pdx, CsvQuoting) {
  EXPECT_EQ(pdx::CsvField("plain"), "plain");
  EXPECT_EQ(pdx::CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(pdx::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(pdx::CsvField("two\r\nlines"), "\"two\r\nlines\"");
  EXPECT_EQ(pdx::CsvField(""), "");
}

TEST(Pdx, DumpOfACreatedTableInAJapaneseFolder) {
  // 顧客 as the folder: the path goes through the tool as UTF-8.
  fs::path dir = testing_support::FreshTempDir("pdx-dump") / fs::path(u8"\u9867\u5ba2");
  fs::create_directories(dir);
  TableDefinition d;
  d.fields = {FieldDef::Short("NO"), FieldDef::Alpha("NAME", 20), FieldDef::Date("DAY"), FieldDef::Long("N"),
              FieldDef::Memo("MEMO", 10)};
  d.keyFieldCount = 1;
  fs::path db = DataFilePath(dir, "kokyaku");
  ParadoxTable::Create(db, d);
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    Record a = t->NewRecord();
    a.SetInteger(0, 2);
    a.SetAlpha(1, "\x8E\x52\x93\x63 \x91\xBE\x98\x59");  // 山田 太郎
    a.SetDate(2, DayNumberFromCivil({2024, 3, 9}));
    a.SetInteger(3, -5);
    a.SetBlob(4, "line one\r\nline \"two\", long enough for the memo file");
    t->Insert(a);
    Record b = t->NewRecord();
    b.SetInteger(0, 1);
    t->Insert(b);
  }
  Result r = Pdx({"dump", Utf8(dir / "KOKYAKU")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "NO,NAME,DAY,N,MEMO\r\n"
            "1,,,,\r\n"
            "2,\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E,2024-03-09,-5,"
            "\"line one\r\nline \"\"two\"\", long enough for the memo file\"\r\n");
  Result info = Pdx({"info", Utf8(db)});
  ASSERT_EQ(info.code, 0);
  EXPECT_NE(info.out.find("Records: 2"), std::string::npos);
  EXPECT_NE(info.out.find("  2 NAME Alpha(20)"), std::string::npos);
  EXPECT_NE(info.out.find("  5 MEMO Memo(10)"), std::string::npos);
  EXPECT_NE(info.out.find("primary (kokyaku.PX): NO"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("japan (sort order 0xa, code page 932)"), std::string::npos);
  Result check = Pdx({"check", Utf8(db)});
  EXPECT_EQ(check.code, 0) << check.err;
}

TEST(Pdx, DumpOfRealSamples) {
  NORVEX_REQUIRE_FIXTURES(root);
  const fs::path f = root / "paradox/leonhad-paradoxdriver/fields";
  Result logical = Pdx({"dump", Utf8(f / "logical.db")});
  ASSERT_EQ(logical.code, 0);
  EXPECT_EQ(logical.out.substr(0, 6), "BOOL\r\n");
  EXPECT_NE(logical.out.find("true\r\n"), std::string::npos);
  EXPECT_NE(logical.out.find("false\r\n"), std::string::npos);
  Result graphic = Pdx({"dump", Utf8(f / "graphic")});  // without extension
  ASSERT_EQ(graphic.code, 0) << graphic.err;
  EXPECT_NE(graphic.out.find("," + std::to_string(0x4E76) + ","), std::string::npos) << graphic.out;
  Result typ = Pdx({"dump", Utf8(root / "paradox/rparadox/TypSammlung.DB")});
  ASSERT_EQ(typ.code, 0);
  EXPECT_NE(typ.out.find("Zweite Zeile,-40,-40,-40,-40,-40.000000,1999-09-09,11:11:11,2003-06-10 11:11:11,,true,2,,"),
            std::string::npos)
      << typ.out;
  EXPECT_NE(typ.out.find("F\xC3\xBCnfter Datensatz,1.34,13.002,"), std::string::npos);  // UTF-8 from 1252
  Result orders = Pdx({"dump", Utf8(root / "paradox/leonhad-paradoxdriver/db/ORDERS.DB")});
  ASSERT_EQ(orders.code, 0);
  const std::string body = orders.out.substr(orders.out.find("\r\n"));
  EXPECT_EQ(body.find("e+"), std::string::npos);  // numbers in plain decimal, never exponents
  EXPECT_EQ(body.find("e-0"), std::string::npos);
}

TEST(Pdx, CheckNamesTheFirstFault) {
  fs::path dir = testing_support::FreshTempDir("pdx-check");
  TableDefinition d;
  d.fields = {FieldDef::Long("ID")};
  d.keyFieldCount = 1;
  ParadoxTable::Create(dir / "T.DB", d);
  {
    auto t = ParadoxTable::Open(dir / "T.DB", OpenMode::kExclusive);
    for (int i = 0; i < 5; ++i) {
      Record r = t->NewRecord();
      r.SetInteger(0, i);
      t->Insert(r);
    }
  }
  std::string b = testing_support::ReadFileBytes(dir / "T.DB");
  b[0x06] = 9;  // record count
  testing_support::WriteFileBytes(dir / "T.DB", b);
  Result r = Pdx({"check", Utf8(dir / "t.db")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("record count 9 in the header, 5 in the blocks"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("T.DB"), std::string::npos);
  EXPECT_EQ(Pdx({"check", Utf8(dir / "missing")}).code, 1);
  EXPECT_EQ(Pdx({"frobnicate", "x"}).code, 2);
}

TEST(Pdx, AliasSetsAndListsStandardAliasesInTheEngineCodePage) {
  fs::path dir = testing_support::FreshTempDir("pdx-alias");
  const std::string cfg = Utf8(dir / "IDAPI32.CFG");
  EXPECT_EQ(Pdx({"alias", cfg, "Tovo", "C:\\Tovo\\Data"}).code, 0);
  EXPECT_EQ(Pdx({"alias", cfg, "TovoDemo", "C:\\トヴォ\\Demo"}).code, 0);
  EXPECT_EQ(Pdx({"alias", cfg, "Tovo", "D:\\Data"}).code, 0) << "an alias set again is replaced";
  Result list = Pdx({"alias", cfg});
  EXPECT_EQ(list.code, 0);
  EXPECT_EQ(list.out, "Tovo: PATH=D:\\Data\nTovoDemo: PATH=C:\\トヴォ\\Demo\n");
  // Read back by the engine's own reader: the path is stored in Shift-JIS.
  EngineConfig config = EngineConfig::Load(dir / "IDAPI32.CFG");
  auto params = config.AliasParams("TovoDemo");
  ASSERT_TRUE(params);
  EXPECT_EQ(params->front(), "PATH=C:\\\x83\x67\x83\x94\x83\x48\\Demo");
  EXPECT_EQ(Pdx({"alias", cfg, "Tovo"}).code, 2);
  EXPECT_EQ(Pdx({"alias", Utf8(dir / "missing" / "x.cfg")}).code, 0) << "no file: no aliases";
}

// As SETUP.EXE does: what an earlier run left interrupted is settled and said, the tables are
// checked, then migrated; a second run over migrated tables goes the same way.
TEST(Pdx, MigrateSettlesChecksAndMigrates) {
  const fs::path root = testing_support::FreshTempDir("pdx-migrate");
  sample::SampleOptions options;
  options.liveFolder = Utf8(root / "live");
  options.demoFolder = Utf8(root / "demo");
  options.customers = 6;
  options.demoCustomers = 2;
  sample::WriteSampleInstallation(options);
  const std::vector<std::string> args{"migrate", "--live", options.liveFolder, "--demo", options.demoFolder};
  Result first = Pdx(args);
  ASSERT_EQ(first.code, 0) << first.out << first.err;
  EXPECT_NE(first.out.find("check passed\n"), std::string::npos) << first.out;
  EXPECT_EQ(first.out.find("settled:"), std::string::npos) << first.out;

  // A power cut right after a replacement's journal was written: the old table was never touched.
  testing_support::WriteFileBytes(root / "demo" / "TOVO~RB.JNL", "new NewTovo\nold TOVO\n");
  fs::copy_file(root / "demo" / "TOVO.DB", root / "demo" / "NewTovo.DB");
  Result second = Pdx(args);
  ASSERT_EQ(second.code, 0) << second.out << second.err;
  const std::size_t settled = second.out.find("settled: テーブル[" + options.demoFolder + "\\tovo.db]の中断された更新を取り消し");
  ASSERT_NE(settled, std::string::npos) << second.out;
  EXPECT_LT(settled, second.out.find("check passed\n"));
  EXPECT_LT(second.out.find("check passed\n"), second.out.find("migration complete\n"));
  EXPECT_FALSE(fs::exists(root / "demo" / "TOVO~RB.JNL"));
  EXPECT_FALSE(fs::exists(root / "demo" / "NewTovo.DB"));

  fs::remove(root / "demo" / "TOVO.DB");
  Result refused = Pdx(args);
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.out.find("check: [エラー] テーブル[" + options.demoFolder + "\\tovo.db]がありません。"), std::string::npos)
      << refused.out;
  EXPECT_EQ(refused.out.find("migration"), std::string::npos) << "nothing migrated after a refusal";
}
