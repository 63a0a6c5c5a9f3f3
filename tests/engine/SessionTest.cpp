// The session over the engine's configuration: aliases and the driver for new tables.

#include "engine/Session.h"

#include <gtest/gtest.h>

#include "engine/Table.h"
#include "paradox/EngineConfig.h"
#include "paradox/EngineError.h"
#include "support/TestPaths.h"

namespace {

using Strings = std::vector<std::string>;

class SessionTest : public ::testing::Test {
 protected:
  void TearDown() override { Session().SetConfigFile({}); }
};

TEST_F(SessionTest, AliasesOfTheRealSamples) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  Session().SetConfigFile(fixtures / "bde-config" / "idapi-composite.cfg");
  EXPECT_EQ(Session().GetAliasNames(), Strings{"HortiFrut"});
  EXPECT_EQ(Session().ParadoxLangDriver(), "DBWINUS0");
  Strings list{"left over"};
  Session().GetAliasParams("HortiFrut", list);
  EXPECT_EQ(list, (Strings{"PATH=C:\\Projeto Horti-Frut\\Dados", "ENABLE BCD=TRUE", "DEFAULT DRIVER=PARADOX"}));
  list = {"left over"};
  try {
    Session().GetAliasParams("TovoDemo", list);
    FAIL() << "unknown alias accepted";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kUnknownAlias);
  }
  EXPECT_TRUE(list.empty());

  Session().SetConfigFile(fixtures / "bde-config" / "idapi32-95nt.cfg");
  EXPECT_EQ(Session().GetAliasNames().size(), 7u);
  EXPECT_FALSE(Session().ParadoxLangDriver());
}

TEST_F(SessionTest, WithoutAConfigurationThereAreNoAliasesButTablesCanBeMade) {
  std::filesystem::path dir = testing_support::FreshTempDir("SessionNoConfig");
  Session().SetConfigFile(dir / "IDAPI32.CFG");
  Strings list;
  EXPECT_THROW(Session().GetAliasParams("Tovo", list), EDBEngineError);
  EXPECT_FALSE(Session().ParadoxLangDriver());

  // A driver name the engine does not know gives the default, Japanese, driver.
  paradox::EngineConfig config;
  config.SetParadoxLangDriver("NOSUCH");
  config.SetStandardAlias("Tovo", "C:\\Tovo");
  config.Save(dir / "IDAPI32.CFG");
  EXPECT_EQ(Session().ParadoxLangDriver(), "NOSUCH") << "a file that could not be read is tried again";
  paradox::EngineConfig changed = config;
  changed.SetParadoxLangDriver("ascii");
  changed.Save(dir / "IDAPI32.CFG");
  EXPECT_EQ(Session().ParadoxLangDriver(), "NOSUCH") << "read once";
  Session().Reload();
  EXPECT_EQ(Session().ParadoxLangDriver(), "ascii");
  config.Save(dir / "IDAPI32.CFG");
  Session().Reload();
  TTable t;
  std::u8string d = dir.u8string();
  t.SetDatabaseName(std::string(d.begin(), d.end()));
  t.SetTableName("X");
  t.FieldDefs().Add("A", ftString, 4);
  t.CreateTable();
  std::string db = testing_support::ReadFileBytes(dir / "X.DB");
  EXPECT_EQ(static_cast<unsigned char>(db[0x6A]) | static_cast<unsigned char>(db[0x6B]) << 8, 932);
  // A folder that does not exist holds no table.
  t.SetDatabaseName(std::string(d.begin(), d.end()) + "-missing");
  EXPECT_FALSE(t.Exists());
  EXPECT_THROW(t.Open(), EDBEngineError);
  EXPECT_THROW(t.CreateTable(), EDBEngineError);
}

}  // namespace
