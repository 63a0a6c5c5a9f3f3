// Stands in for a web browser in the document-opener tests: appends the command line it was
// started with and the show command it was given, as one UTF-8 line, to the file named by the
// environment variable NORVEX_RECORD_TO.
#include <windows.h>

#include <string>

#include "os/WinHandles.h"
#include "text/CodePage.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t target[MAX_PATH];
  if (GetEnvironmentVariableW(L"NORVEX_RECORD_TO", target, MAX_PATH) == 0) return 2;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
  const std::string line = text::Narrow(GetCommandLineW()) + "\tshow=" + std::to_string(show) + "\n";
  win32::UniqueFile file(CreateFileW(target, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  DWORD written = 0;
  WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  return 0;
}
