// Finding the configuration through the registry, on the real registry (Wine's under test).

#include <windows.h>

#include <gtest/gtest.h>

#include "paradox/EngineConfig.h"
#include "support/TestPaths.h"

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Borland\\Database Engine";

// Sets CONFIGFILE01 for one test and puts back what was there before.
class RegisteredValue {
 public:
  RegisteredValue() {
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr,
                              &key_, nullptr);
    if (rc != ERROR_SUCCESS) return;
    DWORD size = sizeof(old_);
    hadOld_ = RegQueryValueExW(key_, L"CONFIGFILE01", nullptr, &oldType_, reinterpret_cast<BYTE*>(old_), &size) ==
              ERROR_SUCCESS;
    oldSize_ = size;
  }
  ~RegisteredValue() {
    if (!key_) return;
    if (hadOld_)
      RegSetValueExW(key_, L"CONFIGFILE01", 0, oldType_, reinterpret_cast<BYTE*>(old_), oldSize_);
    else
      RegDeleteValueW(key_, L"CONFIGFILE01");
    RegCloseKey(key_);
  }
  bool Ok() const { return key_ != nullptr; }
  void Set(const std::wstring& value, DWORD type = REG_SZ) {
    ASSERT_EQ(RegSetValueExW(key_, L"CONFIGFILE01", 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  void Remove() { RegDeleteValueW(key_, L"CONFIGFILE01"); }

 private:
  HKEY key_ = nullptr;
  bool hadOld_ = false;
  DWORD oldType_ = 0;
  DWORD oldSize_ = 0;
  wchar_t old_[1024] = {};
};

TEST(EngineConfigRegistry, RegistryValueWinsOverTheProgramFolder) {
  RegisteredValue value;
  ASSERT_TRUE(value.Ok());
  const std::wstring path = L"C:\\Program Files\\Common Files\\Borland Shared\\BDE\\IDAPI32.CFG";
  value.Set(path);
  auto registered = paradox::RegisteredEngineConfigFile();
  ASSERT_TRUE(registered);
  EXPECT_EQ(registered->wstring(), path);
  EXPECT_EQ(paradox::LocateEngineConfigFile().wstring(), path);

  value.Remove();
  EXPECT_FALSE(paradox::RegisteredEngineConfigFile());
  EXPECT_EQ(paradox::LocateEngineConfigFile(), paradox::ProgramFolder() / "IDAPI.CFG");

  value.Set(L"");
  EXPECT_FALSE(paradox::RegisteredEngineConfigFile()) << "an empty value names no file";
}

TEST(EngineConfigRegistry, ExpandableValueAndNonAsciiPath) {
  RegisteredValue value;
  ASSERT_TRUE(value.Ok());
  wchar_t windir[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableW(L"WINDIR", windir, MAX_PATH), 0u);
  value.Set(L"%WINDIR%\\IDAPI32.CFG", REG_EXPAND_SZ);
  EXPECT_EQ(paradox::RegisteredEngineConfigFile()->wstring(), std::wstring(windir) + L"\\IDAPI32.CFG");
  const std::wstring japanese = L"C:\\\u8a2d\u5b9a\\IDAPI32.CFG";
  value.Set(japanese);
  EXPECT_EQ(paradox::RegisteredEngineConfigFile()->wstring(), japanese);
}

TEST(EngineConfigRegistry, ReadsTheFileTheRegistryNames) {
  RegisteredValue value;
  ASSERT_TRUE(value.Ok());
  std::filesystem::path dir = testing_support::FreshTempDir("EngineConfigRegistry");
  paradox::EngineConfig config;
  config.SetStandardAlias("Tovo", "C:\\Tovo\\Data");
  config.Save(dir / "IDAPI32.CFG");
  value.Set((dir / "IDAPI32.CFG").wstring());
  auto loaded = paradox::EngineConfig::Load(paradox::LocateEngineConfigFile());
  EXPECT_EQ(loaded.AliasParams("Tovo")->front(), "PATH=C:\\Tovo\\Data");
}

}  // namespace
