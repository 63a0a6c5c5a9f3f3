#include <windows.h>

#include "os/WinHandles.h"
#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"

namespace paradox {

namespace {

// The call's result, or the gate's fault as the call would have reported it.
template <typename Call>
bool Gated(os::FileOperation op, Call call) {
  if (auto fault = os::FaultGate(op)) {
    SetLastError(os::FaultWin32Error(*fault));
    return false;
  }
  return call();
}

bool Missing(DWORD e) { return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND; }

}  // namespace

void ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!Gated(os::FileOperation::kRename, [&] {
        return MoveFileExW(from.wstring().c_str(), to.wstring().c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      }))
    RaiseEngineError(EngineMessage::kCannotRename, "Windows error " + std::to_string(GetLastError()), PathText(from));
}

void RemoveFile(const std::filesystem::path& path) {
  if (Gated(os::FileOperation::kDelete, [&] { return DeleteFileW(path.wstring().c_str()) != 0; })) return;
  const DWORD e = GetLastError();
  if (!Missing(e))
    RaiseEngineError(EngineMessage::kCannotDelete, "Windows error " + std::to_string(e), PathText(path));
}

bool RemoveFileIfPossible(const std::filesystem::path& path) noexcept {
  return Gated(os::FileOperation::kDelete, [&] { return DeleteFileW(path.wstring().c_str()) != 0; }) ||
         Missing(GetLastError());
}

bool MakeFolder(const std::filesystem::path& path) {
  if (Gated(os::FileOperation::kMakeFolder, [&] { return CreateDirectoryW(path.wstring().c_str(), nullptr) != 0; }))
    return true;
  const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void SyncDirectory(const std::filesystem::path& dir) {
  // Nothing to flush, but the folder is opened as on POSIX, so that one that cannot be reached
  // is reported the same way.
  const bool opened = Gated(os::FileOperation::kOpen, [&] {
    win32::UniqueFile folder(CreateFileW(dir.empty() ? L"." : dir.wstring().c_str(), FILE_LIST_DIRECTORY,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return static_cast<bool>(folder);
  });
  if (opened) return;
  const DWORD e = GetLastError();
  if (e == ERROR_SHARING_VIOLATION) RaiseEngineError(EngineMessage::kTableBusy, {}, PathText(dir));
  RaiseEngineError(EngineMessage::kCannotOpen, "Windows error " + std::to_string(e), PathText(dir));
}

}  // namespace paradox
