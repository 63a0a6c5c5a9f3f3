// SETUP.EXE: the update program. One window; the program ends when it closes.

#include <windows.h>

#include "app/UpForm.h"
#include "framework/Forms.h"

namespace {

// Users start SETUP.EXE from wherever a browser or mail program saved it, a folder any web page
// can drop files into, and Windows looks for a library named without a path in the program's
// own folder first and in the current folder too. From here on only the system folder is
// searched, for our own loads and for everything the shell loads into the process (the folder
// browser, the shell's delete). SetDefaultDllDirectories came with an update of Windows 7;
// called directly, it would keep the program from starting on a Windows 7 without it.
void SearchLibrariesInTheSystemFolderOnly() {
  SetDllDirectoryW(L"");  // takes the current folder out of the search
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  SearchLibrariesInTheSystemFolderOnly();
  try {
    Application->Initialize();
    Application->SetTitle("Norvex アップデートプログラム");
    Application->CreateForm(UpDateForm);
    Application->Run();
  } catch (...) {
    // Only start-up can get here (the message loop reports its own errors): without a window
    // there is nothing to go on with.
    Application->HandleCurrentException();
    return 1;
  }
  return 0;
}
