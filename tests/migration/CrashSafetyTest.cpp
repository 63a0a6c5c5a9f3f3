// The migration run in a child process that dies after each of its file operations, and at
// random moments: every record must then be found under its table's own name (once what was
// interrupted is settled) or in the backup, and the next update (settle, check, migrate) must
// complete with every record in place exactly once and the tables' original backup whole.

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
#include "support/TestPaths.h"
#include "os/FaultInjection.h"

namespace {

namespace fs = std::filesystem;
using namespace migration_test;

class CrashSafety : public testing::Test {
 protected:
  void SetUp() override {
    // Each test's folders are its own: the tests of this program run at the same time.
    tag_ = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(tag_.begin(), tag_.end(), '/', '-');
    pristine_ = MakeInstallation("crash-pristine-" + tag_, {.customers = 8, .demoCustomers = 3, .tovoNote = true});
    sourceKeys_ = KeysOfSources(pristine_);
    Installation clean = Fresh("crash-clean");
    os::ResetFileOperationCounts();
    ASSERT_TRUE(Migrate(clean));
    changes_ = os::DiskChangingOperationCount();
    finalState_ = StateOf(clean);
  }

  Installation Fresh(const std::string& name) const { return CopyInstallation(pristine_, name + "-" + tag_); }

  // After a crash: every source record somewhere it can be found; then the next update
  // settles, passes its check and completes.
  void CheckAfterCrash(const Installation& inst, const std::string& when) {
    SCOPED_TRACE(when);
    const std::string lost = FirstLostRecord(inst, sourceKeys_, true);
    ASSERT_EQ(lost, "") << "lost";
    UpdateOutcome rerun = SettleCheckMigrate(inst);
    ASSERT_EQ(rerun.settled.failure, std::nullopt);
    ASSERT_EQ(rerun.refusal, std::nullopt);
    ASSERT_TRUE(rerun.migrated);
    EXPECT_EQ(StateOf(inst), finalState_);
    EXPECT_EQ(FirstTableNotBackedUp(pristine_.live, inst.live / "TempData"), "") << "not in the backup";
  }

  std::string tag_;
  Installation pristine_;
  SourceKeys sourceKeys_;
  MigratedState finalState_;
  std::uint64_t changes_ = 0;  // the file operations of a run that may change the disk
};

// Both folders of `inst` as they are now, below `into`.
Installation Snapshot(const Installation& inst, const fs::path& into) {
  Installation copy = inst;
  copy.root = into;
  copy.live = into / "Data";
  copy.demo = into / "Demo";
  fs::create_directories(into);
  fs::copy(inst.live, copy.live, fs::copy_options::recursive);
  fs::copy(inst.demo, copy.demo, fs::copy_options::recursive);
  return copy;
}

// A child process runs the migration of `inst` and, just before each of its operations
// `from` to `to` - 1 that change the disk, copies both folders to `into`/N: the state a run
// killed there leaves (what the process had not yet handed to the system is lost either way).
void SnapshotKilledStates(const Installation& inst, std::uint64_t from, std::uint64_t to, const fs::path& into) {
  const int status = MigrateInChild(inst, [&] {
    os::SetChangeHook([&](std::uint64_t change) {
      if (change >= from && change < to) Snapshot(inst, into / std::to_string(change));
      if (change + 1 >= to) _exit(0);
    });
  });
  ASSERT_EQ(status, 0) << "the run ended before file operation " << to - 1;
}

// Every operation that may change the disk, and so every state a killed run can leave. The
// operations are taken in windows, one run of the migration each; the windows are dealt to
// lanes run as tests of their own at the same time: lane r of n takes windows r, r + n, ...
constexpr int kLanes = 2;
constexpr std::uint64_t kWindow = 64;
class CrashSafetyLane : public CrashSafety, public testing::WithParamInterface<int> {};

TEST_P(CrashSafetyLane, KilledBeforeEachChangeToTheDisk) {
  ASSERT_GT(changes_, 100u);
  const fs::path states = testing_support::FreshTempDir("crash-states-" + tag_);
  for (std::uint64_t from = 1 + GetParam() * kWindow; from <= changes_; from += kLanes * kWindow) {
    const std::uint64_t to = std::min(from + kWindow, changes_ + 1);
    SnapshotKilledStates(Fresh("crash-run"), from, to, states);
    if (HasFatalFailure()) return;
    for (std::uint64_t k = from; k < to; ++k) {
      const fs::path state = states / std::to_string(k);
      CheckAfterCrash({state, state / "Data", state / "Demo", pristine_.options},
                      "before file operation " + std::to_string(k) + " of " + std::to_string(changes_));
      fs::remove_all(state);
      if (HasFailure()) return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryChange, CrashSafetyLane, testing::Range(0, kLanes));

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
