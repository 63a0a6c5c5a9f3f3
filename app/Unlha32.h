#pragma once
// TUnlha32: the LHA extraction library UNLHA32.DLL, loaded at run time from the folders where
// Windows keeps shared libraries, and from nowhere else. The wrapper passes one command line
// through to the library's "Unlha" entry; it neither builds nor checks it and does not read the
// library's result. Windows only.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "os/WinHandles.h"

class TUnlha32 {
 public:
  // "Unlha": owner window, command line (ANSI code page), output buffer, its size.
  using TUnlhaEntry = int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD);

  static constexpr std::int32_t kBufferSize = 60000;
  // Shown when the library cannot be loaded; \n\r\n\r is the line break as the text has it.
  static constexpr const char* kMissingLibraryText =
      "バックアップが正常に実行できません.\n\r\n\r"
      "ファイル名 UNLHA32.DLL がありません.ディレクトリ\\WINDOWS\\SYSTEM\\にコピーしてください.";

  // Loads UNLHA32.DLL by its full path from the first of these folders that has one that
  // loads: the system directory, the Windows directory's SYSTEM folder, the Windows directory.
  // A copy in the program's own folder or the current folder is never loaded. When none can
  // be loaded, shows kMissingLibraryText in an error box with an OK button and leaves with
  // the silent abort (EAbort).
  TUnlha32();
  TUnlha32(const TUnlha32&) = delete;
  TUnlha32& operator=(const TUnlha32&) = delete;
  virtual ~TUnlha32();

  // Looks up UnlhaGetVersion, UnlhaGetRunning and Unlha. True when there is no library and
  // nothing was bound; false after binding, whether or not every name was found.
  virtual bool BindEntryPoints();

  // Hands `commandLine` (UTF-8) to Unlha with no owner window and the output buffer. The
  // library takes text in the system's ANSI code page: a command line that cannot be written
  // in it raises Exception rather than reach the library with characters replaced. Does
  // nothing when Unlha was not found.
  virtual void Execute(const std::string& commandLine);

  // What the last Execute got back, for support staff's log: the library's result code
  // (std::nullopt when nothing was run) and its report from the output buffer (UTF-8).
  std::optional<int> LastResult() const { return FLastResult; }
  std::string Report() const;

  // The full path of the library loaded, as the loader names it (UTF-8), for the log.
  std::string LibraryPath() const;

 private:
  std::int32_t FBufferSize = 0;
  std::unique_ptr<char[]> FBuffer;
  win32::UniqueModule FLibrary;
  FARPROC FGetVersion = nullptr;
  FARPROC FGetRunning = nullptr;
  TUnlhaEntry FUnlha = nullptr;
  std::optional<int> FLastResult;
};
