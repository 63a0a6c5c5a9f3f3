// The migration run in a child process that dies after each of its file operations, and at
// random moments: every record must then be found under its table's own name (once the table
// layer has opened it and finished what was interrupted) or in the backup, and a second run
// must complete with every record in place.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <set>

#include "MigrationTestSupport.h"
#include "engine/Table.h"
#include "migration/MigrationPasses.h"
#include "paradox/EngineError.h"
#include "paradox/TableFamily.h"

namespace {

namespace fs = std::filesystem;
using namespace migration_test;

struct Keyed {
  const char* table;
  std::vector<const char*> key;
};
const Keyed kTables[] = {{"tovo.db", {"SYARYOU_NO", "SYATAI_NO"}},
                         {"kokyaku.db", {"ID"}},
                         {"bigtovo.db", {"SYATAI_NO"}},
                         {"bicycle.db", {"TOUROKU_NO"}}};

std::string KeyOf(const Row& r, const Keyed& k) {
  std::string key;
  for (const char* f : k.key) key += r.count(f) && r.at(f) ? *r.at(f) + "|" : "-|";
  return key;
}

std::set<std::string> KeysIn(const fs::path& dir, const std::string& table, const Keyed& k) {
  std::set<std::string> keys;
  if (!paradox::FindDataFile(dir, table)) return keys;
  for (const Row& r : ReadTable(dir, table).rows) keys.insert(KeyOf(r, k));
  return keys;
}

// Opens the table through the table layer, which first completes an interrupted restructure or
// swap (also one that had removed the old data file before the crash).
void OpenAndClose(const fs::path& dir, const std::string& table) {
  TTable t;
  migration::PrepareTable(t, Utf8Path(dir), table);
  try {
    t.Open();
  } catch (const EDBEngineError&) {
    return;  // no table of that name; the records must then be in the backup
  }
  t.Close();
}

void CopyFolder(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::copy(from, to, fs::copy_options::recursive);
}

bool Migrate(const Installation& inst, const migration::MigrationProbe& probe = {}) {
  RecordingUi ui;
  return migration::MigrateTables(ui, migration::FixedFolders(Utf8Path(inst.live), Utf8Path(inst.demo)), probe);
}

class CrashSafety : public testing::Test {
 protected:
  void SetUp() override {
    // Each test's folders are its own: the tests of this program run at the same time.
    tag_ = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(tag_.begin(), tag_.end(), '/', '-');
    pristine_ = MakeInstallation("crash-pristine-" + tag_, {.customers = 8, .demoCustomers = 3, .tovoNote = true});
    for (const Keyed& k : kTables) {
      sourceKeys_[{0, k.table}] = KeysIn(pristine_.live, k.table, k);
      sourceKeys_[{1, k.table}] = KeysIn(pristine_.demo, k.table, k);
    }
    Installation clean = Fresh("crash-clean");
    probes_ = 0;
    ASSERT_TRUE(Migrate(clean, [&](std::string_view) { ++probes_; }));
    finalState_ = State(clean);
  }

  Installation Fresh(const std::string& name) {
    Installation inst = pristine_;
    inst.root = pristine_.root.parent_path() / ("migration-" + name + "-" + tag_);
    inst.live = inst.root / "Data";
    inst.demo = inst.root / "Demo";
    fs::remove_all(inst.root);
    fs::create_directories(inst.root);
    CopyFolder(pristine_.live, inst.live);
    CopyFolder(pristine_.demo, inst.demo);
    return inst;
  }

  std::map<std::string, std::vector<std::string>> State(const Installation& inst) {
    std::map<std::string, std::vector<std::string>> s;
    for (const char* t : {"TOVO", "KOKYAKU", "BIGTOVO", "bicycle"}) {
      s[std::string("live ") + t] = Canonical(ReadTable(inst.live, t).rows);
      s[std::string("demo ") + t] = Canonical(ReadTable(inst.demo, t).rows);
    }
    return s;
  }

  // After a crash: every source record somewhere it can be found; then a rerun completes.
  void CheckAfterCrash(const Installation& inst, const std::string& when) {
    SCOPED_TRACE(when);
    for (int folder = 0; folder < 2; ++folder) {
      const fs::path dir = folder == 0 ? inst.live : inst.demo;
      for (const Keyed& k : kTables) {
        OpenAndClose(dir, k.table);
        std::set<std::string> found = KeysIn(dir, k.table, k);
        if (folder == 0) {
          std::set<std::string> backup = KeysIn(dir / "TempData", k.table, k);
          found.insert(backup.begin(), backup.end());
        }
        for (const std::string& key : sourceKeys_[{folder, k.table}])
          ASSERT_TRUE(found.count(key)) << k.table << " record " << key << " lost in " << dir;
      }
    }
    ASSERT_TRUE(Migrate(inst));
    EXPECT_EQ(State(inst), finalState_);
  }

  std::string tag_;
  Installation pristine_;
  std::map<std::pair<int, std::string>, std::set<std::string>> sourceKeys_;
  std::map<std::string, std::vector<std::string>> finalState_;
  int probes_ = 0;
};

// The child dies right after the `stopAt`-th file operation, as if the power went.
void RunChildUntil(const Installation& inst, int stopAt) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int seen = 0;
    try {
      Migrate(inst, [&](std::string_view) {
        if (++seen == stopAt) _exit(0);
      });
    } catch (...) {
      _exit(2);
    }
    _exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "the run ended before file operation " << stopAt;
}

// Every second file operation, so that the run stays within the test's time; the operations
// alternate between kinds (delete, rename, copy, journal), so each kind is hit. The points are
// dealt to two lanes, run as two tests at once: lane r takes operations 1 + 2r, 5 + 2r, ...
class CrashSafetyLane : public CrashSafety, public testing::WithParamInterface<int> {};

TEST_P(CrashSafetyLane, KilledAfterEachFileOperation) {
  ASSERT_GT(probes_, 100);
  for (int k = 1 + 2 * GetParam(); k <= probes_; k += 4) {
    Installation inst = Fresh("crash-at");
    RunChildUntil(inst, k);
    CheckAfterCrash(inst, "after file operation " + std::to_string(k) + " of " + std::to_string(probes_));
    if (HasFatalFailure() || HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(EverySecondOperation, CrashSafetyLane, testing::Values(0, 1));

TEST_F(CrashSafety, KilledAtRandomMoments) {
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Migrate(Fresh("crash-timing")));
  const auto runMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  std::mt19937 random(20261208);
  for (int round = 0; round < 4; ++round) {
    Installation inst = Fresh("crash-random");
    const int delayMs = static_cast<int>(random() % static_cast<unsigned>(std::max<long long>(runMs, 1)));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Migrate(inst);
      _exit(0);
    }
    usleep(static_cast<useconds_t>(delayMs) * 1000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    CheckAfterCrash(inst, "killed after " + std::to_string(delayMs) + " ms");
    if (HasFailure()) return;
  }
}

}  // namespace
#else
TEST(CrashSafety, NeedsFork) { GTEST_SKIP() << "the crash tests fork; they run in the native build"; }
#endif
