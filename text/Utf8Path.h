#pragma once
// Paths from and to the program's UTF-8 text. A std::filesystem::path made from a plain
// std::string is read in the ANSI code page on Windows; these go through UTF-8 explicitly.

#include <filesystem>
#include <string>
#include <string_view>

namespace text {

inline std::filesystem::path PathFromUtf8(std::string_view s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace text
