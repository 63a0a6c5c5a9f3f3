#include <gtest/gtest.h>

#include "text/CodePage.h"

namespace {

// "顧客" in Shift-JIS: 8C DA 8B 71.
const std::string kKokyakuSjis = "\x8C\xDA\x8B\x71";
const std::string kKokyakuUtf8 = "\xE9\xA1\xA7\xE5\xAE\xA2";

TEST(CodePage, ShiftJisRoundTrip) {
  EXPECT_EQ(text::ToUtf8(kKokyakuSjis), kKokyakuUtf8);
  EXPECT_EQ(text::FromUtf8(kKokyakuUtf8), kKokyakuSjis);
  // Half-width katakana are single bytes in Shift-JIS.
  EXPECT_EQ(text::ToUtf8("\xB1"), "\xEF\xBD\xB1");
  // The full-width blanks and brackets of the program's messages.
  EXPECT_EQ(text::FromUtf8("\xE3\x80\x80"), std::string("\x81\x40"));
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters) {
  // A lead byte at the end and a lone 0xA0 (unassigned in 932).
  EXPECT_EQ(text::ToUtf8("A\x8C"), "A\xEF\xBF\xBD");
  EXPECT_EQ(text::ToUtf8(std::string("\xA0", 1)), "\xEF\xBF\xBD");
}

TEST(CodePage, UnrepresentableTextIsRefused) {
  EXPECT_FALSE(text::FromUtf8("\xF0\x9F\x98\x80").has_value());  // an emoji
  EXPECT_FALSE(text::FromUtf8("\xC3\x28").has_value());          // broken UTF-8
}

// Text that is all ASCII passes without a conversion; it must come out as the system's
// conversion gives it, control bytes, backslash and tilde included, and text with one byte
// beyond ASCII must still be converted in full.
TEST(CodePage, AsciiTextIsTheSameInEveryCodePageThatKeepsAscii) {
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
  for (unsigned cp : {932u, 936u, 437u, 850u, 1252u, 1250u, 65001u}) {
    EXPECT_EQ(text::ToUtf8(ascii, cp), ascii) << cp;
    EXPECT_EQ(text::FromUtf8(ascii, cp), ascii) << cp;
  }
  EXPECT_EQ(text::ToUtf8("C:\\DATA ~1 " + kKokyakuSjis), "C:\\DATA ~1 " + kKokyakuUtf8);
  EXPECT_EQ(text::FromUtf8("ID 12 " + kKokyakuUtf8), "ID 12 " + kKokyakuSjis);
  EXPECT_EQ(text::ToUtf8("abc\xA0"), "abc\xEF\xBF\xBD");
  EXPECT_FALSE(text::FromUtf8("abc\xC3").has_value());
}

#ifndef _WIN32
// Not every code page keeps ASCII: IBM 864 has an Arabic percent sign at 0x25 (glibc's table).
TEST(CodePage, ACodePageThatMovesAsciiIsStillConverted) {
  EXPECT_EQ(text::ToUtf8("%", 864), "\xD9\xAA");
}
#endif

TEST(CodePage, Utf16SurrogatePairs) {
  std::u16string w = text::Utf8ToUtf16("a\xF0\x9F\x98\x80");
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[1], 0xD83D);
  EXPECT_EQ(text::Utf16ToUtf8(w), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(text::Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(CodePage, CutNeverSplitsADoubleByteCharacter) {
  std::string s = "A" + kKokyakuSjis;  // 5 bytes: A, 顧 (2), 客 (2)
  EXPECT_EQ(text::CutShiftJis(s, 5), s);
  EXPECT_EQ(text::CutShiftJis(s, 4), s.substr(0, 3));
  EXPECT_EQ(text::CutShiftJis(s, 2), "A");
  EXPECT_EQ(text::CutShiftJis(s, 0), "");
}

}  // namespace

#include <filesystem>

#include "text/Ascii.h"
#include "text/Utf8Path.h"

namespace {

TEST(Ascii, OnlyLettersAToZChangeCase) {
  // "ａ" (full-width a) is 82 81 in Shift-JIS: bytes of 0x80 and above stay as they are.
  const std::string fullWidthA = "\x82\x81";
  EXPECT_EQ(text::AsciiUpper("tovo.db" + fullWidthA), "TOVO.DB" + fullWidthA);
  EXPECT_EQ(text::AsciiLower("TOVO.PX\xC0"), "tovo.px\xC0");
  EXPECT_TRUE(text::SameTextAscii("Kokyaku.DB", "KOKYAKU.db"));
  EXPECT_FALSE(text::SameTextAscii("\x82\x81", "\x82\x60"));  // ａ and Ａ differ
  EXPECT_FALSE(text::SameTextAscii("TOVO", "TOVO_"));
}

TEST(Utf8Path, JapaneseNamesSurviveTheRoundTrip) {
  const std::string name = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 \xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80";  // テスト フォルダ
  const std::filesystem::path p = text::PathFromUtf8(name) / "TOVO.DB";
  EXPECT_EQ(text::PathToUtf8(p.parent_path()), name);
  EXPECT_EQ(text::PathToUtf8(p.filename()), "TOVO.DB");
#ifdef _WIN32
  EXPECT_EQ(p.parent_path().wstring(), L"\u30C6\u30B9\u30C8 \u30D5\u30A9\u30EB\u30C0");
#endif
}

}  // namespace
