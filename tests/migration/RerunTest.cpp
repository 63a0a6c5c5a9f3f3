// The update run again: after a failed step, after a power cut, with a file another program
// holds, and on an installation already migrated. Every record stays, every backup is kept,
// and what the user is told is true.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "MigrationTestSupport.h"
#include "engine/Table.h"
#include "migration/MigrationMessages.h"
#include "migration/MigrationPasses.h"
#include "os/FaultInjection.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"
#ifndef _WIN32
#include <unistd.h>

#include "support/OtherProcess.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace migration_test;

class Rerun : public testing::Test {
 protected:
  void SetUp() override {
    tag_ = testing::UnitTest::GetInstance()->current_test_info()->name();
    sample::SampleOptions options;
    options.customers = 12;
    options.demoCustomers = 4;
    options.tovoNote = true;
    inst_ = MakeInstallation("rerun-" + tag_, options);
    original_ = testing_support::FreshTempDir("rerun-original-" + tag_) / "Data";
    fs::copy(inst_.live, original_, fs::copy_options::recursive);
    sources_ = KeysOfSources(inst_);
  }

  std::vector<updatecheck::AliasFolder> Folders() const {
    return {{"Tovo", Utf8Path(inst_.live)}, {"TovoDemo", Utf8Path(inst_.demo)}};
  }

  // A record the shop's own program adds to the live tovo table between two runs.
  void AddMoped(const std::string& tableName, const std::string& plate) {
    TTable t;
    migration::PrepareTable(t, Utf8Path(inst_.live), tableName);
    t.Open();
    t.Append();
    t.FieldByName("SYARYOU_NO").SetAsString(plate);
    t.FieldByName("SYATAI_NO").SetAsString("FRAME-" + plate);
    t.FieldByName("ID").SetAsInteger(1);
    t.Post();
    t.Close();
  }

  int RecordsOf(const fs::path& dir, const std::string& table) const {
    return static_cast<int>(ReadTable(dir, table).rows.size());
  }

  std::string tag_;
  Installation inst_;
  fs::path original_;
  SourceKeys sources_;
};

bool HasRowWith(const TableImage& t, const std::string& field, const std::string& value) {
  return std::any_of(t.rows.begin(), t.rows.end(), [&](const Row& r) { return r.count(field) && r.at(field) == value; });
}

// Another program holds the live tovo table when the swap comes to delete it: the swap gives up
// before anything irrevocable, so the shop's later work is what the next run migrates.
TEST_F(Rerun, FailedFirstDeletionLeavesTheOldTableInForce) {
  bool armed = false;
  RecordingUi ui;
  const bool migrated = migration::MigrateTables(
      ui, migration::AliasFolders(Utf8Path(inst_.live), Utf8Path(inst_.demo)), [&](std::string_view what) {
        if (!armed && what == "checked NewTovo") {
          armed = true;
          os::ArmFault({os::InjectedFault::kSharingViolation, os::FileOperation::kDelete, 1, false});
        }
      });
  const std::uint64_t fired = os::FaultsFired();
  os::DisarmFault();
  ASSERT_TRUE(armed);
  ASSERT_EQ(fired, 1u);
  EXPECT_FALSE(migrated);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text.rfind(migration::RebuildFailureLine(migration::RebuildFailure::kTovo), 0), 0u)
      << ui.messages[0].text;
  EXPECT_FALSE(paradox::FindDataFile(inst_.live, "TOVO~RB.JNL")) << "no journal waits to act on a later open";
  const int before = RecordsOf(inst_.live, "tovo.db");

  AddMoped("tovo.db", "NEW-0001");
  UpdateOutcome rerun = SettleCheckMigrate(inst_);
  EXPECT_TRUE(rerun.settled.done.empty());
  ASSERT_EQ(rerun.refusal, std::nullopt);
  ASSERT_TRUE(rerun.migrated);
  const TableImage tovo = ReadTable(inst_.live, "TOVO");
  EXPECT_EQ(static_cast<int>(tovo.rows.size()), before + 1);
  EXPECT_TRUE(HasRowWith(tovo, "SYARYOU_NO", "NEW-0001"));
  EXPECT_EQ(FirstTableNotBackedUp(original_, inst_.live / "TempData"), "");
}

// A rerun over tables already migrated: the check passes (on a case-sensitive file system the
// tables are TOVO.DB and so on by then), every record stays as it was, and the first run's
// backup, the only copy of the tables as they were before the update, is kept.
TEST_F(Rerun, SecondRunKeepsRecordsAndTheFirstBackup) {
  ASSERT_TRUE(Migrate(inst_));
  const MigratedState first = StateOf(inst_);
  const auto firstBackup = FolderBytes(inst_.live / "TempData");
  ASSERT_FALSE(firstBackup.empty());
  ASSERT_EQ(updatecheck::CheckBeforeUpdate(Folders()), std::nullopt);
  std::map<std::string, std::vector<std::string>> migrated;
  for (const char* t : {"TOVO", "KOKYAKU", "BIGTOVO"}) migrated[t] = Canonical(ReadTable(inst_.live, t).rows);

  UpdateOutcome rerun = SettleCheckMigrate(inst_);
  ASSERT_EQ(rerun.refusal, std::nullopt);
  ASSERT_TRUE(rerun.migrated);
  EXPECT_EQ(StateOf(inst_), first);

  // The first run's copies moved, whole, into one folder named after the second run's start.
  std::vector<fs::path> aside;
  for (const auto& e : fs::directory_iterator(inst_.live / "TempData"))
    if (e.is_directory()) aside.push_back(e.path());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(Utf8Path(aside[0].filename()).size(), std::string("20261209-101500").size());
  EXPECT_EQ(FolderBytes(aside[0]), firstBackup);
  EXPECT_EQ(FirstTableNotBackedUp(original_, inst_.live / "TempData"), "");
  // The backup folder itself holds the second run's copies: the tables as the first run left them.
  for (const auto& [table, rows] : migrated) EXPECT_EQ(Canonical(ReadTable(inst_.live / "TempData", table).rows), rows);
}

// Both aliases naming one folder: its tables are rebuilt twice in one run, and the second
// backup would overwrite the first, the tables as they were before the update.
TEST_F(Rerun, OneFolderForBothAliasesKeepsTheOriginalBackup) {
  RecordingUi ui;
  ASSERT_TRUE(migration::MigrateTables(ui, migration::AliasFolders(Utf8Path(inst_.live), Utf8Path(inst_.live))));
  EXPECT_EQ(FirstTableNotBackedUp(original_, inst_.live / "TempData"), "");
}

// Files an earlier backup left that the table no longer has (a secondary index dropped since),
// and a copy another program made read-only: neither stays beside this run's copy, and
// neither stops the backup.
TEST_F(Rerun, StaleAndReadOnlyBackupFilesMoveAside) {
  const fs::path backup = inst_.live / "TempData";
  fs::create_directories(backup);
  testing_support::WriteFileBytes(backup / "TOVO.X05", "an index of an older program");
  fs::copy_file(inst_.live / "tovo.px", backup / "TOVO.PX");
  fs::permissions(backup / "TOVO.PX", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ASSERT_TRUE(Migrate(inst_));
  EXPECT_FALSE(fs::exists(backup / "TOVO.X05"));
  bool keptStale = false;
  for (const auto& e : fs::recursive_directory_iterator(backup))
    keptStale = keptStale || (e.path().filename() == "TOVO.X05" &&
                              testing_support::ReadFileBytes(e.path()) == "an index of an older program");
  EXPECT_TRUE(keptStale);
  EXPECT_EQ(FirstTableNotBackedUp(original_, backup), "");
  // Windows cannot remove a read-only file: the next run of this test would find it.
  for (const auto& e : fs::recursive_directory_iterator(backup))
    if (e.is_regular_file()) fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
}

#ifndef _WIN32
// The child runs the migration and dies as the power would go, right after the file operation
// the probe reports as `what`, at the first report for which `when` holds.
void MigrateUntil(const Installation& inst, std::string_view what, const std::function<bool()>& when) {
  const int status = MigrateInChild(inst, {}, [&](std::string_view done) {
    if (done == what && when()) _exit(0);
  });
  ASSERT_EQ(status, 0) << "the run never reached " << what;
}

// A power cut just after the demo folder's swap journal was written; on the next run another
// program briefly holds the swap's lock. That table stops with its failure line and the
// engine's text, nothing is lost, and a run once the lock is free completes.
TEST_F(Rerun, JournalWhoseLockIsHeldStopsThatTable) {
  Installation clean = CopyInstallation(inst_, "rerun-clean-" + tag_);
  ASSERT_TRUE(Migrate(clean));
  MigrateUntil(inst_, "swap TOVO~RB.JNL", [&] { return fs::exists(inst_.demo / "TOVO~RB.JNL"); });
  ASSERT_TRUE(fs::exists(inst_.demo / "TOVO~RB.JNL"));
  {
    testing_support::HeldElsewhere held(inst_.demo / "TOVO~RB.LCK", true);
    ASSERT_TRUE(held.Holding());
    UpdateOutcome blocked = SettleCheckMigrate(inst_);
    ASSERT_TRUE(blocked.settled.failure);
    const std::string line(migration::RebuildFailureLine(migration::RebuildFailure::kTovo));
    EXPECT_EQ(blocked.settled.failure->rfind(line + "\r\r", 0), 0u) << *blocked.settled.failure;
    EXPECT_GT(blocked.settled.failure->size(), line.size() + 2) << "the engine's text follows";
    EXPECT_FALSE(blocked.migrated);
    // The migration on its own, without settling first, stops at that table too.
    RecordingUi ui;
    EXPECT_FALSE(migration::MigrateTables(ui, migration::AliasFolders(Utf8Path(inst_.live), Utf8Path(inst_.demo))));
    EXPECT_EQ(FirstLostRecord(inst_, sources_, false), "");
    EXPECT_EQ(RecordsOf(inst_.demo, "NewTovo"), RecordsOf(inst_.demo, "tovo.db")) << "the new table was not emptied";
  }
  UpdateOutcome rerun = SettleCheckMigrate(inst_);
  ASSERT_FALSE(rerun.settled.failure);
  ASSERT_EQ(rerun.refusal, std::nullopt);
  ASSERT_TRUE(rerun.migrated);
  EXPECT_EQ(StateOf(inst_), StateOf(clean));
}

// A power cut after the swap had deleted the old data file: the check alone changes nothing,
// settling completes the swap and says so, and a refusal after settling does not claim that
// nothing was changed.
TEST_F(Rerun, CheckChangesNothingAndSettlingIsTold) {
  MigrateUntil(inst_, "swap tovo.db", [] { return true; });
  ASSERT_TRUE(fs::exists(inst_.live / "TOVO~RB.JNL"));
  const auto live = TreeBytes(inst_.live);
  const auto demo = TreeBytes(inst_.demo);
  updatecheck::CheckBeforeUpdate(Folders());
  EXPECT_EQ(TreeBytes(inst_.live), live);
  EXPECT_EQ(TreeBytes(inst_.demo), demo);

  std::optional<testing_support::HeldElsewhere> held;
  held.emplace(inst_.demo / "bicycle.db", true);  // something the check refuses
  ASSERT_TRUE(held->Holding());
  UpdateOutcome refused = SettleCheckMigrate(inst_);
  held.reset();
  ASSERT_EQ(refused.settled.done.size(), 1u);
  EXPECT_TRUE(refused.settled.done[0].completed);
  ASSERT_TRUE(refused.refusal);
  EXPECT_EQ(refused.refusal->find("何も変更していません"), std::string::npos) << *refused.refusal;
  EXPECT_NE(refused.refusal->find(refused.settled.done[0].Describe()), std::string::npos) << *refused.refusal;
  EXPECT_FALSE(fs::exists(inst_.live / "TOVO~RB.JNL"));
  EXPECT_EQ(FirstLostRecord(inst_, sources_, false), "");
}
#endif

}  // namespace
