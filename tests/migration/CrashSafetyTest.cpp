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

namespace {

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
    probes_ = 0;
    ASSERT_TRUE(Migrate(clean, [&](std::string_view) { ++probes_; }));
    finalState_ = StateOf(clean);
  }

  Installation Fresh(const std::string& name) const { return CopyInstallation(pristine_, name + "-" + tag_); }

  // After a crash: every source record somewhere it can be found; then a rerun completes.
  void CheckAfterCrash(const Installation& inst, const std::string& when) {
    SCOPED_TRACE(when);
    const std::string lost = FirstLostRecord(inst, sourceKeys_, true);
    ASSERT_EQ(lost, "") << "lost";
    ASSERT_TRUE(Migrate(inst));
    EXPECT_EQ(StateOf(inst), finalState_);
  }

  std::string tag_;
  Installation pristine_;
  SourceKeys sourceKeys_;
  MigratedState finalState_;
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
