// The migration killed under Windows' own file layer (exclusive opens, MoveFileEx, the flush of a
// folder): pdx migrate, the same settle, check and migration SETUP.EXE runs, is ended with
// TerminateProcess at moments spread over its run; the next update then settles, passes its
// check and migrates to the state a clean run reaches, with the original backup kept.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "MigrationTestSupport.h"
#include "os/WinHandles.h"
#include "support/TestPaths.h"

namespace {

namespace fs = std::filesystem;
using namespace migration_test;

// pdx migrate over `inst` as a process of its own, ended after `killAfter` unless it ends first.
// Returns whether it was killed.
bool RunPdxMigrate(const Installation& inst, std::chrono::milliseconds killAfter) {
  std::wstring commandLine = L"\"" + (testing_support::BinaryDir() / "tools" / "pdx" / "pdx.exe").wstring() + L"\" migrate --live \"" +
                             inst.live.wstring() + L"\" --demo \"" + inst.demo.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &startup, &info))
      << GetLastError();
  win32::UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  if (!process) return false;
  if (WaitForSingleObject(process.Get(), static_cast<DWORD>(killAfter.count())) == WAIT_OBJECT_0) return false;
  TerminateProcess(process.Get(), 9);
  WaitForSingleObject(process.Get(), INFINITE);
  return true;
}

TEST(KilledRun, PdxMigrateEndedAtMomentsSpreadOverItsRun) {
  sample::SampleOptions options;
  options.customers = 40;
  options.demoCustomers = 8;
  const Installation pristine = MakeInstallation("killed-pristine", options);
  Installation clean = CopyInstallation(pristine, "killed-clean");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_FALSE(RunPdxMigrate(clean, std::chrono::minutes(5)));
  const auto runTime = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  const MigratedState finalState = StateOf(clean);
  ASSERT_FALSE(finalState.at("live KOKYAKU").empty()) << "the clean run migrated";

  int killed = 0;
  for (int step = 1; step <= 6; ++step) {
    const auto delay = runTime * step / 7;
    SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " ms of " + std::to_string(runTime.count()));
    Installation inst = CopyInstallation(pristine, "killed-at");
    if (RunPdxMigrate(inst, delay)) ++killed;
    UpdateOutcome rerun = SettleCheckMigrate(inst);
    ASSERT_EQ(rerun.settled.failure, std::nullopt);
    ASSERT_EQ(rerun.refusal, std::nullopt);
    ASSERT_TRUE(rerun.migrated);
    EXPECT_EQ(StateOf(inst), finalState);
    EXPECT_EQ(FirstTableNotBackedUp(pristine.live, inst.live / "TempData"), "");
  }
  EXPECT_GT(killed, 0) << "no run was cut short";
}

}  // namespace
