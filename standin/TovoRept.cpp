// TovoRept.DLL: the report library that Tovo.EXE loads. Its one export tells the caller which
// report-layout revision the library carries.
#include <windows.h>

extern "C" __declspec(dllexport) int __stdcall TovoReportRevision() { return 19436; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
