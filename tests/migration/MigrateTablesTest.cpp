// The migration over sample older installations, checked against a reference model of the copy
// rules written here, the engine's own reader, pdx check and pxlib.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "MigrationTestSupport.h"
#include "engine/Session.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"
#include "text/Ascii.h"
#include "text/CodePage.h"
#include "tools/pdx/PdxCommands.h"
#include "util/AliasPath.h"

namespace {

namespace fs = std::filesystem;
using namespace migration_test;
using migration::MessageKind;

std::string Sjis(const std::string& utf8) { return text::FromUtf8(utf8).value(); }

// ---- the reference model: what each new record holds, from the old record ---------------------

std::optional<std::string> Take(const Row& src, const std::string& field) {
  auto it = src.find(field);
  return it == src.end() ? std::nullopt : it->second;
}

std::string IntegerOrZero(const Row& src, const std::string& field) { return Take(src, field).value_or("0"); }

Row ExpectedTovo(const Row& s) {
  return {{"SYARYOU_NO", Take(s, "SYARYOU_NO")}, {"SYATAI_NO", Take(s, "SYATAI_NO")},
          {"SYASEKI_NO", Take(s, "SYASEKI_NO")}, {"ID", IntegerOrZero(s, "ID")},
          {"TOUROKU_DATE", Take(s, "TOUROKU_DATE")}, {"MAKER", Take(s, "MAKER")},
          {"SHAMEI", Take(s, "SHAMEI")},         {"COLOR", Take(s, "COLOR")},
          {"SINKOSYA", Take(s, "SINKOSYA")},     {"HAISYA_DATE", Take(s, "HAISYA_DATE")},
          {"SYASYUBETU", Take(s, "SYASYUBETU")}};
}

Row ExpectedKokyaku(const Row& s) {
  Row r;
  for (const char* f : {"NAME", "KANA", "POST_CODE", "ADDRESS1", "ADDRESS2", "TEL", "FAX", "CARRY_TEL", "MAIL_ADDRESS",
                        "COMPANY", "COMP_POST_CODE", "COMPANY_ADDRESS", "COMPANY_TEL", "RGIST_DATE", "MEMO"})
    r[f] = Take(s, f);
  r["ID"] = IntegerOrZero(s, "ID");
  std::optional<std::string> birthday = Take(s, "BIRTHDAY");
  r["BIRTHDAY"] = birthday == std::optional<std::string>(kZeroDay) ? std::nullopt : birthday;
  r["SYOKUGYOU"] = std::nullopt;
  return r;
}

Row ExpectedBigTovo(const Row& s) {
  Row r;
  for (const char* f : {"SYATAI_NO", "SYARYOU_NO", "TOUROKU_DATE", "START_YEAR_MON", "MAKER", "SHAMEI", "SYAKEN_DATE",
                        "HAISYA_DATE", "E_KEISIKI", "SINKOSYA"})
    r[f] = Take(s, f);
  r["ID"] = IntegerOrZero(s, "ID");
  return r;
}

struct Captured {
  std::map<std::string, TableImage> live, demo;
};

Captured Capture(const Installation& inst) {
  Captured c;
  for (const char* t : {"tovo.db", "kokyaku.db", "bigtovo.db", "bicycle.db"}) {
    c.live[t] = ReadTable(inst.live, t);
    c.demo[t] = ReadTable(inst.demo, t);
  }
  return c;
}

void ExpectRecordsMigrated(const std::map<std::string, TableImage>& before, const fs::path& dir) {
  const std::pair<const char*, Row (*)(const Row&)> tables[] = {
      {"tovo.db", ExpectedTovo}, {"kokyaku.db", ExpectedKokyaku}, {"bigtovo.db", ExpectedBigTovo}};
  for (const auto& [name, model] : tables) {
    std::vector<Row> expected;
    for (const Row& r : before.at(name).rows) expected.push_back(model(r));
    TableImage after = ReadTable(dir, name);
    EXPECT_EQ(Canonical(after.rows), Canonical(expected)) << name << " in " << dir;
  }
  // The widened table that is not rebuilt keeps its records as they were.
  EXPECT_EQ(Canonical(ReadTable(dir, "bicycle.db").rows), Canonical(before.at("bicycle.db").rows));
}

// ---- structure ---------------------------------------------------------------------------------

struct FieldShape {
  const char* name;
  paradox::FieldType type;
  int size;  // alpha bytes; memo leader + 10
};
using enum paradox::FieldType;

struct IndexShape {
  std::string name;
  std::vector<std::string> fields;
};

void ExpectShape(const fs::path& dir, const std::string& table, const std::vector<FieldShape>& fields, unsigned keyFields,
                 const std::vector<IndexShape>& secondary) {
  SCOPED_TRACE(table + " in " + dir.string());
  std::optional<fs::path> file = paradox::FindDataFile(dir, table);
  ASSERT_TRUE(file);
  auto t = paradox::ParadoxTable::Open(*file, paradox::OpenMode::kShared);
  const paradox::TableSchema& s = t->Schema();
  ASSERT_EQ(s.FieldCount(), fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(s.Field(i).name, fields[i].name);
    EXPECT_EQ(s.Field(i).type, fields[i].type) << fields[i].name;
    if (fields[i].size) EXPECT_EQ(s.Field(i).size, fields[i].size) << fields[i].name;
  }
  EXPECT_EQ(s.KeyFieldCount(), keyFields);
  std::vector<IndexShape> found;
  for (const paradox::SecondaryIndexFile& x : paradox::ReadSecondaryIndexes(*t)) {
    IndexShape shape{x.def.name.empty() ? s.Field(x.def.fields[0]).name : x.def.name, {}};
    for (std::size_t f : x.def.fields) shape.fields.push_back(s.Field(f).name);
    EXPECT_TRUE(x.def.caseInsensitive) << shape.name;
    found.push_back(shape);
  }
  auto byName = [](const IndexShape& a, const IndexShape& b) { return a.name < b.name; };
  std::vector<IndexShape> want = secondary;
  std::sort(found.begin(), found.end(), byName);
  std::sort(want.begin(), want.end(), byName);
  ASSERT_EQ(found.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(found[i].name, want[i].name);
    EXPECT_EQ(found[i].fields, want[i].fields) << want[i].name;
  }
  std::ostringstream out, err;
  EXPECT_EQ(pdx::Run({"check", Utf8Path(*file)}, out, err), 0) << err.str();
}

void ExpectNewStructure(const fs::path& dir) {
  ExpectShape(dir, "TOVO",
              {{"SYARYOU_NO", kAlpha, 20}, {"SYATAI_NO", kAlpha, 20}, {"SYASEKI_NO", kAlpha, 20}, {"ID", kLong, 4},
               {"TOUROKU_DATE", kDate, 4}, {"MAKER", kAlpha, 20}, {"SHAMEI", kAlpha, 20}, {"COLOR", kAlpha, 10},
               {"SINKOSYA", kAlpha, 4}, {"HAISYA_DATE", kDate, 4}, {"SYASYUBETU", kAlpha, 8}},
              3, {{"IX_SYARYOU", {"SYARYOU_NO"}}, {"IX_SYATAI", {"SYATAI_NO"}}, {"Kokyaku_ID", {"ID"}}});
  ExpectShape(dir, "KOKYAKU",
              {{"ID", kLong, 4},          {"NAME", kAlpha, 32},           {"KANA", kAlpha, 32},
               {"BIRTHDAY", kDate, 4},    {"POST_CODE", kAlpha, 8},       {"ADDRESS1", kAlpha, 60},
               {"ADDRESS2", kAlpha, 40},  {"TEL", kAlpha, 12},            {"FAX", kAlpha, 12},
               {"CARRY_TEL", kAlpha, 14}, {"MAIL_ADDRESS", kAlpha, 50},   {"COMPANY", kAlpha, 30},
               {"COMP_POST_CODE", kAlpha, 8}, {"COMPANY_ADDRESS", kAlpha, 50}, {"COMPANY_TEL", kAlpha, 12},
               {"RGIST_DATE", kDate, 4},  {"MEMO", kMemo, 70},            {"SYOKUGYOU", kAlpha, 12}},
              1,
              {{"IX_Address2", {"ADDRESS2"}}, {"IX_Barthday", {"BIRTHDAY"}}, {"IXKana", {"KANA"}},
               {"IXName", {"NAME"}}, {"IXTel", {"TEL"}}});
  ExpectShape(dir, "BIGTOVO",
              {{"SYATAI_NO", kAlpha, 20}, {"SYARYOU_NO", kAlpha, 20}, {"ID", kLong, 4}, {"TOUROKU_DATE", kDate, 4},
               {"START_YEAR_MON", kAlpha, 9}, {"MAKER", kAlpha, 20}, {"SHAMEI", kAlpha, 20}, {"SYAKEN_DATE", kDate, 4},
               {"HAISYA_DATE", kDate, 4}, {"E_KEISIKI", kAlpha, 20}, {"SINKOSYA", kAlpha, 4}},
              1,
              {{"IX_SYARYOU", {"SYARYOU_NO"}}, {"IX_MAKER", {"MAKER"}}, {"IX_SYAKEN_DATE", {"SYAKEN_DATE"}},
               {"IX_TOUROKU_DATE", {"TOUROKU_DATE"}}, {"Kokyaku_ID", {"ID"}}});
  ExpectShape(dir, "G_RIDER",
              {{"G_NO", kAlpha, 10}, {"SYARYOU_NO", kAlpha, 20}, {"SYATAI_NO", kAlpha, 20}, {"HAIKIRYO", kShort, 2},
               {"COLOR", kAlpha, 10}, {"NINTEI_NO", kAlpha, 16}, {"SIYOU_ID", kLong, 4}, {"SYOYU_ID", kLong, 4},
               {"TANTOU_ID", kShort, 2}, {"KANYU_DATE", kDate, 4}, {"SINKOSYA", kAlpha, 4}, {"SHAMEI", kAlpha, 20},
               {"KEISIKI", kAlpha, 20}, {"E_KEISIKI", kAlpha, 20}},
              1, {{"IX_SYARYOU_NO", {"SYARYOU_NO"}}, {"IX_SYATAI_NO", {"SYATAI_NO"}}});
  ExpectShape(dir, "TANTOU",
              {{"TANTOU_ID", kShort, 2}, {"NAME", kAlpha, 16}, {"KANA", kAlpha, 16}, {"BIRTHDAY", kDate, 4},
               {"POST_CODE", kAlpha, 8}, {"ADDRESS1", kAlpha, 60}, {"ADDRESS2", kAlpha, 40}, {"TEL_SIGAI", kAlpha, 5},
               {"TEL", kAlpha, 10}, {"CARRY_TEL", kAlpha, 14}, {"MEMO", kAlpha, 60}},
              1, {});
  ExpectShape(dir, "BICYCLE_SEIBI",
              {{"TOUROKU_NO", kAlpha, 20}, {"SEIBI_NO", kLong, 4}, {"SYATAI_NO", kAlpha, 20}, {"ID", kLong, 4},
               {"SEIBI_DATE", kDate, 4}, {"TANTOU_NAME", kAlpha, 16}, {"TENKEN", kAlpha, 24}, {"M_ITEM", kAlpha, 60},
               {"M_CONTENT", kAlpha, 240}, {"M_MEMO", kAlpha, 120}},
              2, {});
  ExpectShape(dir, "BigTOVO_SEIBI",
              {{"SEIBI_NO", kLong, 4}, {"SYATAI_NO", kAlpha, 20}, {"SYARYOU_NO", kAlpha, 20}, {"ID", kLong, 4},
               {"SEIBI_DATE", kDate, 4}, {"TANTOU_NAME", kAlpha, 16}, {"MILEGE", kLong, 4}, {"TENKEN", kAlpha, 24},
               {"M_ITEM", kAlpha, 60}, {"M_CONTENT", kAlpha, 240}, {"M_MEMO", kAlpha, 120}},
              3, {});
  ExpectShape(dir, "TOVO_SEIBI",
              {{"SYATAI_NO", kAlpha, 20}, {"SEIBI_NO", kLong, 4}, {"SYARYOU_NO", kAlpha, 20}, {"ID", kLong, 4},
               {"SEIBI_DATE", kDate, 4}, {"TANTOU_NAME", kAlpha, 16}, {"MILEGE", kLong, 4}, {"M_ITEM", kAlpha, 60},
               {"M_CONTENT", kAlpha, 240}, {"M_MEMO", kAlpha, 120}},
              2, {});
  ExpectShape(dir, "TOVO_SYOUSAI",
              {{"SYATAI_NO", kAlpha, 20}, {"PATH", kAlpha, 60}, {"KEISIKI", kAlpha, 10}, {"KISYUMEI", kAlpha, 20},
               {"MODEL_NAME", kAlpha, 20}, {"COLOR", kAlpha, 16}, {"COLOR_NO", kAlpha, 16}, {"MEMO", kAlpha, 60}},
              1, {});
  // The widened table that is not rebuilt.
  auto bicycle = paradox::ParadoxTable::Open(*paradox::FindDataFile(dir, "bicycle.db"), paradox::OpenMode::kShared);
  EXPECT_EQ(bicycle->Schema().Field(0).size, 20);
  EXPECT_EQ(bicycle->Schema().Field(1).size, 20);
}

bool Migrate(RecordingUi& ui, const Installation& inst, const migration::MigrationProbe& probe = {}) {
  return migration::MigrateTables(ui, migration::FixedFolders(Utf8Path(inst.live), Utf8Path(inst.demo)), probe);
}

std::size_t IndexOf(const std::vector<std::string>& log, const std::string& entry) {
  return static_cast<std::size_t>(std::find(log.begin(), log.end(), entry) - log.begin());
}

// The bar's position at the log entry `at`.
int BarAt(const std::vector<std::string>& log, std::size_t at) {
  int bar = 0;
  for (std::size_t i = 0; i < at && i < log.size(); ++i)
    if (log[i].rfind("bar ", 0) == 0) bar = std::stoi(log[i].substr(4));
  return bar;
}

// ---- a whole run ---------------------------------------------------------------------------------

TEST(MigrateTables, BringsEveryTableToTheNewStructureWithEveryRecord) {
  sample::SampleOptions o;
  o.customers = 80;
  o.demoCustomers = 14;
  o.olderGRider = true;
  o.tovoNote = true;
  Installation inst = MakeInstallation("full", o);
  // A second widening of a field at its new length changes nothing.
  Captured before = Capture(inst);
  const std::string olderGRider = testing_support::ReadFileBytes(inst.live / "G_RIDER.DB");

  RecordingUi ui;
  std::vector<std::string>& log = ui.log;
  ASSERT_TRUE(Migrate(ui, inst, [&](std::string_view what) { log.push_back(std::string(what)); }));

  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(log.front(), "busy");
  EXPECT_EQ(log[1], "create");
  EXPECT_EQ(log[2], "max 10");
  EXPECT_EQ(log[3], "show");
  EXPECT_EQ(log[log.size() - 2], "idle");
  EXPECT_EQ(log.back(), "close");
  EXPECT_FALSE(ui.showing);
  EXPECT_FALSE(ui.busy);

  // The bar: 2 after the widening, 6 after the live tovo rebuild, full after the demo one.
  const std::string demo = Utf8Path(inst.demo), live = Utf8Path(inst.live);
  const std::size_t widened = IndexOf(log, "widened kokyaku.db KANA in " + demo);
  ASSERT_LT(widened, log.size());
  EXPECT_EQ(BarAt(log, widened + 2), 2);
  const std::size_t liveKokyakuCreated = IndexOf(log, "created NewKokyaku in " + live);
  const std::size_t demoTovoCreated = IndexOf(log, "created NewTovo in " + demo);
  ASSERT_LT(liveKokyakuCreated, log.size());
  EXPECT_EQ(BarAt(log, demoTovoCreated), 6);
  EXPECT_EQ(BarAt(log, liveKokyakuCreated), 10);
  EXPECT_EQ(ui.position, 10);

  for (const fs::path& dir : {inst.live, inst.demo}) {
    ExpectNewStructure(dir);
    for (const char* work : {"NewTovo.DB", "NewKokyaku.DB", "NewBigTovo.DB", "TOVO~RB.JNL"})
      EXPECT_FALSE(paradox::FindDataFile(dir, work)) << work;
  }
  ExpectRecordsMigrated(before.live, inst.live);
  ExpectRecordsMigrated(before.demo, inst.demo);

  // The older G_RIDER.DB is left as it was.
  EXPECT_EQ(testing_support::ReadFileBytes(inst.live / "G_RIDER.DB"), olderGRider);

  // The backup holds the live folder's old files of the three tables, the text file of the
  // tovo table's name too, and nothing of TOVO_SEIBI.
  std::map<std::string, std::string> backup = FolderBytes(inst.live / "TempData");
  std::vector<std::string> names;
  for (const auto& [name, bytes] : backup) names.push_back(text::AsciiUpper(name));
  for (const char* want : {"TOVO.DB", "TOVO.PX", "TOVO.TXT", "KOKYAKU.DB", "KOKYAKU.PX", "KOKYAKU.MB", "BIGTOVO.DB",
                           "BIGTOVO.PX"})
    EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
  for (const std::string& n : names) EXPECT_EQ(n.find("SEIBI"), std::string::npos) << n;
  EXPECT_FALSE(fs::exists(inst.demo / "TempData"));
  // The backed-up tables are the old ones, after the widening.
  EXPECT_EQ(Canonical(ReadTable(inst.live / "TempData", "tovo").rows).size(), before.live["tovo.db"].rows.size());
  TableImage oldKokyaku = ReadTable(inst.live / "TempData", "kokyaku");
  EXPECT_EQ(Canonical(oldKokyaku.rows), Canonical(before.live["kokyaku.db"].rows));
}
