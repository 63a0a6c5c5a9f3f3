// The exported entries of UNLHA32.DLL.

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "text/CodePage.h"
#include "unlha32/CommandLine.h"
#include "unlha32/Extractor.h"
#include "unlha32/ResultCodes.h"

namespace {

constexpr WORD kVersion = 100;  // 1.00

std::atomic<bool> g_running{false};

std::wstring FromAnsi(LPCSTR s) {
  if (!s) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
  w.resize(static_cast<std::size_t>(n - 1));
  return w;
}

std::string ToAnsi(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// The report, cut so that it never ends inside a double-byte character and always ends in NUL.
void CopyReport(const std::wstring& report, LPSTR output, DWORD size) {
  if (!output || size == 0) return;
  const std::string ansi = ToAnsi(report);
  std::string_view cut = ansi;
  if (cut.size() > size - 1) {
    cut = GetACP() == text::kShiftJis ? text::CutShiftJis(ansi, size - 1) : cut.substr(0, size - 1);
  }
  std::memcpy(output, cut.data(), cut.size());
  output[cut.size()] = '\0';
}

struct RunningFlag {
  ~RunningFlag() { g_running.store(false); }
};

// Disables the owner window for the call, as archiver DLLs do, and enables it again after.
struct OwnerDisabled {
  explicit OwnerDisabled(HWND w) : wnd(w && IsWindow(w) && IsWindowEnabled(w) ? w : nullptr) {
    if (wnd) EnableWindow(wnd, FALSE);
  }
  ~OwnerDisabled() {
    if (wnd) EnableWindow(wnd, TRUE);
  }
  HWND wnd;
};

}  // namespace

extern "C" {

int WINAPI Unlha(HWND owner, LPCSTR command, LPSTR output, DWORD size) {
  if (g_running.exchange(true)) {
    CopyReport(L"Error 0x801F: another call is still running\r\n", output, size);
    return unlha32::kErrorAlreadyRunning;
  }
  RunningFlag running;
  try {
    OwnerDisabled disabled(owner);
    const std::optional<unlha32::CommandLine> cl = unlha32::ParseCommandLine(FromAnsi(command));
    if (!cl) {
      CopyReport(L"Error 0x801C: unknown command or no archive named\r\n", output, size);
      return unlha32::kErrorCommandName;
    }
    const unlha32::Outcome outcome = unlha32::RunCommand(*cl);
    CopyReport(outcome.report, output, size);
    return outcome.code;
  } catch (...) {
    CopyReport(L"Error 0x801E: out of memory\r\n", output, size);
    return unlha32::kErrorEnoughMemory;
  }
}

WORD WINAPI UnlhaGetVersion(void) { return kVersion; }

BOOL WINAPI UnlhaGetRunning(void) { return g_running.load() ? TRUE : FALSE; }

}  // extern "C"
