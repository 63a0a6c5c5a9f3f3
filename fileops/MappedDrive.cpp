#include "fileops/MappedDrive.h"

namespace fileops {

std::optional<char> DriveLetterOf(const std::string& path) {
  if (path.size() < 2 || path[1] != ':' || (path.size() > 2 && path[2] != '\\' && path[2] != '/')) return std::nullopt;
  const char c = path[0];
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return c;
  return std::nullopt;
}

std::string OnRemotePath(const std::string& path, const std::string& remotePath) {
  std::string base = remotePath;
  while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  std::string rest = path.substr(2);
  if (rest.empty() || rest == "\\" || rest == "/") return base;
  return base + rest;
}

}  // namespace fileops
