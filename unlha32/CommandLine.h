#pragma once
// The command line of Unlha:
//   [command] [-switch]... archive[.LZH] [base_folder\] [file]...
// The command comes first (default l) in any case: e extracts without stored folders, x with
// them, l and v list, t tests. Switches start with "-" (then "/" inside a word is a path
// separator) or "/", and may stand anywhere after the command; words in double quotes may hold
// blanks. A base folder is the first word after the archive that ends in "\", "/" or ":".

#include <optional>
#include <string>
#include <vector>

namespace unlha32 {

struct CommandLine {
  wchar_t command = L'l';
  std::vector<std::wstring> switches;  // without the leading "-" or "/", lower case
  std::wstring archive;
  std::wstring baseFolder;             // empty: the current folder
  std::vector<std::wstring> patterns;  // member names to act on; empty: all

  bool HasSwitch(const std::wstring& name) const;
};

// std::nullopt when the command word is not one of e, x, l, v, t or the archive is missing.
std::optional<CommandLine> ParseCommandLine(const std::wstring& line);

// Wildcard match ("*" and "?"), case-insensitive for ASCII; "/" and "\" are the same.
bool MatchesPattern(const std::wstring& name, const std::wstring& pattern);

}  // namespace unlha32
