// The update run's pieces below the window: the version texts' conversion, the registry reader,
// the full-path rule for alias folders, the room estimate, and SETUP.LOG.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/RegIniFile.h"
#include "app/UpdateCheck.h"
#include "app/UpdateLog.h"
#include "framework/SysUtils.h"
#include "support/TestPaths.h"
#include "text/Utf8Path.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

TEST(StrToIntTest, VersionTextsWithinAndBeyondThe32BitRange) {
  EXPECT_EQ(StrToInt("19436"), 19436);
  EXPECT_EQ(StrToInt("0000"), 0);
  EXPECT_EQ(StrToInt("11000"), 11000);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt(" +7"), 7);
  for (const char* bad : {"2147483648", "655356553565535", "", "19436a", "1.9", "-", "１９４３６"}) {
    SCOPED_TRACE(bad);
    try {
      StrToInt(bad);
      ADD_FAILURE() << "converted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid integer value");
    }
  }
}

class RegIniFileTest : public ::testing::Test {
 protected:
  static constexpr wchar_t kKey[] = L"Software\\NorvexRegIniTest";
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
  static void Set(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\NorvexRegIniTest\\Configuration", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
    RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(k);
  }
};

TEST_F(RegIniFileTest, CreatesTheKeyButNotTheSectionAndGivesTheDefault) {
  {
    TRegIniFile reg("\\Software\\NorvexRegIniTest");
    EXPECT_EQ(reg.ReadString("Configuration", "InPath", "False"), "False");
  }
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &k), ERROR_SUCCESS);
  HKEY sub = nullptr;
  EXPECT_NE(RegOpenKeyExW(k, L"Configuration", 0, KEY_READ, &sub), ERROR_SUCCESS) << "the section is not created";
  RegCloseKey(k);
}

TEST_F(RegIniFileTest, ReadsTextEmptyTextAndRefusesOtherTypes) {
  const std::wstring folder = L"C:\\Program Files\\トヴォ";
  Set(L"InPath", REG_SZ, folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  Set(L"Empty", REG_SZ, L"", sizeof(wchar_t));
  const DWORD one = 1;
  Set(L"Number", REG_DWORD, &one, sizeof one);
  TRegIniFile reg("\\Software\\NorvexRegIniTest");
  EXPECT_EQ(reg.ReadString("Configuration", "InPath", "False"), "C:\\Program Files\\トヴォ");
  EXPECT_EQ(reg.ReadString("Configuration", "Empty", "False"), "");
  EXPECT_EQ(reg.ReadString("Configuration", "Absent", "False"), "False");
  try {
    reg.ReadString("Configuration", "Number", "False");
    ADD_FAILURE() << "a number read as text";
  } catch (const ERegistryException& e) {
    EXPECT_EQ(std::string(e.what()), "Invalid data type for 'Number'");
  }
}

TEST(UpdateCheckTest, OnlyFullPathsAreAliasFolders) {
  EXPECT_TRUE(updatecheck::IsAbsoluteFolder("C:\\Tovo\\Data"));
  EXPECT_TRUE(updatecheck::IsAbsoluteFolder("\\\\server\\share\\Data"));
  for (const char* bad : {"", "\\Data", "Data", "C:Data", ".\\Data"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(updatecheck::IsAbsoluteFolder(bad));
  }
}

TEST(UpdateCheckTest, RoomNeededCountsEachTablesFamily) {
  const fs::path dir = testing_support::FreshTempDir("update-room");
  WriteFileBytes(dir / "tovo.db", std::string(1000, 'x'));
  WriteFileBytes(dir / "TOVO.PX", std::string(200, 'x'));
  WriteFileBytes(dir / "tovo_seibi.db", std::string(5000, 'x'));  // not of the family
  WriteFileBytes(dir / "bicycle.db", std::string(3000, 'x'));
  const std::string folder = text::PathToUtf8(dir);
  // Rebuilt tovo (1,200) once, its backup once more in the live folder; the largest widened
  // table (bicycle, 3,000) rewritten.
  EXPECT_EQ(updatecheck::EstimatedNeed(folder, false), 1200u + 3000u);
  EXPECT_EQ(updatecheck::EstimatedNeed(folder, true), 2400u + 3000u);
}

TEST(UpdateCheckTest, CheckNamesTheFolderThatIsMissing) {
  const fs::path dir = testing_support::FreshTempDir("update-check-folders");
  const std::string missing = text::PathToUtf8(dir / "gone");
  auto problem = updatecheck::CheckBeforeUpdate({{"Tovo", text::PathToUtf8(dir)}, {"TovoDemo", missing}});
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->rfind("データベースの別名「TovoDemo」のフォルダ[" + missing + "]が見つかりません。", 0), 0u) << *problem;
}

TEST(UpdateLogTest, BomOnceLinesAppendedBreaksShownAsEscapes) {
  const fs::path dir = testing_support::FreshTempDir("update-log");
  {
    UpdateLog log(text::PathToUtf8(dir));
    log.Write("first");
    log.WriteMessage("a\r\n\r\nb", mtError, {mbYes});
    log.WriteAnswer(mrYes);
  }
  UpdateLog(text::PathToUtf8(dir)).Write("second run");
  const std::string bytes = ReadFileBytes(dir / "SETUP.LOG");
  ASSERT_GE(bytes.size(), 3u);
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(bytes.find("\xEF\xBB\xBF", 3), std::string::npos) << "one byte-order mark only";
  EXPECT_NE(bytes.find("  first\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("Message box [エラー] buttons [はい(&Y)]: a\\r\\n\\r\\nb\r\n"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("  Answer: Yes\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("  second run\r\n"), std::string::npos);
  EXPECT_LT(bytes.find("first"), bytes.find("second run"));
}

TEST(UpdateLogTest, UnwritableLogIsGivenUpSilently) {
  const fs::path dir = testing_support::FreshTempDir("update-log-blocked");
  fs::create_directories(dir / "SETUP.LOG");  // a folder where the file would go
  UpdateLog log(text::PathToUtf8(dir));
  EXPECT_NO_THROW(log.Write("lost"));
  EXPECT_NO_THROW(log.Write("lost too"));
  EXPECT_TRUE(fs::is_directory(dir / "SETUP.LOG"));
  UpdateLog nowhere(text::PathToUtf8(dir / "no" / "such" / "folder"));
  EXPECT_NO_THROW(nowhere.Write("lost"));
}

}  // namespace
