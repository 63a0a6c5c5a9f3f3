// GetAliasPath over configuration files the engine's administrator tool wrote and over ones
// we write.

#include <gtest/gtest.h>

#include "engine/Session.h"
#include "paradox/EngineConfig.h"
#include "paradox/EngineError.h"
#include "support/TestPaths.h"

namespace {

using testing_support::FreshTempDir;

class AliasPathTest : public ::testing::Test {
 protected:
  void TearDown() override { Session().SetConfigFile({}); }

  void UseConfig(const paradox::EngineConfig& config, const char* dirName) {
    std::filesystem::path dir = FreshTempDir(dirName);
    config.Save(dir / "IDAPI32.CFG");
    Session().SetConfigFile(dir / "IDAPI32.CFG");
  }
};

TEST_F(AliasPathTest, RealConfigurationSamples) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  std::string path;
  Session().SetConfigFile(fixtures / "bde-config" / "idapi32-95nt.cfg");
  GetAliasPath("HortiFrut", path);
  EXPECT_EQ(path, "C:\\Projeto Horti-Frut");
  GetAliasPath("DBDEMOS", path);
  EXPECT_EQ(path, "C:\\Program Files\\Common Files\\Borland Shared\\Data");
  // A server alias's first parameter is its server name, taken as it is.
  GetAliasPath("IBLocal", path);
  EXPECT_EQ(path, "C:\\Program Files\\Common Files\\Borland Shared\\Data\\employee.gdb");

  Session().SetConfigFile(fixtures / "bde-config" / "idapi-composite.cfg");
  GetAliasPath("hortifrut", path);
  EXPECT_EQ(path, "C:\\Projeto Horti-Frut\\Dados");
}

TEST_F(AliasPathTest, UnknownAliasLeavesFalseAndPassesTheEngineError) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  Session().SetConfigFile(fixtures / "bde-config" / "idapi-composite.cfg");
  std::string path = "previous";
  try {
    GetAliasPath("Tovo", path);
    FAIL() << "no error";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kUnknownAlias);
    EXPECT_NE(std::string(e.what()).find("Tovo"), std::string::npos);
  }
  EXPECT_EQ(path, "False");
}

TEST_F(AliasPathTest, WrittenConfiguration) {
  paradox::EngineConfig config;
  // 顧客 in code page 932, as the configuration stores a Japanese folder name.
  config.SetStandardAlias("Tovo", "C:\\Tovo\\\x8c\xda\x8b\x71");
  config.SetStandardAlias("TovoDemo", "C:\\Tovo\\Demo=1");
  config.SetStandardAlias("Trailing", "C:\\Tovo\\ ");
  UseConfig(config, "AliasPathWritten");
  std::string path;
  GetAliasPath("Tovo", path);
  EXPECT_EQ(path, "C:\\Tovo\\\xe9\xa1\xa7\xe5\xae\xa2");  // UTF-8 inside the program
  GetAliasPath("TovoDemo", path);
  EXPECT_EQ(path, "C:\\Tovo\\Demo=1") << "everything after the first '=' is kept";
  GetAliasPath("Trailing", path);
  EXPECT_EQ(path, "C:\\Tovo\\ ") << "not trimmed";
}

TEST_F(AliasPathTest, AliasWithoutParametersFailsOnTheFirstLine) {
  paradox::EngineConfig config;
  config.SectionPath("DATABASES\\Remote\\DB INFO").SetParam("TYPE", "INTRBASE");
  // A standard alias without a PATH still yields a PATH line, empty.
  config.SectionPath("DATABASES\\NoPath\\DB INFO").SetParam("TYPE", "STANDARD");
  UseConfig(config, "AliasPathEmpty");
  std::string path = "previous";
  EXPECT_THROW(GetAliasPath("Remote", path), std::out_of_range);
  EXPECT_EQ(path, "False");
  GetAliasPath("NoPath", path);
  EXPECT_EQ(path, "");
}

TEST_F(AliasPathTest, MissingOrDamagedConfigurationIsAnEngineError) {
  std::filesystem::path dir = FreshTempDir("AliasPathBadConfig");
  Session().SetConfigFile(dir / "IDAPI32.CFG");
  std::string path;
  EXPECT_THROW(GetAliasPath("Tovo", path), EDBEngineError);
  EXPECT_EQ(path, "False");
  testing_support::WriteFileBytes(dir / "IDAPI32.CFG", std::string("\x03\x00\x00\x00" "DATABASES", 13));
  Session().SetConfigFile(dir / "IDAPI32.CFG");
  try {
    GetAliasPath("Tovo", path);
    FAIL() << "no error";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile);
    EXPECT_EQ(e.Offset(), 4u);
  }
}

}  // namespace
