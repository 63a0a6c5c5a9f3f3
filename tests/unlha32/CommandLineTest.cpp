// The command line of Unlha as SETUP.EXE and other callers write it, and the member-name
// patterns it carries.
#include "unlha32/CommandLine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using unlha32::MatchesPattern;
using unlha32::ParseCommandLine;

TEST(UnlhaCommandLine, TheUpdatesOwnLineQuotesFoldersWithBlanks) {
  // A quoted folder ends in "\" right before its closing quote.
  const auto cl = ParseCommandLine(
      L"e -c -y \"C:\\Program Files\\Tovo\\Data\\Temp\\N_UpDate120502.lzh\" \"C:\\Program Files\\Tovo\\\"");
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->command, L'e');
  EXPECT_EQ(cl->switches, (std::vector<std::wstring>{L"c", L"y"}));
  EXPECT_EQ(cl->archive, L"C:\\Program Files\\Tovo\\Data\\Temp\\N_UpDate120502.lzh");
  EXPECT_EQ(cl->baseFolder, L"C:\\Program Files\\Tovo\\");
  EXPECT_TRUE(cl->patterns.empty());
  EXPECT_TRUE(cl->HasSwitch(L"y"));
  EXPECT_FALSE(cl->HasSwitch(L"a"));
}

TEST(UnlhaCommandLine, CommandSwitchesFolderAndPatterns) {
  auto cl = ParseCommandLine(L"X /A1 data.lzh D: *.DB sub/ Tovo.EXE");
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->command, L'x');
  EXPECT_EQ(cl->switches, (std::vector<std::wstring>{L"a1"}));
  EXPECT_EQ(cl->baseFolder, L"D:");
  // Only the first folder-like word after the archive is the base folder.
  EXPECT_EQ(cl->patterns, (std::vector<std::wstring>{L"*.DB", L"sub/", L"Tovo.EXE"}));

  // Without a command word the command is l; once "-" started the switches, "/" begins a path.
  cl = ParseCommandLine(L"-gm archive /Tovo.EXE");
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->command, L'l');
  EXPECT_EQ(cl->switches, (std::vector<std::wstring>{L"gm"}));
  EXPECT_EQ(cl->archive, L"archive");
  EXPECT_EQ(cl->patterns, (std::vector<std::wstring>{L"/Tovo.EXE"}));

  // A quoted word is never a switch or a command.
  cl = ParseCommandLine(L"\"e\" \"-c\"");
  ASSERT_TRUE(cl);
  EXPECT_EQ(cl->command, L'l');
  EXPECT_EQ(cl->archive, L"e");
  EXPECT_EQ(cl->patterns, (std::vector<std::wstring>{L"-c"}));
}

TEST(UnlhaCommandLine, UnknownCommandOrNoArchiveIsRefused) {
  EXPECT_FALSE(ParseCommandLine(L"q archive.lzh"));
  EXPECT_FALSE(ParseCommandLine(L"x -c"));
  EXPECT_FALSE(ParseCommandLine(L""));
  EXPECT_FALSE(ParseCommandLine(L"  \t "));
}

TEST(UnlhaCommandLine, PatternsMatchWithoutCaseAndEitherSlash) {
  EXPECT_TRUE(MatchesPattern(L"DATA\\KOKYAKU.DB", L"data/*.db"));
  EXPECT_TRUE(MatchesPattern(L"Tovo1.EXE", L"TOVO?.exe"));
  EXPECT_FALSE(MatchesPattern(L"Tovo.EXE", L"TOVO?.exe"));
  EXPECT_TRUE(MatchesPattern(L"anything at all", L"*"));
  EXPECT_TRUE(MatchesPattern(L"", L"**"));
  EXPECT_FALSE(MatchesPattern(L"TovoData.DLL", L"*.EXE"));
  EXPECT_TRUE(MatchesPattern(L"a.b.c.EXE", L"*.*.EXE"));
  // Letters outside ASCII compare exactly.
  EXPECT_FALSE(MatchesPattern(L"\u00C4.txt", L"\u00E4.txt"));
  // Many stars against a long name that almost matches: no backtracking blow-up.
  const std::wstring name(200000, L'a');
  EXPECT_FALSE(MatchesPattern(name, L"*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchesPattern(name + L"b", L"*a*a*a*a*a*a*a*a*b"));
}

}  // namespace
