// The configuration reader and writer, checked against configuration files that the engine's
// own administrator tool wrote (decoded by hand from their hex dumps).

#include "paradox/EngineConfig.h"

#include <gtest/gtest.h>

#include <random>

#include "paradox/EngineError.h"
#include "os/FaultInjection.h"
#include "support/TestPaths.h"

namespace {

using paradox::ConfigNode;
using os::ArmFault;
using os::DisarmFault;
using paradox::EngineConfig;
using os::FileOperation;
using os::InjectedFault;
using testing_support::ReadFileBytes;

std::string Sample(const std::filesystem::path& fixtures, const char* name) {
  return ReadFileBytes(fixtures / "bde-config" / name);
}

using Lines = std::vector<std::string>;

TEST(EngineConfigSamples, BothSamplesWriteBackByteIdentical) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  for (const char* name : {"idapi32-95nt.cfg", "idapi-composite.cfg"}) {
    std::string bytes = Sample(fixtures, name);
    EngineConfig config = EngineConfig::Parse(bytes, name);
    EXPECT_EQ(config.Serialize(), bytes) << name;
  }
}

TEST(EngineConfigSamples, NtSampleAliases) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  EngineConfig config = EngineConfig::Load(fixtures / "bde-config" / "idapi32-95nt.cfg");
  EXPECT_EQ(config.AliasNames(), (Lines{"DBDEMOS", "DefaultDD", "IBLocal", "HortiFrut", "dBASE Files",
                                        "Excel Files", "MS Access Database"}));
  // Stored as TYPE, PATH, ENABLE BCD, DEFAULT DRIVER: the path comes first, TYPE is not a parameter.
  EXPECT_EQ(config.AliasParams("HortiFrut"),
            (Lines{"PATH=C:\\Projeto Horti-Frut", "ENABLE BCD=TRUE", "DEFAULT DRIVER=PARADOX"}));
  EXPECT_EQ(config.AliasParams("dbdemos"),
            (Lines{"PATH=C:\\Program Files\\Common Files\\Borland Shared\\Data", "ENABLE BCD=FALSE",
                   "DEFAULT DRIVER=PARADOX"}));
  // A server alias hands out its DB OPEN parameters.
  auto ib = config.AliasParams("IBLocal");
  ASSERT_TRUE(ib);
  ASSERT_GE(ib->size(), 3u);
  EXPECT_EQ((*ib)[0], "SERVER NAME=C:\\Program Files\\Common Files\\Borland Shared\\Data\\employee.gdb");
  EXPECT_EQ((*ib)[1], "USER NAME=SYSDBA");
  EXPECT_EQ(ib->back(), "ROLE NAME=");
  EXPECT_FALSE(config.AliasParams("Tovo"));
  EXPECT_FALSE(config.AliasParams("DB INFO"));
  // This flavour keeps only NET DIR for the Paradox driver.
  EXPECT_FALSE(config.ParadoxLangDriver());
  const ConfigNode* init = config.FindSectionPath("DRIVERS\\PARADOX\\INIT");
  ASSERT_TRUE(init);
  ASSERT_TRUE(init->FindParam("net dir"));
  EXPECT_EQ(init->FindParam("NET DIR")->value, "C:\\");
}

TEST(EngineConfigSamples, CompositeSampleDriversAndAlias) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  EngineConfig config = EngineConfig::Load(fixtures / "bde-config" / "idapi-composite.cfg");
  ASSERT_EQ(config.Items().size(), 3u);
  EXPECT_EQ(config.Items()[0].name, "SYSTEM");
  EXPECT_EQ(config.Items()[1].name, "DRIVERS");
  EXPECT_EQ(config.Items()[2].name, "DATABASES");
  EXPECT_EQ(config.ParadoxLangDriver(), "DBWINUS0");
  const ConfigNode* date = config.FindSectionPath("SYSTEM\\FORMATS\\DATE");
  ASSERT_TRUE(date);
  EXPECT_EQ(date->FindParam("SEPARATOR")->value, "/");
  const ConfigNode* level = config.FindSectionPath("DRIVERS\\PARADOX\\TABLE CREATE");
  ASSERT_TRUE(level);
  EXPECT_EQ(level->FindParam("LEVEL")->value, "4");
  EXPECT_EQ(config.AliasParams("HortiFrut"),
            (Lines{"PATH=C:\\Projeto Horti-Frut\\Dados", "ENABLE BCD=TRUE", "DEFAULT DRIVER=PARADOX"}));
  // Empty values are kept as such.
  const ConfigNode* system = config.FindSectionPath("SYSTEM\\INIT");
  ASSERT_TRUE(system && system->FindParam("SHAREDMEMLOCATION"));
  EXPECT_EQ(system->FindParam("SHAREDMEMLOCATION")->value, "");
}

TEST(EngineConfigWriter, StandardAliasIsStoredLikeTheAdministratorToolStoresIt) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  std::string bytes = Sample(fixtures, "idapi-composite.cfg");
  EngineConfig real = EngineConfig::Parse(bytes);
  EngineConfig ours;
  ours.SetStandardAlias("HortiFrut", "C:\\Projeto Horti-Frut\\Dados");
  ours.SectionPath("DATABASES\\HortiFrut\\DB INFO").SetParam("ENABLE BCD", "TRUE");
  std::string written = ours.Serialize();
  // The composite sample ends with its DATABASES section, which holds this one alias.
  ASSERT_LT(written.size(), bytes.size());
  EXPECT_EQ(bytes.substr(bytes.size() - written.size()), written);
  EXPECT_EQ(ours.AliasParams("HortiFrut"), real.AliasParams("HortiFrut"));
}

TEST(EngineConfigWriter, WrittenFileReadsBack) {
  std::filesystem::path dir = testing_support::FreshTempDir("EngineConfigWriter");
  EngineConfig config;
  config.SetParadoxLangDriver("japan");
  // A Japanese folder name, in the bytes of code page 932 as the engine stores it.
  const std::string demoPath = "C:\\Tovo\\\x83\x66\x83\x82";
  config.SetStandardAlias("Tovo", "C:\\Tovo\\Data");
  config.SetStandardAlias("TovoDemo", demoPath);
  config.SetStandardAlias("Tovo", "D:\\Tovo\\Data");  // replaced, not added twice
  config.Save(dir / "IDAPI32.CFG");
  EngineConfig back = EngineConfig::Load(dir / "IDAPI32.CFG");
  EXPECT_EQ(back.Serialize(), config.Serialize());
  EXPECT_EQ(back.AliasNames(), (Lines{"Tovo", "TovoDemo"}));
  EXPECT_EQ(back.AliasParams("tovo")->front(), "PATH=D:\\Tovo\\Data");
  EXPECT_EQ(back.AliasParams("TovoDemo")->front(), "PATH=" + demoPath);
  EXPECT_EQ(back.ParadoxLangDriver(), "japan");
}

// The file names every alias of the machine: a write that fails leaves the old one whole, and
// reading passes the same fault gate as the tables.
TEST(EngineConfigWriter, AFailedWriteLeavesTheOldFileAndAFailedReadIsAnError) {
  std::filesystem::path dir = testing_support::FreshTempDir("EngineConfigFaults");
  EngineConfig config;
  config.SetStandardAlias("Tovo", "C:\\Tovo\\Data");
  config.Save(dir / "IDAPI32.CFG");
  const std::string before = ReadFileBytes(dir / "IDAPI32.CFG");
  EngineConfig changed = config;
  changed.SetStandardAlias("TovoDemo", "C:\\Tovo\\Demo");
  {
    os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite, 1, false});
    EXPECT_THROW(changed.Save(dir / "IDAPI32.CFG"), EDBEngineError);
    os::DisarmFault();
  }
  EXPECT_EQ(ReadFileBytes(dir / "IDAPI32.CFG"), before);
  EXPECT_FALSE(std::filesystem::exists(dir / "IDAPI32.CFG.tmp"));
  for (os::FileOperation op : {os::FileOperation::kOpen, os::FileOperation::kRead}) {
    os::ArmFault({os::InjectedFault::kAccessDenied, op, 1, false});
    try {
      EngineConfig::Load(dir / "IDAPI32.CFG");
      ADD_FAILURE() << os::FileOperationName(op) << " refused, yet the file was read";
    } catch (const EDBEngineError& e) {
      EXPECT_EQ(e.Code(), op == os::FileOperation::kOpen ? EngineErrorCode::kFileNotFound : EngineErrorCode::kIoError);
    }
    os::DisarmFault();
  }
  EXPECT_EQ(EngineConfig::Load(dir / "IDAPI32.CFG").Serialize(), config.Serialize());
}

TEST(EngineConfigWriter, EmbeddedNulCannotShiftTheStream) {
  EngineConfig config;
  config.SetStandardAlias("A", std::string("C:\\x\0evil", 9));
  EngineConfig back = EngineConfig::Parse(config.Serialize());
  EXPECT_EQ(back.AliasParams("A")->front(), "PATH=C:\\x");
}

// Where the reader stops must be the offset the error names.
std::uint64_t FailOffset(const std::string& bytes) {
  try {
    EngineConfig::Parse(bytes, "X.CFG");
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile);
    EXPECT_EQ(e.File(), "X.CFG");
    EXPECT_NE(std::string(e.what()).find("offset"), std::string::npos);
    return e.Offset().value_or(~0ull);
  }
  ADD_FAILURE() << "no error";
  return ~0ull;
}

TEST(EngineConfigMalformed, ErrorsNameTheOffset) {
  using namespace std::string_literals;
  const std::string section = "\x03\x00\x00\x00S\x00\x01\x00"s;
  const std::string param = "\x03\x00\x01\x00P\x00\x04\x00V\x00"s;
  const std::string end = "\x02\x00"s;
  ASSERT_NO_THROW(EngineConfig::Parse(section + param + end));
  EXPECT_EQ(FailOffset(end), 0u);                                   // close without open
  EXPECT_EQ(FailOffset(section + param + "\x07\x00"s + end), 18u);  // unknown code
  EXPECT_EQ(FailOffset(section + "\x03\x00\x05\x00"s), 10u);        // unknown kind
  EXPECT_EQ(FailOffset(section + param), 0u);                       // section never closed
  EXPECT_EQ(FailOffset("\x03\x00\x00\x00S\x00\x04\x00"s), 6u);      // bad section mark
  EXPECT_EQ(FailOffset("\x03\x00\x01\x00P\x00\x01\x00"s), 6u);      // bad value mark
  EXPECT_EQ(FailOffset("\x03\x00\x01\x00P\x00\x04\x00VAL"s), 8u);   // unterminated value
  EXPECT_EQ(FailOffset(section + "\x03"s), 8u);                     // half a code
}

// Sections nested n deep, each holding one parameter, then closed.
std::string NestedSections(std::size_t n) {
  using namespace std::string_literals;
  std::string bytes;
  for (std::size_t i = 0; i < n; ++i) bytes += "\x03\x00\x00\x00S\x00\x01\x00"s + "\x03\x00\x01\x00P\x00\x04\x00V\x00"s;
  for (std::size_t i = 0; i < n; ++i) bytes += "\x02\x00"s;
  return bytes;
}

TEST(EngineConfigMalformed, NestingTooDeepForTheStackIsRefusedWhereItStarts) {
  const std::string deepest = NestedSections(paradox::kMaxConfigDepth);
  EngineConfig config = EngineConfig::Parse(deepest);
  EXPECT_EQ(config.Serialize(), deepest);
  const std::string path = [] {
    std::string p = "S";
    for (std::size_t i = 1; i < paradox::kMaxConfigDepth; ++i) p += "\\S";
    return p;
  }();
  ASSERT_NE(config.FindSectionPath(path), nullptr);
  EXPECT_EQ(config.FindSectionPath(path)->FindParam("P")->value, "V");

  // One level more: the offending section is named. A million levels once parsed and then
  // overflowed the stack when the tree was written or destroyed.
  EXPECT_EQ(FailOffset(NestedSections(paradox::kMaxConfigDepth + 1)), paradox::kMaxConfigDepth * 18);
  EXPECT_EQ(FailOffset(NestedSections(1000000)), paradox::kMaxConfigDepth * 18);
}

TEST(EngineConfigMalformed, EveryTruncationOfTheSamplesIsCaughtOrBalanced) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  for (const char* name : {"idapi32-95nt.cfg", "idapi-composite.cfg"}) {
    std::string bytes = Sample(fixtures, name);
    int accepted = 0;
    for (std::size_t n = 0; n < bytes.size(); ++n) {
      std::string cut = bytes.substr(0, n);
      try {
        // A cut that falls between two top-level sections is a complete, smaller file.
        EXPECT_EQ(EngineConfig::Parse(cut).Serialize(), cut) << name << " cut at " << n;
        ++accepted;
      } catch (const EDBEngineError& e) {
        ASSERT_TRUE(e.Offset());
        EXPECT_LE(*e.Offset(), n);
      }
    }
    // The empty file, and in the composite flavour the ends of SYSTEM and DRIVERS.
    EXPECT_EQ(accepted, std::string(name) == "idapi-composite.cfg" ? 3 : 2) << name;
  }
}

TEST(EngineConfigMalformed, DamagedBytesNeverCrash) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  const std::string bytes = Sample(fixtures, "idapi32-95nt.cfg");
  std::mt19937 rng(1234);
  for (int round = 0; round < 500; ++round) {
    std::string damaged = bytes;
    for (int k = 0; k < 3; ++k) damaged[rng() % damaged.size()] = static_cast<char>(rng() & 0xFF);
    try {
      EngineConfig config = EngineConfig::Parse(damaged);
      // Whatever parses writes back as it was read.
      EXPECT_EQ(config.Serialize(), damaged);
    } catch (const EDBEngineError& e) {
      EXPECT_TRUE(e.Offset());
      EXPECT_LT(*e.Offset(), damaged.size());
    }
  }
}

TEST(EngineConfigLoad, MissingFileIsAnEngineError) {
  std::filesystem::path dir = testing_support::FreshTempDir("EngineConfigMissing");
  try {
    EngineConfig::Load(dir / "IDAPI32.CFG");
    FAIL() << "no error";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kFileNotFound);
  }
}

TEST(EngineConfigLocate, FallsBackToTheProgramFolder) {
  std::filesystem::path folder = paradox::ProgramFolder();
  // The test program itself lives there.
  bool found = false;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().stem() == "paradox_EngineConfigTest") found = true;
  EXPECT_TRUE(found) << folder;
  if (!paradox::RegisteredEngineConfigFile()) {
    EXPECT_EQ(paradox::LocateEngineConfigFile(), folder / "IDAPI.CFG");
  }
}

}  // namespace
