// libFuzzer target: the command line our UNLHA32.DLL receives from its caller. The input is
// UTF-16LE text, as the DLL's entry hands it over after conversion; a 0 unit splits it into
// the command line and a member name that every pattern of the parsed line is matched
// against (the matcher sees names from archives, which are outside bytes too).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "unlha32/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring line, name;
  std::wstring* into = &line;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const wchar_t unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    if (unit == 0 && into == &line) {
      into = &name;
      continue;
    }
    into->push_back(unit);
  }
  const auto parsed = unlha32::ParseCommandLine(line);
  if (!parsed) return 0;
  if (parsed->archive.empty()) std::abort();
  for (const std::wstring& pattern : parsed->patterns) {
    // A pattern always matches itself once its wildcards stand for themselves.
    if (pattern.find_first_of(L"*?") == std::wstring::npos && !unlha32::MatchesPattern(pattern, pattern))
      std::abort();
    (void)unlha32::MatchesPattern(name, pattern);
  }
  (void)unlha32::MatchesPattern(name, parsed->archive);
  (void)parsed->HasSwitch(L"a");
  return 0;
}
