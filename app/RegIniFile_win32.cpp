#include "app/RegIniFile.h"

#include <vector>

#include "text/CodePage.h"

TRegIniFile::TRegIniFile(const std::string& keyPath) {
  std::string path = keyPath;
  if (!path.empty() && path.front() == '\\') path.erase(0, 1);
  if (RegCreateKeyExW(HKEY_CURRENT_USER, text::Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, FKey.Receive(), nullptr) != ERROR_SUCCESS)
    FKey.Release();  // a failed call leaves no key to close
}

std::string TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& defaultValue) const {
  if (!FKey) return defaultValue;
  win32::UniqueKey sub;
  if (RegOpenKeyExW(FKey.Get(), text::Widen(section).c_str(), 0, KEY_READ, sub.Receive()) != ERROR_SUCCESS)
    return defaultValue;
  const std::wstring name = text::Widen(ident);
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExW(sub.Get(), name.c_str(), nullptr, &type, nullptr, &size);
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
  if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ))
    rc = RegQueryValueExW(sub.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  if (rc != ERROR_SUCCESS) return defaultValue;
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    throw ERegistryException("Invalid data type for '" + ident + "'");
  // The stored size may or may not count a terminating zero.
  std::wstring value(data.data(), size / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return text::Narrow(value);
}
