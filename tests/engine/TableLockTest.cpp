// Opening a table that another program holds. The other program is this test program started
// again as a holder: it opens the table, says so with a file, and keeps it open until told.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>

#include "os/WinHandles.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "engine/Session.h"
#include "engine/Table.h"
#include "paradox/EngineError.h"
#include "support/TestPaths.h"

namespace {

constexpr char kHoldDir[] = "NORVEX_TABLE_HOLD_DIR";
constexpr char kHoldMode[] = "NORVEX_TABLE_HOLD_MODE";

std::string Utf8(const std::filesystem::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

bool WaitFor(const std::filesystem::path& p, std::chrono::seconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!std::filesystem::exists(p)) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// In the holder process: hold the table, then leave before the tests run.
int RunHolderIfAsked() {
  const char* dir = std::getenv(kHoldDir);
  if (!dir) return 0;
  const char* mode = std::getenv(kHoldMode);
  std::filesystem::path folder = std::filesystem::path(std::u8string(dir, dir + std::strlen(dir)));
  int rc = 0;
  try {
    TTable t;
    t.SetDatabaseName(dir);
    t.SetTableName("kokyaku.db");
    t.SetTableType(ttParadox);
    t.SetExclusive(mode && std::string(mode) == "exclusive");
    t.Open();
    std::ofstream(folder / "ready") << "1";
    WaitFor(folder / "release", std::chrono::seconds(60));
  } catch (const std::exception& e) {
    std::ofstream(folder / "failed") << e.what();
    rc = 1;
  }
  std::_Exit(rc);
}

const int kHolder = RunHolderIfAsked();

class Holder {
 public:
  Holder(const std::filesystem::path& dir, const char* mode) : dir_(dir) {
#ifdef _WIN32
    SetEnvironmentVariableW(L"NORVEX_TABLE_HOLD_DIR", dir.wstring().c_str());
    SetEnvironmentVariableW(L"NORVEX_TABLE_HOLD_MODE", std::wstring(mode, mode + std::strlen(mode)).c_str());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    started_ = CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
    if (started_) process_ = win32::ProcessHandles(pi);
    SetEnvironmentVariableW(L"NORVEX_TABLE_HOLD_DIR", nullptr);
    SetEnvironmentVariableW(L"NORVEX_TABLE_HOLD_MODE", nullptr);
#else
    pid_ = fork();
    if (pid_ == 0) {
      setenv(kHoldDir, Utf8(dir).c_str(), 1);
      setenv(kHoldMode, mode, 1);
      execl("/proc/self/exe", "holder", static_cast<char*>(nullptr));
      _exit(127);
    }
    started_ = pid_ > 0;
#endif
  }

  ~Holder() { Release(); }

  bool Ready() { return started_ && WaitFor(dir_ / "ready", std::chrono::seconds(30)); }

  // Lets the holder close the table and waits for it to end; true when it ended cleanly.
  bool Release() {
    if (!started_) return false;
    std::ofstream(dir_ / "release") << "1";
    started_ = false;
#ifdef _WIN32
    WaitForSingleObject(process_.process.Get(), 30000);
    DWORD code = 1;
    GetExitCodeProcess(process_.process.Get(), &code);
    process_ = {};
    return code == 0;
#else
    int status = 0;
    waitpid(pid_, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
  }

 private:
  std::filesystem::path dir_;
  bool started_ = false;
#ifdef _WIN32
  win32::ProcessHandles process_;
#else
  pid_t pid_ = -1;
#endif
};

class TableLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kHolder, 0);
    dir_ = testing_support::FreshTempDir(std::string("TableLock_") +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Session().SetConfigFile(dir_ / "NO-IDAPI32.CFG");
    TTable t;
    Prepare(t, true);
    t.FieldDefs().Add("ID", ftInteger, 0, true);
    t.FieldDefs().Add("NAME", ftString, 32, false);
    t.IndexDefs().Add("", "ID", ixPrimary | ixUnique);
    t.CreateTable();
    t.Open();
    t.Append();
    t.FieldByName("ID").SetAsInteger(1);
    t.FieldByName("NAME").SetAsString("ONE");
    t.Post();
  }
  void TearDown() override { Session().SetConfigFile({}); }

  void Prepare(TTable& t, bool exclusive) {
    t.SetDatabaseName(Utf8(dir_));
    t.SetTableName("kokyaku.db");
    t.SetTableType(ttParadox);
    t.SetExclusive(exclusive);
  }

  void ExpectBusy(TTable& t) {
    try {
      t.Open();
      FAIL() << "opened while another program holds the table";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), EngineErrorCode::kFileLocked) << e.what();
    }
    EXPECT_FALSE(t.Active());
  }

  std::filesystem::path dir_;
};

TEST_F(TableLockTest, ExclusiveOpenRefusedWhileAnotherProgramHasItExclusively) {
  Holder holder(dir_, "exclusive");
  ASSERT_TRUE(holder.Ready()) << "holder did not start: " << (std::filesystem::exists(dir_ / "failed") ? testing_support::ReadFileBytes(dir_ / "failed") : "");
  TTable exclusive, shared;
  Prepare(exclusive, true);
  Prepare(shared, false);
  ExpectBusy(exclusive);
  ExpectBusy(shared);
  ASSERT_TRUE(holder.Release());
  exclusive.Open();
  EXPECT_EQ(exclusive.FieldByName("NAME").AsString(), "ONE");
}

TEST_F(TableLockTest, ExclusiveOpenRefusedWhileAnotherProgramReadsIt) {
  Holder holder(dir_, "shared");
  ASSERT_TRUE(holder.Ready()) << "holder did not start";
  TTable exclusive;
  Prepare(exclusive, true);
  ExpectBusy(exclusive);
  // Reading alongside is fine; writing is not.
  TTable reader;
  Prepare(reader, false);
  reader.Open();
  EXPECT_EQ(reader.RecordCount(), 1);
  EXPECT_THROW(reader.Append(), EDBEngineError);
  reader.Close();
  ASSERT_TRUE(holder.Release());
  exclusive.Open();
  EXPECT_TRUE(exclusive.Active());
}

}  // namespace
