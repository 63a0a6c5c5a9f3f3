// The file operations on the real platform under Wine: FindFiles' attribute rules with real
// read-only, hidden and directory entries, the table-family backup, a file written whole, the
// temporary folder made and the files deleted (each also with the fault
// gate's error), the shell folder delete, and the ".htm" fallback of the document opener.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "os/FaultInjection.h"
#include "os/WinHandles.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"
#include "fileops/FileOps.h"

namespace {

using namespace fileops;

namespace fs = std::filesystem;

// A path from UTF-8 text: std::filesystem would read narrow text in the ANSI code page.
fs::path P(const std::string& utf8) { return fs::path(text::Widen(utf8)); }

std::string U8(const fs::path& p) { return text::Narrow(p.wstring()); }

std::vector<std::string> Sorted(FileNameList v) {
  std::sort(v.begin(), v.end());
  return v;
}

DWORD Attributes(const fs::path& p) { return GetFileAttributesW(p.wstring().c_str()); }

// A table folder as the migration meets it: a table family, a look-alike, a subfolder, and
// companion files that are read-only or hidden.
class TableFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing_support::FreshTempDir("fileops_win32") / P("テーブル フォルダ");
    fs::create_directory(dir_);
    for (const char* name : {"TOVO.DB", "tovo.px", "TOVO.X02", "TOVO", "TOVO_SEIBI.DB", "TOVO.MB", "TOVO.VAL"})
      testing_support::WriteFileBytes(dir_ / name, std::string("content of ") + name);
    fs::create_directory(dir_ / "Tovo.sub");
    testing_support::WriteFileBytes(dir_ / "Tovo.sub" / "TOVO.YG0", "nested");
    ASSERT_TRUE(SetFileAttributesW((dir_ / "TOVO.MB").wstring().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesW((dir_ / "TOVO.VAL").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_EQ(Attributes(dir_ / "Tovo.sub"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    folder_ = U8(dir_);
  }
  void TearDown() override {
    for (const char* name : {"TOVO.MB", "TOVO.VAL"})
      SetFileAttributesW((dir_ / name).wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  std::string In(const char* name) const { return folder_ + "\\" + name; }
  fs::path dir_;
  std::string folder_;
};

TEST_F(TableFolder, FileModeFindsTheFamilyWithEitherFolderSpelling) {
  FileNameList plain, slashed;
  FindFiles(folder_, 63, true, {"TOVO.DB"}, "fFile", false, true, false, plain, true);
  FindFiles(folder_ + "\\", 63, true, {"TOVO.DB"}, "fFile", false, true, false, slashed, true);
  const std::vector<std::string> family = Sorted(
      {In("TOVO.DB"), In("tovo.px"), In("TOVO.X02"), In("TOVO"), In("TOVO.MB"), In("TOVO.VAL")});
  EXPECT_EQ(Sorted(plain), family);
  EXPECT_EQ(Sorted(slashed), family);
}

TEST_F(TableFolder, AttributeMaskSelectsByTheReportedBits) {
  FileNameList found;
  FindFiles(folder_, FILE_ATTRIBUTE_READONLY, false, {}, "fAll", false, true, false, found, true);
  EXPECT_EQ(found, FileNameList{In("TOVO.MB")});
  FindFiles(folder_, FILE_ATTRIBUTE_HIDDEN, false, {}, "fAll", false, true, false, found, true);
  EXPECT_EQ(found, FileNameList{In("TOVO.VAL")});
  // A folder whose attributes are exactly the directory bit is never a candidate.
  FindFiles(folder_, FILE_ATTRIBUTE_DIRECTORY, true, {}, "fAll", false, true, false, found, true);
  EXPECT_TRUE(found.empty());
}

TEST_F(TableFolder, DirectoryWithFurtherBitsIsACandidate) {
  SetFileAttributesW((dir_ / "Tovo.sub").wstring().c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
  if (Attributes(dir_ / "Tovo.sub") != (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE))
    GTEST_SKIP() << "this file system keeps no archive bit on folders";
  FileNameList found;
  FindFiles(folder_, FILE_ATTRIBUTE_DIRECTORY, false, {}, "fAll", false, true, false, found, true);
  // Appended without the backslash that addBackslash gives the recursion path.
  EXPECT_EQ(found, FileNameList{In("Tovo.sub")});
}

TEST_F(TableFolder, MembersWithNoneOfTheSixBitsAreBackedUp) {
  // What backup software leaves once it has cleared the archive bit.
  ASSERT_TRUE(SetFileAttributesW((dir_ / "TOVO.X02").wstring().c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(SetFileAttributesW((dir_ / "tovo.px").wstring().c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
  for (const char* name : {"TOVO.X02", "tovo.px"})
    if (const DWORD reported = Attributes(dir_ / name); (reported & 63u) != 0)
      GTEST_SKIP() << "the platform reports " << reported << " for " << name
                   << ": Wine gives every file the archive bit";
  const fs::path backup = dir_ / "TempData";
  fs::create_directory(backup);
  CopyMatchingFiles(folder_, U8(backup), "TOVO.DB");
  for (const char* name : {"TOVO.X02", "tovo.px", "TOVO.DB"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(backup / name));
    EXPECT_EQ(testing_support::ReadFileBytes(backup / name), std::string("content of ") + name);
  }
}

TEST_F(TableFolder, ExtensionModeAndSeveralItems) {
  FileNameList found;
  FindFiles(folder_, 63, true, {"x.db"}, "fExt", false, true, false, found, true);
  EXPECT_EQ(Sorted(found), Sorted({In("TOVO.DB"), In("TOVO_SEIBI.DB")}));
  FindFiles(folder_, 63, true, {"TOVO.DB", "TOVO.PX"}, "fFile", false, true, false, found, true);
  EXPECT_EQ(found.size(), 12u);
}

TEST_F(TableFolder, RecursionAndClearingAttributes) {
  FileNameList found{"earlier"};
  FindFiles(folder_, 63, true, {"TOVO.DB"}, "fFile", true, false, true, found, false);
  EXPECT_EQ(found.front(), "earlier");
  EXPECT_EQ(std::count(found.begin(), found.end(), folder_ + "\\Tovo.sub\\TOVO.YG0"), 1);
  EXPECT_EQ(found.size(), 1u + 6u + 1u);
  EXPECT_EQ(Attributes(dir_ / "TOVO.MB") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
  EXPECT_EQ(Attributes(dir_ / "TOVO.VAL") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
}

TEST_F(TableFolder, MissingFolderLeavesOrEmptiesTheList) {
  FileNameList found{"earlier"};
  FindFiles(folder_ + "\\none", 63, true, {"TOVO.DB"}, "fFile", false, true, false, found, false);
  EXPECT_EQ(found, FileNameList{"earlier"});
  FindFiles(folder_ + "\\none", 63, true, {"TOVO.DB"}, "fFile", false, true, false, found, true);
  EXPECT_TRUE(found.empty());
}

TEST_F(TableFolder, CopyMatchingFilesBacksUpTheWholeFamily) {
  const fs::path backup = dir_ / "TempData";
  fs::create_directory(backup);
  testing_support::WriteFileBytes(backup / "TOVO.DB", "an older backup");
  CopyMatchingFiles(folder_, U8(backup), "TOVO.DB");
  std::vector<std::string> copied;
  for (const auto& e : fs::directory_iterator(backup)) copied.push_back(e.path().filename().string());
  std::sort(copied.begin(), copied.end());
  EXPECT_EQ(copied, (std::vector<std::string>{"TOVO", "TOVO.DB", "TOVO.MB", "TOVO.VAL", "TOVO.X02", "tovo.px"}));
  for (const std::string& name : copied)
    EXPECT_EQ(testing_support::ReadFileBytes(backup / name), "content of " + name);
  SetFileAttributesW((backup / "TOVO.MB").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW((backup / "TOVO.VAL").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
}

struct Disarm {
  ~Disarm() { os::DisarmFault(); }
};

// Bytes with zeros inside, so that a write that stopped at the first zero would show.
const std::uint8_t kBytes[] = {'L', 'H', 0, 0, 'p', 'a', 'y', 0, 1, 2, 0xFF, 0, 'e', 'n', 'd'};

TEST(WriteWholeFile, WritesEveryByteReplacingAFile) {
  const fs::path dir = testing_support::FreshTempDir("fileops_write") / P("一時 folder");
  fs::create_directory(dir);
  testing_support::WriteFileBytes(dir / "N_UpDate120502.lzh", std::string(5000, 'x'));
  const WriteResult result = WriteWholeFile(U8(dir / "N_UpDate120502.lzh"), kBytes);
  EXPECT_TRUE(result);
  EXPECT_EQ(testing_support::ReadFileBytes(dir / "N_UpDate120502.lzh"),
            std::string(reinterpret_cast<const char*>(kBytes), sizeof kBytes));
}

TEST(WriteWholeFile, SaysWhichStepFailedWithTheSystemsError) {
  const fs::path dir = testing_support::FreshTempDir("fileops_write_fault");
  const WriteResult missing = WriteWholeFile(U8(dir / "missing" / "x.lzh"), kBytes);
  EXPECT_EQ(missing.stage, WriteResult::Stage::kCreate);
  EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  testing_support::WriteFileBytes(dir / "x.lzh", "an earlier file");
  Disarm disarm;
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kOpen});
  const WriteResult refused = WriteWholeFile(U8(dir / "x.lzh"), kBytes);
  EXPECT_EQ(refused.stage, WriteResult::Stage::kCreate);
  EXPECT_EQ(refused.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(testing_support::ReadFileBytes(dir / "x.lzh"), "an earlier file") << "never opened";

  os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite});
  const WriteResult full = WriteWholeFile(U8(dir / "x.lzh"), kBytes);
  EXPECT_EQ(full.stage, WriteResult::Stage::kWrite);
  EXPECT_EQ(full.error, static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(full.written, 0u);
  EXPECT_EQ(os::FaultsFired(), 1u);
}

TEST(SystemErrorText, TheSystemsWordsAndTheNumber) {
  const std::string text = SystemErrorText(std::error_code(ERROR_ACCESS_DENIED, std::system_category()));
  EXPECT_NE(text.find("(error 5)"), std::string::npos) << text;
  EXPECT_GT(text.size(), std::string(" (error 5)").size()) << "the system's message comes first";
  EXPECT_NE(text.back(), '\n');
}

TEST(CreateOneFolder, MakesOneLevelAndSaysWhetherItDid) {
  const fs::path root = testing_support::FreshTempDir("fileops_mkdir");
  const std::string temp = U8(root / P("Temp 一時"));
  EXPECT_TRUE(CreateOneFolder(temp));
  EXPECT_TRUE(fs::is_directory(P(temp)));
  EXPECT_FALSE(CreateOneFolder(temp)) << "an existing folder was not made by this call";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateOneFolder(U8(root / "missing" / "Temp"))) << "one level only";

  Disarm disarm;
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kMakeFolder});
  EXPECT_FALSE(CreateOneFolder(U8(root / "Temp2")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(fs::exists(root / "Temp2"));
}

TEST(DeleteOneFile, DeletesTheFileOnlyAndReportsFailure) {
  const fs::path root = testing_support::FreshTempDir("fileops_delfile");
  testing_support::WriteFileBytes(root / "N_UpDate120502.lzh", "archive");
  testing_support::WriteFileBytes(root / P("ユーザー.txt"), "the user's");
  {
    Disarm disarm;
    os::ArmFault({os::InjectedFault::kSharingViolation, os::FileOperation::kDelete});
    EXPECT_FALSE(DeleteOneFile(U8(root / "N_UpDate120502.lzh")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(fs::exists(root / "N_UpDate120502.lzh"));
  }
  EXPECT_TRUE(DeleteOneFile(U8(root / "N_UpDate120502.lzh")));
  EXPECT_FALSE(fs::exists(root / "N_UpDate120502.lzh"));
  EXPECT_FALSE(DeleteOneFile(U8(root / "N_UpDate120502.lzh")));
  EXPECT_FALSE(DeleteOneFile(U8(root))) << "a folder is no file";
  EXPECT_EQ(testing_support::ReadFileBytes(root / P("ユーザー.txt")), "the user's");
}

TEST(DeleteFolder, AFaultLeavesTheFolderAsAFailedShellOperationWould) {
  const fs::path temp = testing_support::FreshTempDir("fileops_delete_fault") / "Temp";
  fs::create_directories(temp);
  testing_support::WriteFileBytes(temp / "N_UpDate120502.lzh", "archive");
  Disarm disarm;
  os::ArmFault({os::InjectedFault::kAccessDenied, os::FileOperation::kDelete});
  DeleteFolder(nullptr, U8(temp));
  EXPECT_EQ(os::FaultsFired(), 1u);
  EXPECT_TRUE(fs::exists(temp / "N_UpDate120502.lzh"));
}

TEST(DeleteFolder, RemovesTheFolderWithEverythingInIt) {
  const fs::path root = testing_support::FreshTempDir("fileops_delete");
  const fs::path temp = root / P("Temp フォルダ");
  fs::create_directories(temp / "inner");
  testing_support::WriteFileBytes(temp / "N_UpDate120502.lzh", "archive");
  testing_support::WriteFileBytes(temp / "inner" / "x.txt", "x");
  testing_support::WriteFileBytes(root / "Tempo", "a neighbour whose name starts alike");
  SetFileAttributesW((temp / "inner" / "x.txt").wstring().c_str(), FILE_ATTRIBUTE_READONLY);
  DeleteFolder(nullptr, U8(temp));
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_TRUE(fs::exists(root / "Tempo"));
  DeleteFolder(nullptr, "");  // nothing to delete, nothing happens
  EXPECT_TRUE(fs::exists(root / "Tempo"));
}

// HKEY_CLASSES_ROOT\.htm pointed at a test class whose open command is the command-line
// recorder; the original association is put back afterwards.
class HtmAssociation : public ::testing::Test {
 protected:
  static constexpr wchar_t kClass[] = L"NorvexTest.htmfile";

  void SetUp() override {
    recorder_ = testing_support::BinaryDir() / "tests" / "fileops" / "CommandLineRecorder.exe";
    ASSERT_TRUE(fs::exists(recorder_)) << recorder_;
    record_ = testing_support::FreshTempDir("fileops_open") / "record.txt";
    SetEnvironmentVariableW(L"NORVEX_RECORD_TO", record_.wstring().c_str());
    win32::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L".htm", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    wchar_t old[512];
    DWORD size = sizeof old;
    DWORD type = 0;
    hadDefault_ = RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
    if (hadDefault_) oldDefault_ = old;
    SetDefault(key.Get(), kClass);
    key.Reset();
  }
  void TearDown() override {
    win32::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L".htm", 0, KEY_ALL_ACCESS, key.Receive()) == ERROR_SUCCESS) {
      if (hadDefault_) SetDefault(key.Get(), oldDefault_.c_str());
      else RegDeleteValueW(key.Get(), nullptr);
      key.Reset();
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClass);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".norvexopen");
  }
  static void SetDefault(HKEY key, const wchar_t* value) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  }
  void SetCommand(const std::wstring& command) {
    win32::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kClass) + L"\\shell\\open\\command").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    SetDefault(key.Get(), command.c_str());
    key.Reset();
  }
  std::wstring Recorder() const { return L"\"" + recorder_.wstring() + L"\""; }
  // The recorder's one line, waited for: it runs as a separate process.
  std::string Recorded() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      if (fs::exists(record_)) {
        std::string s = testing_support::ReadFileBytes(record_);
        if (!s.empty() && s.back() == '\n') return s;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
  }
  // A document the shell cannot open: an existing file of an unregistered kind.
  std::string UnopenableDocument() {
    const fs::path doc = record_.parent_path() / "update_readme.norvexnone";
    testing_support::WriteFileBytes(doc, "<html></html>");
    return U8(doc);
  }

  fs::path recorder_, record_;
  bool hadDefault_ = false;
  std::wstring oldDefault_;
};

TEST_F(HtmAssociation, ReadClassesRootDefault) {
  SetCommand(Recorder() + L" \"%1\"");
  std::string value = "untouched";
  EXPECT_TRUE(ReadClassesRootDefault(".htm", value));
  EXPECT_EQ(value, "NorvexTest.htmfile");
  EXPECT_TRUE(ReadClassesRootDefault("NorvexTest.htmfile\\shell\\open\\command", value));
  EXPECT_EQ(value, text::Narrow(Recorder()) + " \"%1\"");
  // A key without a default value opens and gives the empty text.
  EXPECT_TRUE(ReadClassesRootDefault("NorvexTest.htmfile\\shell", value));
  EXPECT_EQ(value, "");
  value = "untouched";
  EXPECT_FALSE(ReadClassesRootDefault("NorvexTest.nonexistent", value));
  EXPECT_EQ(value, "untouched");
}

TEST_F(HtmAssociation, QuotedPlaceholderIsReplacedByTheDocument) {
  SetCommand(Recorder() + L" \"%1\"");
  const std::string doc = UnopenableDocument();
  OpenDocument(doc, SW_SHOWNORMAL);
  EXPECT_EQ(Recorded(), text::Narrow(Recorder()) + " " + doc + "\tshow=1\n");
}

TEST_F(HtmAssociation, BarePlaceholderAndOtherArgumentsStay) {
  SetCommand(Recorder() + L" -nohome %1 -new");
  const std::string doc = UnopenableDocument();
  OpenDocument(doc, SW_SHOW);
  EXPECT_EQ(Recorded(), text::Narrow(Recorder()) + " -nohome -new " + doc + "\tshow=5\n");
}

TEST_F(HtmAssociation, CommandWithoutPlaceholderGetsTheDocumentAppended) {
  SetCommand(Recorder() + L" -nohome");
  const std::string doc = UnopenableDocument();
  OpenDocument(doc, SW_SHOWMINIMIZED);
  EXPECT_EQ(Recorded(), text::Narrow(Recorder()) + " -nohome " + doc + "\tshow=2\n");
}

TEST_F(HtmAssociation, ADocumentTheShellOpensDoesNotUseTheFallback) {
  SetCommand(Recorder() + L" -fallback \"%1\"");
  win32::UniqueKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L".norvexopen", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
            ERROR_SUCCESS);
  SetDefault(key.Get(), L"NorvexTest.openfile");
  key.Reset();
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"NorvexTest.openfile\\shell\\open\\command", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
            ERROR_SUCCESS);
  SetDefault(key.Get(), (Recorder() + L" -direct \"%1\"").c_str());
  key.Reset();
  const fs::path doc = record_.parent_path() / "page.norvexopen";
  testing_support::WriteFileBytes(doc, "x");
  OpenDocument(U8(doc), SW_SHOW);
  const std::string line = Recorded();
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"NorvexTest.openfile");
  EXPECT_NE(line.find(" -direct "), std::string::npos) << line;
  EXPECT_EQ(line.find("-fallback"), std::string::npos) << line;
}

}  // namespace
