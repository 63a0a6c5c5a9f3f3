#pragma once
// Text conversions. The program holds text as UTF-8; table data and ANSI-era form strings are
// bytes in a Windows code page (932, Shift-JIS, for this product); Win32 takes UTF-16.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

constexpr unsigned kShiftJis = 932;

// Decodes bytes of code page `codePage` to UTF-8. Bytes that do not form a character of the
// code page become U+FFFD, so the result is always valid UTF-8.
std::string ToUtf8(std::string_view bytes, unsigned codePage = kShiftJis);

// Encodes UTF-8 into code page `codePage`; std::nullopt when some character has no exact
// representation there (no best-fit substitutions) or the input is not valid UTF-8.
std::optional<std::string> FromUtf8(std::string_view utf8, unsigned codePage = kShiftJis);

// UTF-8 <-> UTF-16 (as char16_t, which is wchar_t's layout on Windows). Invalid UTF-8 sequences
// become U+FFFD; unpaired surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// True when byte b can start a double-byte character in Shift-JIS (code page 932).
constexpr bool IsShiftJisLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The longest prefix of `bytes` of at most `maxBytes` bytes that does not end inside a
// double-byte character of code page 932.
std::string_view CutShiftJis(std::string_view bytes, std::size_t maxBytes);

#ifdef _WIN32
inline std::wstring Widen(std::string_view utf8) {
  std::u16string s = Utf8ToUtf16(utf8);
  return std::wstring(s.begin(), s.end());
}
inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
#endif

}  // namespace text
