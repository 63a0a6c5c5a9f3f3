// A library someone dropped beside SETUP.EXE or into the current folder under the name
// UNLHA32.DLL: it has the three entries of the real one, and being loaded leaves a mark, its own
// path appended as a line to the file that the environment variable NORVEX_PLANTED_MARKER names.
#include <windows.h>

namespace {

void LeaveMark(HINSTANCE self) {
  wchar_t marker[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"NORVEX_PLANTED_MARKER", marker, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  char path[MAX_PATH * 3];
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  path[length] = '\n';
  HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, path, length + 1, &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" {

__declspec(dllexport) int WINAPI Unlha(HWND, LPCSTR, LPSTR output, DWORD size) {
  if (output && size) output[0] = '\0';
  return 0;
}
__declspec(dllexport) WORD WINAPI UnlhaGetVersion(void) { return 1; }
__declspec(dllexport) BOOL WINAPI UnlhaGetRunning(void) { return FALSE; }

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) LeaveMark(self);
  return TRUE;
}

}  // extern "C"
