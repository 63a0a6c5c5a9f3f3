#include <windows.h>

#include "os/WinHandles.h"
#include "paradox/EngineConfig.h"
#include "text/CodePage.h"

namespace paradox {
namespace {

std::filesystem::path FromUtf8(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

}  // namespace

std::optional<std::filesystem::path> RegisteredEngineConfigFile() {
  // The engine is a 32-bit program: on 64-bit Windows its key lives in the 32-bit view, which a
  // 32-bit process sees anyway; the flag makes the intent explicit and keeps a 64-bit build right.
  win32::UniqueKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Borland\\Database Engine", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.Receive()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), L"CONFIGFILE01", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t))
    return std::nullopt;
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.Get(), L"CONFIGFILE01", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &got) !=
      ERROR_SUCCESS)
    return std::nullopt;
  // The stored string need not carry its terminating zero.
  value.resize(wcsnlen(value.c_str(), got / sizeof(wchar_t)));
  if (type == REG_EXPAND_SZ) {
    DWORD need = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    if (need > 0) {
      std::wstring expanded(need, L'\0');
      if (ExpandEnvironmentStringsW(value.c_str(), expanded.data(), need) == need) {
        expanded.resize(need - 1);
        value = expanded;
      }
    }
  }
  if (value.empty()) return std::nullopt;
  return FromUtf8(text::Narrow(value));
}

std::filesystem::path ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return FromUtf8(text::Narrow(buffer)).parent_path();
}

std::filesystem::path LocateEngineConfigFile() {
  if (auto registered = RegisteredEngineConfigFile()) return *registered;
  return ProgramFolder() / "IDAPI.CFG";
}

}  // namespace paradox
