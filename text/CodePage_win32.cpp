// Code-page conversions of the Windows build, through the system's own tables.
#include <windows.h>

#include "text/CodePage.h"
#include "text/CodePageSystem.h"

namespace text::os {

std::string ToUtf8(std::string_view bytes, unsigned codePage) {
  if (bytes.empty()) return {};
  std::string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    // Convert one character at a time: an invalid byte becomes U+FFFD on its own.
    int len = (codePage == kShiftJis && IsShiftJisLeadByte(static_cast<unsigned char>(bytes[i])) &&
               i + 1 < bytes.size())
                  ? 2
                  : 1;
    wchar_t w[4];
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + i, len, w, 4);
    if (n <= 0) {
      out += "\xEF\xBF\xBD";
      i += 1;
      continue;
    }
    out += Narrow(std::wstring_view(w, n));
    i += len;
  }
  return out;
}

std::optional<std::string> FromUtf8(std::string_view utf8, unsigned codePage) {
  if (Utf16ToUtf8(Utf8ToUtf16(utf8)) != utf8) return std::nullopt;
  if (utf8.empty()) return std::string();
  std::wstring w = Widen(utf8);
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), nullptr, 0,
                              nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string out(n, '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                      &usedDefault);
  if (usedDefault) return std::nullopt;
  return out;
}

}  // namespace text::os
