#include "unlha32/CommandLine.h"

#include <cwctype>

namespace unlha32 {
namespace {

struct Word {
  std::wstring text;
  bool quotedStart = false;
};

std::vector<Word> SplitWords(const std::wstring& line) {
  std::vector<Word> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
    if (i >= line.size()) break;
    Word w;
    w.quotedStart = line[i] == L'"';
    bool inQuotes = false;
    while (i < line.size() && (inQuotes || (line[i] != L' ' && line[i] != L'\t'))) {
      if (line[i] == L'"') {
        inQuotes = !inQuotes;
      } else {
        w.text += line[i];
      }
      ++i;
    }
    words.push_back(std::move(w));
  }
  return words;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return s;
}

bool EndsLikeFolder(const std::wstring& s) {
  return !s.empty() && (s.back() == L'\\' || s.back() == L'/' || s.back() == L':');
}

}  // namespace

bool CommandLine::HasSwitch(const std::wstring& name) const {
  for (const std::wstring& s : switches)
    if (s == name) return true;
  return false;
}

std::optional<CommandLine> ParseCommandLine(const std::wstring& line) {
  std::vector<Word> words = SplitWords(line);
  CommandLine cl;
  std::size_t i = 0;
  if (!words.empty() && !words[0].quotedStart && words[0].text.size() == 1 && words[0].text[0] != L'-' &&
      words[0].text[0] != L'/') {
    const wchar_t c = static_cast<wchar_t>(std::towlower(words[0].text[0]));
    if (c != L'e' && c != L'x' && c != L'l' && c != L'v' && c != L't') return std::nullopt;
    cl.command = c;
    i = 1;
  }
  wchar_t switchChar = 0;  // fixed by the first switch
  for (; i < words.size(); ++i) {
    const Word& w = words[i];
    const bool looksLikeSwitch = !w.quotedStart && w.text.size() >= 2 &&
                                 (w.text[0] == L'-' || (w.text[0] == L'/' && switchChar != L'-'));
    if (looksLikeSwitch && (switchChar == 0 || switchChar == w.text[0])) {
      switchChar = w.text[0];
      cl.switches.push_back(Lower(w.text.substr(1)));
      continue;
    }
    if (cl.archive.empty()) {
      cl.archive = w.text;
    } else if (cl.baseFolder.empty() && cl.patterns.empty() && EndsLikeFolder(w.text)) {
      cl.baseFolder = w.text;
    } else {
      cl.patterns.push_back(w.text);
    }
  }
  if (cl.archive.empty()) return std::nullopt;
  return cl;
}

bool MatchesPattern(const std::wstring& name, const std::wstring& pattern) {
  auto norm = [](wchar_t c) {
    if (c == L'/') return L'\\';
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
    return c;
  };
  std::size_t n = 0, p = 0, starP = std::wstring::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == L'?' || norm(pattern[p]) == norm(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == L'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::wstring::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

}  // namespace unlha32
