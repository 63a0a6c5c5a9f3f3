#include <windows.h>

#include <shellapi.h>

#include <string>

#include "fileops/FileOps.h"
#include "fileops/FileOpsPlatform.h"
#include "os/FaultInjection.h"
#include "os/GatedCall.h"
#include "os/WinHandles.h"
#include "text/CodePage.h"

namespace fileops {

std::string SystemErrorText(const std::error_code& error) {
  const auto code = static_cast<DWORD>(error.value());
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const win32::UniqueLocal owned(buffer);
  std::wstring message = n ? std::wstring(buffer, n) : L"";
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
    message.pop_back();
  return text::Narrow(message) + " (error " + std::to_string(code) + ")";
}

void EnumerateFolder(const std::string& folderWithBackslash,
                     const std::function<void(const FoundEntry&)>& visit) {
  const auto fail = [&](DWORD error) {
    throw FolderListError(std::error_code(static_cast<int>(error), std::system_category()), folderWithBackslash);
  };
  if (auto fault = os::FaultGate(os::FileOperation::kList)) fail(os::FaultWin32Error(*fault));
  WIN32_FIND_DATAW data;
  win32::UniqueFind find(FindFirstFileW(text::Widen(folderWithBackslash + "*.*").c_str(), &data));
  if (!find) {
    const DWORD error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) return;
    fail(error);
  }
  do {
    visit({text::Narrow(data.cFileName), data.dwFileAttributes});
  } while (FindNextFileW(find.Get(), &data));
  if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) fail(error);
}

void SetEntryAttributes(const std::string& path, std::uint32_t attributes) {
  SetFileAttributesW(text::Widen(path).c_str(), attributes);
}

bool CopyReplacing(const std::string& from, const std::string& to) {
  if (auto fault = os::FaultGate(os::FileOperation::kCopy)) {
    SetLastError(os::FaultWin32Error(*fault));
    return false;
  }
  return CopyFileW(text::Widen(from).c_str(), text::Widen(to).c_str(), FALSE) != 0;
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(text::Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

WriteResult WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  const auto size = static_cast<DWORD>(bytes.size());
  win32::UniqueFile file(os::Gated(os::FileOperation::kOpen, INVALID_HANDLE_VALUE, [&] {
    return CreateFileW(text::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }));
  if (!file) return {WriteResult::Stage::kCreate, 0, GetLastError()};
  DWORD written = 0;
  if (!os::Gated(os::FileOperation::kWrite, FALSE,
                 [&] { return WriteFile(file.Get(), bytes.data(), size, &written, nullptr); }) ||
      written != size)
    return {WriteResult::Stage::kWrite, written, GetLastError()};
  return {};
}

bool CreateOneFolder(const std::string& path) {
  return os::Gated(os::FileOperation::kMakeFolder, FALSE,
               [&] { return CreateDirectoryW(text::Widen(path).c_str(), nullptr); }) != 0;
}

bool DeleteOneFile(const std::string& path) {
  return os::Gated(os::FileOperation::kDelete, FALSE, [&] { return DeleteFileW(text::Widen(path).c_str()); }) != 0;
}

void DeleteFolder(HWND owner, const std::string& path) {
  // An empty source list would make the shell act on the current folder.
  if (path.empty()) return;
  // A refused deletion goes unreported, as the shell's own failures do.
  if (os::FaultGate(os::FileOperation::kDelete)) return;
  std::wstring from = text::Widen(path);
  from.push_back(L'\0');  // the list ends with two zero characters; c_str() adds the second
  SHFILEOPSTRUCTW operation = {};
  operation.hwnd = owner;
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NOCONFIRMATION;
  SHFileOperationW(&operation);
}

bool ReadClassesRootDefault(const std::string& keyPath, std::string& value) {
  win32::UniqueKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, text::Widen(keyPath).c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
    return false;
  // The whole value, however long: a command line may exceed any fixed buffer.
  DWORD type = 0, bytes = 0;
  value.clear();
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return true;
  std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return true;
  buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
  if (type == REG_EXPAND_SZ) {
    const DWORD needed = ExpandEnvironmentStringsW(buffer.c_str(), nullptr, 0);
    std::wstring expanded(needed, L'\0');
    if (needed && ExpandEnvironmentStringsW(buffer.c_str(), expanded.data(), needed)) {
      expanded.resize(wcsnlen(expanded.c_str(), expanded.size()));
      buffer = expanded;
    }
  }
  value = text::Narrow(buffer);
  return true;
}

void OpenDocument(const std::string& document, int showCommand) {
  const std::wstring wideDocument = text::Widen(document);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wideDocument.c_str(), nullptr, nullptr, showCommand));
  if (result > 32) return;

  // Whatever the document, fall back on the program that opens web pages.
  std::string command;
  if (!ReadClassesRootDefault(".htm", command)) return;
  command += "\\shell\\open\\command";
  if (!ReadClassesRootDefault(command, command)) return;
  std::wstring commandLine = text::Widen(RemoveDocumentPlaceholder(command) + " " + document);

  // WinExec takes only ANSI text; CreateProcessW with the same command line and show command
  // keeps any character of the path and the document.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    win32::UniqueKernelHandle thread(process.hThread);
    win32::UniqueKernelHandle owned(process.hProcess);
  }
}

}  // namespace fileops
