#include <windows.h>

#include "os/WinHandles.h"
#include "text/CodePage.h"
#include "fileops/MappedDrive.h"

namespace fileops {
namespace {

// The user's recorded mapping of `letter`, or empty.
std::wstring RecordedRemotePath(char letter) {
  const std::wstring key = std::wstring(L"Network\\") + static_cast<wchar_t>(letter);
  win32::UniqueKey handle;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, handle.Receive()) != ERROR_SUCCESS) return {};
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(handle.Get(), L"RemotePath", nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegQueryValueExW(handle.Get(), L"RemotePath", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  value.resize(wcsnlen(value.c_str(), value.size()));
  return value;
}

}  // namespace

std::optional<MappedDrive> UnseenMappedDrive(const std::string& path) {
  const std::optional<char> letter = DriveLetterOf(path);
  if (!letter) return std::nullopt;
  const wchar_t root[] = {static_cast<wchar_t>(*letter), L':', L'\\', L'\0'};
  if (GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR) return std::nullopt;
  const std::wstring remote = RecordedRemotePath(*letter);
  if (remote.empty()) return std::nullopt;
  MappedDrive drive{*letter, text::Narrow(remote), false};
  const DWORD attributes = GetFileAttributesW(text::Widen(OnRemotePath(path, drive.remotePath)).c_str());
  drive.reachable = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return drive;
}

}  // namespace fileops
