#pragma once
// What FindFiles and CopyMatchingFiles need of the file system; FileOps_win32.cpp and
// FileOps_posix.cpp supply it. Paths use "\" separators on every platform.

#include <cstdint>
#include <functional>
#include <string>

namespace fileops {

struct FoundEntry {
  std::string name;
  std::uint32_t attributes;
};

// Calls `visit` for each entry of `folderWithBackslash` + "*.*", "." and ".." included, while
// the enumeration is open. A missing folder yields nothing; a folder that cannot be listed, or
// whose listing breaks off, raises FolderListError (the enumeration passes the fault gate as a
// listing).
void EnumerateFolder(const std::string& folderWithBackslash,
                     const std::function<void(const FoundEntry&)>& visit);

void SetEntryAttributes(const std::string& path, std::uint32_t attributes);

// Copies `from` to `to`, replacing `to`; false on failure.
bool CopyReplacing(const std::string& from, const std::string& to);

}  // namespace fileops
