#pragma once
// Folders on drive letters mapped to network folders. An elevated process does not see the
// drive letters the user mapped (each logon session has its own), yet shops often keep their
// tables on one; Windows records each persistent mapping of the user under
// HKEY_CURRENT_USER\Network\<letter>, value RemotePath ("\\server\share"), through which the
// folder can still be reached. Paths are UTF-8 with "\" separators.

#include <optional>
#include <string>

namespace fileops {

// The drive letter of "X:\..." or "X:" (upper case), else std::nullopt.
std::optional<char> DriveLetterOf(const std::string& path);

// `path` with its "X:" replaced by `remotePath`: "Q:\Data" on "\\nas\shop" is "\\nas\shop\Data".
std::string OnRemotePath(const std::string& path, const std::string& remotePath);

#ifdef _WIN32
struct MappedDrive {
  char letter = 0;
  std::string remotePath;
  bool reachable = false;  // the folder exists under the network path
};

// For a path whose drive letter this process cannot see while the user's mapping of that letter
// is recorded: the mapping, and whether `path` can be reached through it. Otherwise std::nullopt.
std::optional<MappedDrive> UnseenMappedDrive(const std::string& path);
#endif

}  // namespace fileops
