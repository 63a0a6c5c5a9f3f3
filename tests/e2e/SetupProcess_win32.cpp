#include "SetupProcess.h"

#include <stdexcept>
#include <thread>

#include "support/TestPaths.h"

namespace e2e {
namespace {

struct EnumState {
  DWORD pid;
  bool includeHidden;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
  auto* state = reinterpret_cast<EnumState*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == state->pid && (state->includeHidden || IsWindowVisible(hwnd))) state->windows.push_back(hwnd);
  return TRUE;
}

}  // namespace

std::filesystem::path SetupExePath() {
  return testing_support::BinaryDir() / "app" / "SETUP.EXE";
}

SetupProcess::SetupProcess(const std::filesystem::path& exe, const std::filesystem::path& workingDir) {
  std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
  std::wstring dir = workingDir.empty() ? exe.parent_path().wstring() : workingDir.wstring();
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      dir.c_str(), &si, &pi)) {
    throw std::runtime_error("cannot start " + exe.string() + ": error " + std::to_string(GetLastError()));
  }
  handles_ = win32::ProcessHandles(pi);
  id_ = pi.dwProcessId;
  // Lets the test find the windows as soon as the program waits for input.
  WaitForInputIdle(handles_.process.Get(), 10000);
}

SetupProcess::~SetupProcess() {
  if (WaitForSingleObject(handles_.process.Get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(handles_.process.Get(), 99);
    WaitForSingleObject(handles_.process.Get(), 5000);
  }
}

std::vector<HWND> SetupProcess::TopLevelWindows(bool includeHidden) const {
  EnumState state{id_, includeHidden, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
  return state.windows;
}

HWND SetupProcess::WaitForWindow(const std::wstring& caption, std::chrono::milliseconds timeout) const {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (HWND w : TopLevelWindows())
      if (WindowText(w) == caption) return w;
    if (WaitForSingleObject(handles_.process.Get(), 0) == WAIT_OBJECT_0) return nullptr;
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::optional<DWORD> SetupProcess::WaitForExit(std::chrono::milliseconds timeout) const {
  if (WaitForSingleObject(handles_.process.Get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(handles_.process.Get(), &code);
  return code;
}

std::wstring WindowText(HWND hwnd) {
  // WM_GETTEXT rather than GetWindowText: the latter does not ask windows of other processes.
  LRESULT n = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  n = SendMessageW(hwnd, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()));
  s.resize(static_cast<size_t>(n));
  return s;
}

void ClickMiddle(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

std::wstring ClassName(HWND hwnd) {
  wchar_t buf[256];
  int n = GetClassNameW(hwnd, buf, 256);
  return std::wstring(buf, n > 0 ? n : 0);
}

}  // namespace e2e
