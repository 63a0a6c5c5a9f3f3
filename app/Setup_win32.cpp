// SETUP.EXE: the update program. One window; the program ends when it closes.

#include <windows.h>

#include "app/UpForm.h"
#include "framework/Forms.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
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
