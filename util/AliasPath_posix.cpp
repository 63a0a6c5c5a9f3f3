#include <filesystem>
#include <system_error>

#include "util/AliasPath.h"

bool FolderExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_directory(std::filesystem::path(std::u8string(path.begin(), path.end())), ec);
}

void SelectFolder(const std::string&, std::string& folder) { folder.clear(); }
