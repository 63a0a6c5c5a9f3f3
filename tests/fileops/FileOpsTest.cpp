// FindFiles' candidate and name rules, the document-placeholder removal, FindFiles and
// CopyMatchingFiles over the native file system (the Windows behaviour is tested under Wine),
// and FolderExists on real directories and files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fileops/FileOps.h"
#include "os/FaultInjection.h"
#include "support/TestPaths.h"

namespace {

using namespace fileops;

TEST(FindCandidate, ExactDirectoryBitNeverCounts) {
  EXPECT_FALSE(IsFindCandidate(0x10, 63, true));
  EXPECT_FALSE(IsFindCandidate(0x10, 0x10, false));
  EXPECT_TRUE(IsFindCandidate(0x30, 0x10, false));  // a directory with its archive bit
  EXPECT_TRUE(IsFindCandidate(0x30, 0x20, false));
  EXPECT_TRUE(IsFindCandidate(0x12, 0x02, false));
}

TEST(FindCandidate, MaskAndBareEntries) {
  EXPECT_TRUE(IsFindCandidate(0x20, 63, false));
  EXPECT_TRUE(IsFindCandidate(0x21, 0x01, false));
  EXPECT_FALSE(IsFindCandidate(0x20, 0x01, false));
  EXPECT_TRUE(IsFindCandidate(0, 63, true));
  EXPECT_FALSE(IsFindCandidate(0, 63, false));
  EXPECT_TRUE(IsFindCandidate(0, 0, true));
}

TEST(FindCandidate, FilesWithNoneOfTheSixBitsAreBareEntries) {
  // "Normal", "not content indexed", "compressed", "offline", "temporary", "encrypted": what a
  // file shows once backup software has cleared its archive bit.
  for (std::uint32_t bits : {0x80u, 0x2000u, 0x800u, 0x1000u, 0x100u, 0x4000u, 0x2880u}) {
    SCOPED_TRACE(bits);
    EXPECT_TRUE(IsFindCandidate(bits, 63, true));
    EXPECT_FALSE(IsFindCandidate(bits, 63, false));
    EXPECT_TRUE(IsFindCandidate(bits, 0x01, true));
  }
  // One of the six bits makes it no bare entry: then only the mask decides.
  EXPECT_FALSE(IsFindCandidate(0x81, 0x02, true));
  EXPECT_FALSE(IsFindCandidate(0x2004, 0x01, true));
  // A directory with such bits is no bare entry either.
  EXPECT_FALSE(IsFindCandidate(0x2010, 0x01, true));
  EXPECT_TRUE(IsFindCandidate(0x2010, 0x10, false));
}

TEST(NameMatch, FileModeComparesNamesUpToTheLastDot) {
  const FileNameList names{"TOVO.DB"};
  for (const char* hit : {"TOVO.DB", "tovo.px", "TOVO.X02", "TOVO", "Tovo.", "tovo.Y0A"})
    EXPECT_EQ(CountNameMatches(hit, names, "fFile"), 1) << hit;
  for (const char* miss : {"TOVO_SEIBI.DB", "TOVO.DB.BAK", "XTOVO.DB", "TOV.DB", ".DB"})
    EXPECT_EQ(CountNameMatches(miss, names, "fFile"), 0) << miss;
  // Only ASCII letters fold: a full-width letter stays itself.
  EXPECT_EQ(CountNameMatches("ｔｏｖｏ.DB", {"ＴＯＶＯ.DB"}, "fFile"), 0);
  EXPECT_EQ(CountNameMatches("顧客.db", {"顧客.DB"}, "fFile"), 1);
}

TEST(NameMatch, OnceForEveryMatchingItem) {
  EXPECT_EQ(CountNameMatches("tovo.px", {"TOVO.DB", "OTHER.DB", "tovo.MB"}, "fFile"), 2);
  EXPECT_EQ(CountNameMatches("a.db", {"x.DB", "DB", "db", "y.Db"}, "fExt"), 3);
}

TEST(NameMatch, ExtensionMode) {
  EXPECT_EQ(CountNameMatches("TOVO.DB", {"other.db"}, "fExt"), 1);
  EXPECT_EQ(CountNameMatches("TOVO.db", {"DB"}, "fExt"), 1);
  EXPECT_EQ(CountNameMatches("TOVO.DB", {"db"}, "fExt"), 0);  // a bare extension is taken as written
  EXPECT_EQ(CountNameMatches("TOVO.PX", {"x.DB"}, "fExt"), 0);
  EXPECT_EQ(CountNameMatches("TOVO", {"TOVO"}, "fExt"), 0);   // names without "." never match
  EXPECT_EQ(CountNameMatches("a.tar.gz", {"GZ"}, "fExt"), 1);
}

TEST(NameMatch, AllAndUnknownModes) {
  EXPECT_EQ(CountNameMatches("anything", {}, "fAll"), 1);
  EXPECT_EQ(CountNameMatches("TOVO.DB", {"TOVO.DB"}, "ffile"), 0);
  EXPECT_EQ(CountNameMatches("TOVO.DB", {"TOVO.DB"}, ""), 0);
}

TEST(Placeholder, QuotedThenBareThenNone) {
  EXPECT_EQ(RemoveDocumentPlaceholder(R"("C:\Program Files\Web\web.exe" "%1")"),
            R"("C:\Program Files\Web\web.exe")");
  EXPECT_EQ(RemoveDocumentPlaceholder(R"("C:\web.exe" -nohome "%1" -new)"), R"("C:\web.exe" -nohome -new)");
  EXPECT_EQ(RemoveDocumentPlaceholder(R"(C:\web.exe %1)"), R"(C:\web.exe)");
  EXPECT_EQ(RemoveDocumentPlaceholder(R"(C:\web.exe -url %1 -x)"), R"(C:\web.exe -url -x)");
  EXPECT_EQ(RemoveDocumentPlaceholder(R"(C:\web.exe -nohome)"), R"(C:\web.exe -nohome)");
  EXPECT_EQ(RemoveDocumentPlaceholder(""), "");
}

TEST(Placeholder, OnlyTheFirstAndTheQuotedOneFirst) {
  // The quoted form wins even when a bare one comes earlier.
  EXPECT_EQ(RemoveDocumentPlaceholder(R"(web.exe %1 "%1")"), R"(web.exe %1)");
  EXPECT_EQ(RemoveDocumentPlaceholder(R"(web.exe %1 %1)"), R"(web.exe %1)");
  // The character before goes with it, whatever it is.
  EXPECT_EQ(RemoveDocumentPlaceholder(R"(web.exe -u="%1")"), R"(web.exe -u)");
  EXPECT_EQ(RemoveDocumentPlaceholder(R"(web.exe /u:%1)"), R"(web.exe /u)");
}

TEST(Placeholder, AtTheVeryStartItStays) {
  EXPECT_EQ(RemoveDocumentPlaceholder(R"("%1" -x)"), R"("%1" -x)");
  EXPECT_EQ(RemoveDocumentPlaceholder(R"(%1 -x)"), R"(%1 -x)");
  // A quoted one at the start is found first and stays; the later bare one is not looked at.
  EXPECT_EQ(RemoveDocumentPlaceholder(R"("%1" %1)"), R"("%1" %1)");
}

TEST(Placeholder, CountsCharactersNotBytes) {
  // The character before the placeholder is a two-byte character in UTF-8 and in Shift-JIS.
  EXPECT_EQ(RemoveDocumentPlaceholder("閲覧.exe　\"%1\""), "閲覧.exe");
  EXPECT_EQ(RemoveDocumentPlaceholder("閲覧.exe　%1"), "閲覧.exe");
}

namespace fs = std::filesystem;

std::string Native(const fs::path& p) {
  std::string s = p.string();
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

class NativeFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing_support::FreshTempDir("fileops_native");
    for (const char* name : {"TOVO.DB", "tovo.px", "TOVO.X02", "TOVO", "TOVO_SEIBI.DB"})
      testing_support::WriteFileBytes(dir_ / name, std::string("content of ") + name);
    fs::create_directory(dir_ / "Tovo.sub");
    testing_support::WriteFileBytes(dir_ / "Tovo.sub" / "TOVO.MB", "nested");
  }
  std::vector<std::string> Sorted(FileNameList v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  fs::path dir_;
};

TEST_F(NativeFolder, FindFilesWithAndWithoutTrailingBackslash) {
  const std::string folder = Native(dir_);
  FileNameList plain, slashed;
  FindFiles(folder, 63, true, {"TOVO.DB"}, "fFile", false, true, false, plain, true);
  FindFiles(folder + "\\", 63, true, {"TOVO.DB"}, "fFile", false, true, false, slashed, true);
  const std::vector<std::string> expected = {folder + "\\TOVO", folder + "\\TOVO.DB", folder + "\\TOVO.X02",
                                             folder + "\\tovo.px"};
  EXPECT_EQ(Sorted(plain), expected);
  EXPECT_EQ(Sorted(slashed), expected);
}

TEST_F(NativeFolder, RecursionAndFoundListHandling) {
  const std::string folder = Native(dir_);
  FileNameList found{"kept"};
  FindFiles(folder, 63, true, {"TOVO.MB"}, "fFile", false, false, true, found, false);
  auto sorted = Sorted(found);
  EXPECT_EQ(sorted.front(), folder + "\\TOVO");
  EXPECT_NE(std::find(found.begin(), found.end(), folder + "\\Tovo.sub\\TOVO.MB"), found.end());
  EXPECT_EQ(found.front(), "kept");
  EXPECT_EQ(found.size(), 1u + 4u + 1u);

  FileNameList none{"old"};
  FindFiles(folder + "\\missing", 63, true, {"TOVO.DB"}, "fAll", false, true, false, none, false);
  EXPECT_EQ(none, FileNameList{"old"});
  FindFiles(folder + "\\missing", 63, true, {"TOVO.DB"}, "fAll", false, true, false, none, true);
  EXPECT_TRUE(none.empty());
}

TEST_F(NativeFolder, RecursionDoesNotFollowALinkBackUpTheTree) {
#ifdef _WIN32
  GTEST_SKIP() << "directory links need privileges on Windows";
#else
  fs::create_directory_symlink(dir_, dir_ / "Tovo.sub" / "loop");
  const std::string folder = Native(dir_);
  FileNameList found;
  FindFiles(folder, 63, true, {"TOVO.MB"}, "fFile", false, true, true, found, true);
  EXPECT_EQ(std::count(found.begin(), found.end(), folder + "\\Tovo.sub\\TOVO.MB"), 1);
  EXPECT_EQ(found.size(), 5u);
#endif
}

TEST_F(NativeFolder, CopyMatchingFilesCopiesTheFamilyOnly) {
  const fs::path target = testing_support::FreshTempDir("fileops_native_target");
  testing_support::WriteFileBytes(target / "TOVO.DB", "older backup");
  CopyMatchingFiles(Native(dir_), Native(target), "TOVO.DB");
  std::vector<std::string> copied;
  for (const auto& e : fs::directory_iterator(target)) copied.push_back(e.path().filename().string());
  std::sort(copied.begin(), copied.end());
  EXPECT_EQ(copied, (std::vector<std::string>{"TOVO", "TOVO.DB", "TOVO.X02", "tovo.px"}));
  EXPECT_EQ(testing_support::ReadFileBytes(target / "TOVO.DB"), "content of TOVO.DB");
}

// A folder that is there but cannot be listed is a failure the caller sees, not an empty
// folder: a backup copy must not pass for complete.
TEST_F(NativeFolder, AListingThatFailsIsReportedNotTakenForAnEmptyFolder) {
  const fs::path target = testing_support::FreshTempDir("fileops_native_unlisted");
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kList});
  try {
    CopyMatchingFiles(Native(dir_), Native(target), "TOVO.DB");
    ADD_FAILURE() << "no error";
  } catch (const FolderListError& e) {
    EXPECT_EQ(e.Folder(), Native(dir_) + "\\");
    EXPECT_EQ(e.Detail(), SystemErrorText(e.code()));
    EXPECT_NE(std::string(e.what()).find(e.Detail()), std::string::npos) << e.what();
#ifndef _WIN32
    EXPECT_EQ(e.code(), std::errc::permission_denied);
#endif
  }
  os::DisarmFault();
  EXPECT_TRUE(fs::is_empty(target));
}

std::string Utf8(const std::filesystem::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

TEST(FolderExistsTest, DirectoriesOnly) {
  std::filesystem::path dir = testing_support::FreshTempDir("FolderExists");
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory(dir / u8"データ");
  testing_support::WriteFileBytes(dir / "file.db", "x");
  EXPECT_TRUE(FolderExists(Utf8(dir)));
  EXPECT_TRUE(FolderExists(Utf8(dir / "sub")));
  EXPECT_TRUE(FolderExists(Utf8(dir / u8"データ")));
  EXPECT_FALSE(FolderExists(Utf8(dir / "file.db")));
  EXPECT_FALSE(FolderExists(Utf8(dir / "missing")));
  EXPECT_FALSE(FolderExists(""));
  EXPECT_FALSE(FolderExists(std::string("bad\0name", 8)));
}

}  // namespace
