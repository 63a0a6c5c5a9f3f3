#include "app/Unlha32.h"

#include "framework/Dialogs.h"
#include "framework/SysUtils.h"
#include "text/CodePage.h"

#include <cstring>
#include <vector>

namespace {

constexpr wchar_t kLibraryName[] = L"UNLHA32.DLL";

std::wstring FolderOf(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH];
  const UINT n = query(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// SETUP.EXE is started from wherever a browser saved it; a library of this name dropped into
// that folder (or the current one) would otherwise run inside it, so only full paths into the
// folders where Windows keeps shared libraries are tried.
std::vector<std::wstring> LibraryCandidates() {
  // For a 32-bit process on 64-bit Windows GetSystemDirectoryW still names System32, and the
  // file system's redirection takes that name to SysWOW64, where the 32-bit libraries are: one
  // call serves both kinds of Windows. (GetSystemWow64DirectoryW would name SysWOW64 directly
  // but fails on 32-bit Windows.)
  const std::wstring system = FolderOf(GetSystemDirectoryW);
  // Not GetWindowsDirectoryW: on a terminal server that is a folder of the user's own.
  const std::wstring windows = FolderOf(GetSystemWindowsDirectoryW);
  std::vector<std::wstring> paths;
  if (!system.empty()) paths.push_back(system + L"\\" + kLibraryName);
  if (!windows.empty()) {
    const std::wstring base = windows.back() == L'\\' ? windows : windows + L"\\";
    paths.push_back(base + L"SYSTEM\\" + kLibraryName);
    paths.push_back(base + kLibraryName);
  }
  return paths;
}

HMODULE LoadFromSystemFolders() {
  for (const std::wstring& path : LibraryCandidates())
    if (HMODULE module = LoadLibraryW(path.c_str())) return module;
  return nullptr;
}

}  // namespace

TUnlha32::TUnlha32() : FLibrary(LoadFromSystemFolders()) {
  if (!FLibrary) {
    MessageDlg(kMissingLibraryText, mtError, {mbOK});
    Abort();
  }
  FBufferSize = kBufferSize;
  // The library writes its report here; only the log reads it back, up to the first zero byte.
  FBuffer.reset(new char[static_cast<std::size_t>(FBufferSize)]);
}

TUnlha32::~TUnlha32() = default;

bool TUnlha32::BindEntryPoints() {
  if (!FLibrary) return true;
  FGetVersion = GetProcAddress(FLibrary.Get(), "UnlhaGetVersion");
  FGetRunning = GetProcAddress(FLibrary.Get(), "UnlhaGetRunning");
  FUnlha = reinterpret_cast<TUnlhaEntry>(reinterpret_cast<void*>(GetProcAddress(FLibrary.Get(), "Unlha")));
  return false;
}

void TUnlha32::Execute(const std::string& commandLine) {
  if (!FUnlha) return;
  const std::optional<std::string> ansi = text::FromUtf8(commandLine, GetACP());
  if (!ansi)
    throw Exception("The extraction command line cannot be written in code page " + std::to_string(GetACP()) +
                    ": " + commandLine);
  FBuffer[0] = '\0';
  FLastResult = FUnlha(nullptr, ansi->c_str(), FBuffer.get(), static_cast<DWORD>(FBufferSize));
}

std::string TUnlha32::Report() const {
  if (!FBuffer || !FLastResult) return {};
  const std::size_t n = strnlen(FBuffer.get(), static_cast<std::size_t>(FBufferSize));
  return text::ToUtf8(std::string_view(FBuffer.get(), n), GetACP());
}

std::string TUnlha32::LibraryPath() const {
  if (!FLibrary) return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(FLibrary.Get(), path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return text::Narrow(path.substr(0, n));
    path.resize(path.size() * 2);
  }
}
