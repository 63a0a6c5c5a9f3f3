// TovoData.DLL: the data-access library that Tovo.EXE loads. Its one export tells the caller
// which table-structure revision the library expects.
#include <windows.h>

extern "C" __declspec(dllexport) int __stdcall TovoDataRevision() { return 19436; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
