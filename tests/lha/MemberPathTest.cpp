#include <gtest/gtest.h>

#include "lha/LhaError.h"
#include "lha/MemberPath.h"

namespace {

using Parts = std::vector<std::string>;

bool Refused(const std::string& stored, bool keepFolders) {
  try {
    lha::SafeDestination(stored, keepFolders);
  } catch (const lha::ELhaError& e) {
    EXPECT_EQ(e.Kind(), lha::ErrorKind::UnsafeName);
    EXPECT_EQ(e.Member(), stored);
    return true;
  }
  return false;
}

TEST(MemberPath, KeepsOrDropsFolders) {
  EXPECT_EQ(lha::SafeDestination("bin/sub/Tovo.EXE", true), (Parts{"bin", "sub", "Tovo.EXE"}));
  EXPECT_EQ(lha::SafeDestination("bin/sub/Tovo.EXE", false), (Parts{"Tovo.EXE"}));
  EXPECT_EQ(lha::SafeDestination("./a//b", true), (Parts{"a", "b"}));
  // Without folders, climbing and absolute prefixes simply disappear.
  EXPECT_EQ(lha::SafeDestination("../../evil.txt", false), (Parts{"evil.txt"}));
  EXPECT_EQ(lha::SafeDestination("/etc/evil.txt", false), (Parts{"evil.txt"}));
}

TEST(MemberPath, NothingLeavesTheBaseFolder) {
  EXPECT_TRUE(Refused("../evil.txt", true));
  EXPECT_TRUE(Refused("a/../../evil.txt", true));
  EXPECT_TRUE(Refused("a/..", true));
  EXPECT_TRUE(Refused("/etc/passwd", true));
  EXPECT_TRUE(Refused("C:/Windows/evil.dll", true));
  EXPECT_TRUE(Refused("C:evil.dll", true));
  EXPECT_TRUE(Refused("file.txt:stream", true));
  EXPECT_TRUE(Refused("..", false));
  EXPECT_TRUE(Refused("dir/", false));
  EXPECT_TRUE(Refused("", true));
}

TEST(MemberPath, DeviceNamesAreRefusedWithAndWithoutExtensions) {
  for (const char* n : {"CON", "nul", "NUL.txt", "Aux.dat", "PRN", "COM1", "lpt9.log", "CONIN$", "NUL .txt"}) {
    EXPECT_TRUE(Refused(n, false)) << n;
    EXPECT_TRUE(Refused(std::string("dir/") + n, true)) << n;
  }
  EXPECT_TRUE(Refused("con/file.txt", true));
  for (const char* n : {"CONFIG.SYS", "NULL.txt", "COM10", "LPT0", "AUXILIARY", "console.ini"}) EXPECT_FALSE(Refused(n, true)) << n;
}

TEST(MemberPath, NamesWindowsWouldChangeAreRefused) {
  EXPECT_TRUE(Refused("name.", true));
  EXPECT_TRUE(Refused("name ", true));
  EXPECT_TRUE(Refused("a|b", true));
  EXPECT_TRUE(Refused("a?b", true));
  EXPECT_TRUE(Refused(std::string("a\x01" "b"), true));
}

TEST(MemberPath, ShiftJisNamesBecomeUtf8) {
  // "テスト.txt" in code page 932; the second byte of "ソ" (0x83 0x5C) is a backslash.
  const std::string sjis = "\x83\x65\x83\x58\x83\x67.txt";
  EXPECT_EQ(lha::SafeDestination(sjis, true), (Parts{"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.txt"}));
  EXPECT_EQ(lha::StoredPathToUtf8("\x83\x5C\x83\x74\x83\x67"), "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88");
  // UTF-8 names from Unix archivers that are not valid Shift-JIS stay as they are.
  EXPECT_EQ(lha::StoredPathToUtf8("\xE3\x81\x82.txt"), "\xE3\x81\x82.txt");
}

}  // namespace
