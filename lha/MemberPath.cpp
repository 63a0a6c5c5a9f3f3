#include "lha/MemberPath.h"

#include <algorithm>
#include <cctype>

#include "lha/LhaError.h"
#include "text/Ascii.h"
#include "text/CodePage.h"

namespace lha {
namespace {

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = 1;
    if (c >= 0x80) {
      if (c >= 0xC2 && c <= 0xDF) len = 2;
      else if (c >= 0xE0 && c <= 0xEF) len = 3;
      else if (c >= 0xF0 && c <= 0xF4) len = 4;
      else return false;
      if (i + len > s.size()) return false;
      for (std::size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

[[noreturn]] void Refuse(std::string_view stored, const std::string& why) {
  ThrowLhaError(ErrorKind::UnsafeName, why, std::string(stored));
}

void CheckComponent(std::string_view stored, const std::string& c) {
  if (c == "..") Refuse(stored, "name climbs out of the destination folder");
  for (unsigned char ch : c) {
    if (ch < 0x20 || ch == '<' || ch == '>' || ch == ':' || ch == '"' || ch == '|' || ch == '?' || ch == '*' || ch == '\\')
      Refuse(stored, "name holds a character Windows does not allow");
  }
  if (c.back() == '.' || c.back() == ' ') Refuse(stored, "name ends in a dot or blank");
  if (IsDeviceName(c)) Refuse(stored, "name is a device name");
}

}  // namespace

std::string StoredPathToUtf8(std::string_view stored) {
  std::string asCp932 = text::ToUtf8(stored, text::kShiftJis);
  std::optional<std::string> back = text::FromUtf8(asCp932, text::kShiftJis);
  if (back && *back == stored) return asCp932;
  if (IsValidUtf8(stored)) return std::string(stored);
  return asCp932;
}

std::string ShownPath(std::string_view stored) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::string utf8 = StoredPathToUtf8(stored);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    // A C1 control is 0xC2 followed by 0x80..0x9F in UTF-8; it is shown by its code.
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    const bool c1 = c == 0xC2 && next >= 0x80 && next <= 0x9F;
    if (c1) c = static_cast<unsigned char>(utf8[++i]);
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c < 0x20 || c == 0x7F || c1) out += std::string("\\x") + kHex[c >> 4] + kHex[c & 0xF];
    else out += utf8[i];
  }
  return out;
}

bool IsDeviceName(std::string_view component) {
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string u = text::AsciiUpper(base);
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* n : kNames)
    if (u == n) return true;
  if (u.size() == 4 && (u.starts_with("COM") || u.starts_with("LPT")) && u[3] >= '1' && u[3] <= '9') return true;
  return false;
}

std::vector<std::string> SafeDestination(std::string_view stored, bool keepFolders) {
  const std::string path = StoredPathToUtf8(stored);
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  if (!keepFolders) {
    std::string last = parts.back();
    if (last.empty() || last == "." || last == "..") Refuse(stored, "no file name");
    CheckComponent(stored, last);
    return {last};
  }
  if (!path.empty() && path[0] == '/') Refuse(stored, "absolute name");
  if (path.size() >= 2 && path[1] == ':') Refuse(stored, "name with a drive");
  std::vector<std::string> out;
  for (const std::string& c : parts) {
    if (c.empty() || c == ".") continue;
    CheckComponent(stored, c);
    out.push_back(c);
  }
  if (out.empty()) Refuse(stored, "no file name");
  return out;
}

}  // namespace lha
