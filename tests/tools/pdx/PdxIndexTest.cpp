// pdx reindex and the secondary-index part of pdx check, run as the tool runs them.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "paradox/IndexTestSupport.h"
#include "support/TestPaths.h"
#include "tools/pdx/PdxCommands.h"

namespace fs = std::filesystem;
using namespace index_test;
using testing_support::ReadFileBytes;

namespace {

struct Result {
  int code;
  std::string out, err;
};

Result Pdx(std::vector<std::string> args) {
  std::ostringstream out, err;
  int code = pdx::Run(args, out, err);
  return {code, out.str(), err.str()};
}

std::string U8(const fs::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

fs::path CopyTable(const fs::path& from, const std::string& base, const std::string& name) {
  fs::path dir = testing_support::FreshTempDir(name);
  for (const auto& e : fs::directory_iterator(from)) {
    if (e.path().stem().string() != base) continue;
    fs::copy_file(e.path(), dir / e.path().filename());
    fs::permissions(dir / e.path().filename(), fs::perms::owner_read | fs::perms::owner_write);
  }
  return dir;
}

}  // namespace

TEST(PdxReindex, WritesTheEnginesIndexFilesIntoTheOutputFolder) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  const fs::path db = fixtures / "paradox" / "leonhad-paradoxdriver" / "db";
  for (const char* table : {"CUSTOMER", "AREACODES"}) {
    SCOPED_TRACE(table);
    fs::path out = testing_support::FreshTempDir(std::string("pdx_reindex_") + table) / "new";
    Result r = Pdx({"reindex", U8(db / table), "--out", U8(out)});
    ASSERT_EQ(r.code, 0) << r.err;
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(out)) {
      ++files;
      EXPECT_NE(r.out.find(e.path().filename().string()), std::string::npos);
      const std::string mine = ReadFileBytes(e.path()), real = ReadFileBytes(db / e.path().filename());
      const bool x = e.path().extension().string()[1] == 'X';
      auto mask = x ? XVolatile(U16(real, 0x21)) : BlockIndexVolatile(U16(real, 0x21));
      EXPECT_TRUE(Differences(mine, real, mask).empty()) << e.path();
    }
    EXPECT_EQ(files, 3u);  // .PX, .X.., .Y..
  }
}

TEST(PdxReindex, RefusesBadArgumentsAndItsOwnTablesFolder) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  fs::path dir = CopyTable(fixtures / "paradox" / "leonhad-paradoxdriver" / "db", "CUSTOMER", "pdx_reindex_args");
  EXPECT_EQ(Pdx({"reindex", U8(dir / "CUSTOMER")}).code, 2);
  EXPECT_EQ(Pdx({"reindex", U8(dir / "CUSTOMER"), "--to", U8(dir / "x")}).code, 2);
  Result same = Pdx({"reindex", U8(dir / "CUSTOMER"), "--out", U8(dir)});
  EXPECT_EQ(same.code, 2);
  EXPECT_NE(same.err.find("table's folder"), std::string::npos);
  Result missing = Pdx({"reindex", U8(dir / "NOSUCH"), "--out", U8(dir / "x")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos);
}

TEST(PdxCheck, FindsFaultsOfSecondaryIndexes) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  const fs::path src = fixtures / "paradox" / "leonhad-paradoxdriver" / "db";
  fs::path dir = CopyTable(src, "CUSTOMER", "pdx_check_index");
  Result ok = Pdx({"check", U8(dir / "CUSTOMER.DB")});
  EXPECT_EQ(ok.code, 0) << ok.err;

  // Two entries of the .X swapped: out of key order.
  std::string x = ReadFileBytes(src / "CUSTOMER.X06");
  const std::size_t rs = U16(x, 0);
  std::string swapped = x;
  swapped.replace(0x806, rs, x.substr(0x806 + 3 * rs, rs));
  swapped.replace(0x806 + 3 * rs, rs, x.substr(0x806, rs));
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", swapped);
  Result bad = Pdx({"check", U8(dir / "CUSTOMER.DB")});
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.err.find("X06"), std::string::npos) << bad.err;

  // A wrong block number: the entry does not match its record.
  std::string moved = x;
  moved[0x806 + rs - 1] = static_cast<char>(moved[0x806 + rs - 1] + 1);
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", moved);
  EXPECT_EQ(Pdx({"check", U8(dir / "CUSTOMER.DB")}).code, 1);

  // The upper level missing.
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", x);
  fs::remove(dir / "CUSTOMER.Y06");
  Result noY = Pdx({"check", U8(dir / "CUSTOMER.DB")});
  EXPECT_EQ(noY.code, 1);
  EXPECT_NE(noY.err.find("Y06"), std::string::npos) << noY.err;
}

TEST(PdxCheck, PassesTablesOfTheMigrationFilledWithThousandsOfRecords) {
  std::mt19937 rng(26);
  for (const auto& layout : MigrationTables()) {
    SCOPED_TRACE(layout.name);
    fs::path dir = testing_support::FreshTempDir("pdx_check_" + paradox::TableBaseName(layout.name));
    fs::path data = CreateTable(dir, layout);
    std::set<std::string> keys;
    {
      auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
      auto indexes = paradox::SecondaryIndexSet::Attach(*t);
      Fill(*t, rng, 800, keys);
      t->Close();
    }
    Result r = Pdx({"check", U8(data)});
    EXPECT_EQ(r.code, 0) << r.err;
    // Each index rebuilt from the records is what the engine kept up to date.
    fs::path out = dir / "rebuilt";
    ASSERT_EQ(Pdx({"reindex", U8(data), "--out", U8(out)}).code, 0);
    for (std::size_t i = 0; i < layout.indexes.size(); ++i) {
      const std::string ext = ".XG" + std::to_string(i);
      const std::string kept = ReadFileBytes(paradox::FamilyMemberPath(data, ext));
      const std::string rebuilt = ReadFileBytes(out / paradox::FamilyMemberPath(data, ext).filename());
      EXPECT_EQ(kept.substr(0x800), rebuilt.substr(0x800)) << ext;
    }
  }
}
