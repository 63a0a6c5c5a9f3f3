#pragma once
// TRegIniFile: a key of the current user's registry hive read like an INI file, sections being
// subkeys and idents string values. Only what the update run needs: reading one string.

#include <windows.h>

#include <string>

#include "framework/SysUtils.h"
#include "os/WinHandles.h"

// A value that is there but is not text.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

class TRegIniFile {
 public:
  // Opens HKEY_CURRENT_USER\`keyPath` with full access, creating the key when it is missing
  // (one leading backslash is allowed). A key that can be neither opened nor created leaves the
  // reader without a key: every read gives its default.
  explicit TRegIniFile(const std::string& keyPath);

  // The string value `ident` of subkey `section` (opened for reading, never created);
  // `defaultValue` when the subkey or the value is missing. A value of another type raises
  // ERegistryException "Invalid data type for 'ident'".
  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& defaultValue) const;

 private:
  win32::UniqueKey FKey;
};
