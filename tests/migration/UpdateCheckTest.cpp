// The check before changes over real tables of our engine, and the record counts of SETUP.LOG.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "migration/UpdateCheck.h"
#include "engine/Table.h"
#include "support/TestPaths.h"
#ifndef _WIN32
#include <cerrno>
#include <cstring>

#include "support/OtherProcess.h"
#endif
#include "text/Utf8Path.h"
#include "tools/sample/SampleInstallation.h"

namespace {

namespace fs = std::filesystem;
using updatecheck::AliasFolder;
using updatecheck::CheckBeforeUpdate;
using testing_support::WriteFileBytes;

constexpr char kStopped[] = "\r\n\r\nアップデートは中止しました。何も変更していません。";

void MakeTable(const fs::path& folder, const std::string& name, int records) {
  TTable t;
  t.SetDatabaseName(text::PathToUtf8(folder));
  t.SetTableName(name);
  t.SetTableType(TTableType::ttParadox);
  t.FieldDefs().Add("NO", TFieldType::ftInteger);
  t.FieldDefs().Add("NAME", TFieldType::ftString, 20);
  t.CreateTable();
  t.SetExclusive(true);
  t.Open();
  for (int i = 0; i < records; ++i) {
    t.Append();
    t.FieldByName("NO").SetAsInteger(i + 1);
    t.FieldByName("NAME").SetAsString("customer " + std::to_string(i + 1));
    t.Post();
  }
  t.Close();
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing_support::FreshTempDir("update-check");
    sample::SampleOptions options;
    options.liveFolder = text::PathToUtf8(root_ / "live");
    options.demoFolder = text::PathToUtf8(root_ / "demo");
    options.customers = 30;
    options.demoCustomers = 5;
    sample::WriteSampleInstallation(options);
  }
  std::vector<AliasFolder> Folders() const {
    return {{"Tovo", text::PathToUtf8(root_ / "live")}, {"TovoDemo", text::PathToUtf8(root_ / "demo")}};
  }
  std::string Shown(const char* folder, const char* table) const {
    return text::PathToUtf8(root_ / folder) + "\\" + table;
  }
  fs::path root_;
};

TEST_F(UpdateCheckTest, SoundTablesPass) {
  EXPECT_EQ(CheckBeforeUpdate(Folders()), std::nullopt);
}

TEST_F(UpdateCheckTest, TheMigratedTablesAreTheWidenedAndRebuiltOnes) {
  EXPECT_EQ(updatecheck::MigratedTables(),
            (std::vector<std::string>{"kokyaku.db", "bicycle.db", "tovo.db", "bigtovo.db"}));
  for (const std::string& t : updatecheck::RebuiltTables())
    EXPECT_NE(std::find(updatecheck::MigratedTables().begin(), updatecheck::MigratedTables().end(), t),
              updatecheck::MigratedTables().end());
}

TEST_F(UpdateCheckTest, MissingTableInTheDemoFolderIsNamed) {
  TTable t;
  t.SetDatabaseName(text::PathToUtf8(root_ / "demo"));
  t.SetTableName("bicycle.db");
  t.DeleteTable();
  EXPECT_EQ(CheckBeforeUpdate(Folders()), "テーブル[" + Shown("demo", "bicycle.db") + "]がありません。" + kStopped);
}

TEST_F(UpdateCheckTest, TableHeldElsewhereIsNamedAsInUse) {
  TTable held;
  held.SetDatabaseName(text::PathToUtf8(root_ / "live"));
  held.SetTableName("tovo.db");
  held.SetTableType(TTableType::ttParadox);
  held.Open();  // shared: still keeps an exclusive open out
  EXPECT_EQ(CheckBeforeUpdate(Folders()),
            "テーブル[" + Shown("live", "tovo.db") + "]はほかのプログラムが使用中です。"
            "ほかのプログラムを終了してから、もう一度アップデートを実行してください。" + kStopped);
}

TEST_F(UpdateCheckTest, DamagedTableIsNamedWithTheEnginesReason) {
  {
    // A record count far beyond what the file's blocks hold.
    std::fstream f(root_ / "demo" / "bigtovo.db", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(6);
    const char count[4] = {'\x40', '\x42', '\x0f', '\0'};
    f.write(count, 4);
  }
  auto problem = CheckBeforeUpdate(Folders());
  ASSERT_TRUE(problem);
  const std::string head = "テーブル[" + Shown("demo", "bigtovo.db") + "]が壊れています。弊社までご連絡ください。\r\n\r\n";
  EXPECT_EQ(problem->substr(0, head.size()), head) << *problem;
  EXPECT_GT(problem->size(), head.size() + std::string(kStopped).size()) << "the engine's reason is given";
}

TEST_F(UpdateCheckTest, MissingFolderAndUnsetAliasAreNamed) {
  auto folders = Folders();
  folders[1].path = text::PathToUtf8(root_ / "gone");
  EXPECT_EQ(CheckBeforeUpdate(folders),
            "データベースの別名「TovoDemo」のフォルダ[" + folders[1].path + "]が見つかりません。" + kStopped);
  folders[1].path.clear();
  EXPECT_EQ(CheckBeforeUpdate(folders), "データベースの別名「TovoDemo」のフォルダが正しく設定されていません。" + std::string(kStopped));
}

TEST_F(UpdateCheckTest, TablesAreCheckedInMigrationOrderLiveFolderFirst) {
  for (const char* f : {"live", "demo"}) fs::remove(root_ / f / "bigtovo.db");
  fs::remove(root_ / "demo" / "bicycle.db");
  EXPECT_EQ(CheckBeforeUpdate(Folders()), "テーブル[" + Shown("demo", "bicycle.db") + "]がありません。" + kStopped);
}

TEST_F(UpdateCheckTest, CheckChangesNoFile) {
  std::map<std::string, std::string> before, after;
  auto snapshot = [&](std::map<std::string, std::string>& m) {
    for (const auto& e : fs::recursive_directory_iterator(root_))
      if (e.is_regular_file()) m[e.path().string()] = testing_support::ReadFileBytes(e.path());
  };
  snapshot(before);
  ASSERT_EQ(CheckBeforeUpdate(Folders()), std::nullopt);
  snapshot(after);
  EXPECT_EQ(before, after);
}

TEST_F(UpdateCheckTest, RecordCountsOfEveryTableByName) {
  MakeTable(root_ / "live", "G_RIDER.DB", 12);
  testing_support::WriteFileBytes(root_ / "live" / "broken.db", "not a table");
  auto counts = updatecheck::CountRecords(text::PathToUtf8(root_ / "live"));
  // In name order without regard to case; the sample may hold further tables.
  const std::set<std::string> known = {"bicycle.db", "bigtovo.db", "broken.db", "G_RIDER.DB", "kokyaku.db", "tovo.db"};
  std::vector<std::string> names;
  for (const auto& c : counts)
    if (known.count(c.table)) names.push_back(c.table);
  EXPECT_EQ(names, (std::vector<std::string>{"bicycle.db", "bigtovo.db", "broken.db", "G_RIDER.DB", "kokyaku.db",
                                             "tovo.db"}));
  for (const auto& c : counts) {
    SCOPED_TRACE(c.table);
    if (c.table == "broken.db") {
      EXPECT_FALSE(c.records);
      EXPECT_FALSE(c.error.empty());
    } else {
      ASSERT_TRUE(c.records);
      if (c.table == "G_RIDER.DB") EXPECT_EQ(*c.records, 12);
      if (c.table == "kokyaku.db") EXPECT_EQ(*c.records, 30) << "one record a customer";
    }
  }
}

#ifndef _WIN32
// Read-only files and folders, checked by a process with an ordinary user's rights.
TEST_F(UpdateCheckTest, ReadOnlyFileOfATablesFamilyIsNamed) {
  fs::permissions(root_ / "live" / "tovo.yg0", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::string said = testing_support::RunAsOrdinaryUser(root_, [&] { return CheckBeforeUpdate(Folders()).value_or("passed"); });
  const std::string head = "テーブル[" + Shown("live", "tovo.db") + "]を開けませんでした。\r\n\r\n";
  EXPECT_EQ(said.substr(0, head.size()), head) << said;
  EXPECT_NE(said.find("tovo.yg0"), std::string::npos) << "the file is named: " << said;
  EXPECT_NE(said.find(std::strerror(EACCES)), std::string::npos) << said;
}

TEST_F(UpdateCheckTest, ReadOnlyDataFolderIsNamed) {
  fs::permissions(root_ / "demo", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const std::string said = testing_support::RunAsOrdinaryUser(root_, [&] { return CheckBeforeUpdate(Folders()).value_or("passed"); });
  const std::string head = "フォルダ[" + text::PathToUtf8(root_ / "demo") + "]に書き込むことができません。";
  EXPECT_EQ(said.substr(0, head.size()), head) << said;
  EXPECT_EQ(said.substr(said.size() - std::string(kStopped).size()), kStopped);
  EXPECT_FALSE(fs::exists(root_ / "demo" / "~NVXCHK.TMP"));
}

TEST_F(UpdateCheckTest, ReadOnlyBackupFolderIsNamed) {
  const fs::path backup = root_ / "live" / "TempData";
  fs::create_directory(backup);
  fs::permissions(backup, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  const std::string said = testing_support::RunAsOrdinaryUser(root_, [&] { return CheckBeforeUpdate(Folders()).value_or("passed"); });
  const std::string head = "フォルダ[" + text::PathToUtf8(backup) + "]に書き込むことができません。";
  EXPECT_EQ(said.substr(0, head.size()), head) << said;
}

TEST_F(UpdateCheckTest, WritableFoldersLeaveNoTrace) {
  const std::string said = testing_support::RunAsOrdinaryUser(root_, [&] { return CheckBeforeUpdate(Folders()).value_or("passed"); });
  EXPECT_EQ(said, "passed");
  for (const char* f : {"live", "demo"}) EXPECT_FALSE(fs::exists(root_ / f / "~NVXCHK.TMP"));
}

// An index file held by another program (a backup tool, a second copy of the application that
// only reads it) stops the migration halfway; the check names its table.
TEST_F(UpdateCheckTest, IndexFileHeldByAnotherProcessIsNamedAsInUse) {
  testing_support::HeldElsewhere held(root_ / "live" / "tovo.xg0", false);
  ASSERT_TRUE(held.Holding());
  EXPECT_EQ(CheckBeforeUpdate(Folders()),
            "テーブル[" + Shown("live", "tovo.db") + "]はほかのプログラムが使用中です。"
            "ほかのプログラムを終了してから、もう一度アップデートを実行してください。" + kStopped);
}
#endif

TEST(UpdateCheckRoomTest, RoomNeededCountsEachTablesFamily) {
  const fs::path dir = testing_support::FreshTempDir("update-room");
  WriteFileBytes(dir / "tovo.db", std::string(1000, 'x'));
  WriteFileBytes(dir / "TOVO.PX", std::string(200, 'x'));
  WriteFileBytes(dir / "tovo_seibi.db", std::string(5000, 'x'));  // not of the family
  WriteFileBytes(dir / "bicycle.db", std::string(3000, 'x'));
  const std::string folder = text::PathToUtf8(dir);
  // Rebuilt tovo (1,200) once, its backup once more in the live folder; the largest widened
  // table (bicycle, 3,000) rewritten.
  EXPECT_EQ(updatecheck::EstimatedNeed(folder, false), 1200u + 3000u);
  EXPECT_EQ(updatecheck::EstimatedNeed(folder, true), 2400u + 3000u);
}

}  // namespace
