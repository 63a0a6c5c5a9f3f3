// The update run's pieces that only Windows has: the version texts' conversion as the
// framework does it, the registry reader, and the full-path rule for alias folders.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/RegIniFile.h"
#include "migration/UpdateCheck.h"
#include "framework/SysUtils.h"
#include "os/WinHandles.h"
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
    win32::UniqueKey k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\NorvexRegIniTest\\Configuration", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, k.Receive(), nullptr), ERROR_SUCCESS);
    RegSetValueExW(k.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
  }
};

TEST_F(RegIniFileTest, CreatesTheKeyButNotTheSectionAndGivesTheDefault) {
  {
    TRegIniFile reg("\\Software\\NorvexRegIniTest");
    EXPECT_EQ(reg.ReadString("Configuration", "InPath", "False"), "False");
  }
  win32::UniqueKey k;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, k.Receive()), ERROR_SUCCESS);
  win32::UniqueKey sub;
  EXPECT_NE(RegOpenKeyExW(k.Get(), L"Configuration", 0, KEY_READ, sub.Receive()), ERROR_SUCCESS)
      << "the section is not created";
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

}  // namespace
