// The stand-in Tovo.EXE shows the two signs of life the updater looks for, the global atom
// "Tovo.EXE" and a top-level window titled "トヴォ顧客管理", and drops the atom on every way out.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "os/WinHandles.h"
#include "support/TestPaths.h"

namespace {

constexpr wchar_t kTitle[] = L"トヴォ顧客管理";

class Process {
 public:
  explicit Process(const std::filesystem::path& exe) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    PROCESS_INFORMATION info = {};
    started_ = CreateProcessW(exe.wstring().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, nullptr, &si, &info) != 0;
    if (started_) {
      handles_ = win32::ProcessHandles(info);
      id_ = info.dwProcessId;
    }
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process() {
    if (!started_) return;
    if (WaitForSingleObject(handles_.process.Get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(handles_.process.Get(), 1);
      WaitForSingleObject(handles_.process.Get(), 5000);
    }
  }
  bool Started() const { return started_; }
  DWORD Id() const { return id_; }
  bool WaitForExit(DWORD ms) { return WaitForSingleObject(handles_.process.Get(), ms) == WAIT_OBJECT_0; }

 private:
  win32::ProcessHandles handles_;
  DWORD id_ = 0;
  bool started_ = false;
};

// The stand-in's top-level window, waited for with a generous deadline (the first Wine start of
// a program can take seconds).
HWND WaitForWindowOf(DWORD processId) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    HWND window = FindWindowW(nullptr, kTitle);
    DWORD owner = 0;
    if (window) GetWindowThreadProcessId(window, &owner);
    if (window && owner == processId) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return nullptr;
}

// FindWindow sees the window from CreateWindowEx on, a moment before the stand-in shows it.
bool BecomesVisible(HWND window) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!IsWindowVisible(window)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool AtomPresent() { return GlobalFindAtomA("Tovo.EXE") != 0; }

class TovoRunning : public ::testing::TestWithParam<const char*> {
 protected:
  std::filesystem::path Exe() const {
    return testing_support::BinaryDir() / "standin" / GetParam() / "Tovo.EXE";
  }
};

TEST_P(TovoRunning, HoldsAtomAndTitledWindowUntilClosed) {
  ASSERT_FALSE(AtomPresent()) << "another Tovo.EXE is running";
  Process tovo(Exe());
  ASSERT_TRUE(tovo.Started()) << Exe();
  HWND window = WaitForWindowOf(tovo.Id());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(AtomPresent());
  // The updater looks the atom up through the ANSI name and FindWindowA with the Shift-JIS title.
  EXPECT_NE(FindWindowA(nullptr, "\x83\x67\x83\x94\x83\x48\x8c\xda\x8b\x71\x8a\xc7\x97\x9d"), nullptr);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_EQ(std::wstring(title), kTitle);
  EXPECT_EQ(GetAncestor(window, GA_ROOT), window);
  EXPECT_TRUE(BecomesVisible(window));

  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(tovo.WaitForExit(10000));
  EXPECT_FALSE(AtomPresent());
  EXPECT_EQ(FindWindowW(nullptr, kTitle), nullptr);
}

TEST_P(TovoRunning, DropsAtomWhenTheSessionEnds) {
  ASSERT_FALSE(AtomPresent()) << "another Tovo.EXE is running";
  Process tovo(Exe());
  ASSERT_TRUE(tovo.Started());
  HWND window = WaitForWindowOf(tovo.Id());
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(AtomPresent());
  // A FALSE WM_ENDSESSION (the session goes on) keeps it; TRUE drops it before any WM_DESTROY.
  SendMessageW(window, WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(AtomPresent());
  SendMessageW(window, WM_ENDSESSION, TRUE, 0);
  EXPECT_FALSE(AtomPresent());
  EXPECT_TRUE(IsWindow(window));
  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(tovo.WaitForExit(10000));
  EXPECT_FALSE(AtomPresent());
}

INSTANTIATE_TEST_SUITE_P(BothVersions, TovoRunning, ::testing::Values("bin", "old"));

}  // namespace
