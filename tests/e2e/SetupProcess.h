#pragma once
// Starts SETUP.EXE as a process of its own, the way a user does, and gives the test a handle on
// it: its top-level windows, its exit code. The process is terminated when the object goes
// away and it is still running, so a failing test leaves nothing behind.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "os/WinHandles.h"

namespace e2e {

// The SETUP.EXE this build made.
std::filesystem::path SetupExePath();

class SetupProcess {
 public:
  // Starts `exe` with `workingDir` as its current folder (the exe's own folder when empty).
  // Throws std::runtime_error when the process cannot be created.
  explicit SetupProcess(const std::filesystem::path& exe, const std::filesystem::path& workingDir = {});
  ~SetupProcess();
  SetupProcess(const SetupProcess&) = delete;
  SetupProcess& operator=(const SetupProcess&) = delete;

  DWORD Id() const { return id_; }

  // Top-level windows of the process right now, in z-order; hidden ones only when asked.
  std::vector<HWND> TopLevelWindows(bool includeHidden = false) const;

  // Waits until the process shows a visible top-level window with exactly this caption; null
  // when the process ends or the time runs out first.
  HWND WaitForWindow(const std::wstring& caption, std::chrono::milliseconds timeout) const;

  // Waits for the process to end; its exit code, or std::nullopt when it is still running.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout) const;

 private:
  win32::ProcessHandles handles_;
  DWORD id_ = 0;
};

std::wstring WindowText(HWND hwnd);
// A left click in the middle of a window, as the mouse would make it (posted, so it works
// across processes).
void ClickMiddle(HWND hwnd);
std::wstring ClassName(HWND hwnd);

}  // namespace e2e
