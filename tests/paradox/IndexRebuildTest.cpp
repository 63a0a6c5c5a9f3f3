// Rebuilding indexes from the data of tables the real engine wrote gives the real engine's
// index files, apart from its counters, stamps, time stamps and memory addresses.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "IndexTestSupport.h"
#include "paradox/EngineError.h"
#include "paradox/IndexRebuild.h"
#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;
using namespace index_test;
using testing_support::ReadFileBytes;

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Every keyed data file among the samples (file type 0 at offset 4).
std::vector<fs::path> KeyedSampleTables(const fs::path& root) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(root / "paradox")) {
    if (!e.is_regular_file() || Upper(e.path().extension().string()) != ".DB") continue;
    std::string b = ReadFileBytes(e.path());
    if (b.size() > 0x80 && b[4] == 0) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string Hex(const std::string& b, std::size_t at, std::size_t n) {
  std::ostringstream s;
  for (std::size_t i = at; i < std::min(b.size(), at + n); ++i) s << std::hex << (static_cast<unsigned>(b[i]) & 0xFF) << ' ';
  return s.str();
}

}  // namespace

TEST(IndexRebuild, EveryKeyedSampleTableGetsTheRealEnginesIndexFiles) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  auto tables = KeyedSampleTables(fixtures);
  ASSERT_GE(tables.size(), 10u);
  std::size_t secondaryCompared = 0, primaryCompared = 0, missingCompared = 0;
  for (const auto& db : tables) {
    SCOPED_TRACE(db.string());
    fs::path out = testing_support::FreshTempDir("reindex_" + db.stem().string());
    std::vector<fs::path> written;
    try {
      written = RebuildIndexes(db, out);
    } catch (const EDBEngineError& e) {
      ADD_FAILURE() << "rebuild refused: " << e.what();
      continue;
    }
    for (const auto& file : written) {
      fs::path real = db.parent_path() / file.filename();
      SCOPED_TRACE(file.filename().string());
      if (!fs::exists(real)) {
        // TypSammlung travels without its .PX: pxlib then reads ours, and it must list the
        // first key of the table's single block.
        EXPECT_EQ(Upper(file.extension().string()), ".PX");
#ifndef _WIN32
        auto px = ReadWithPxlib(file);
        ASSERT_TRUE(px.has_value()) << "pxlib is not installed";
        EXPECT_GE(px->records, 1);
        ++missingCompared;
#endif
        continue;
      }
      const std::string mine = ReadFileBytes(file), theirs = ReadFileBytes(real);
      const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(file.extension().string()[1])));
      std::vector<Range> mask = kind == 'X' ? XVolatile(U16(theirs, 0x21)) : BlockIndexVolatile(U16(theirs, 0x21));
      auto diff = Differences(mine, theirs, mask);
      EXPECT_TRUE(diff.empty()) << diff.size() << " bytes differ, first at 0x" << std::hex << diff.front()
                                << ": ours " << Hex(mine, diff.front(), 8) << "/ real " << Hex(theirs, diff.front(), 8);
      (kind == 'P' ? primaryCompared : secondaryCompared)++;
    }
  }
  // CUSTOMER.X06/.Y06, AREACODES.XG0/.YG0, C.X02/.Y02/.X03/.Y03, fk1.x02/.y02, fk4.XG0/.YG0.
  EXPECT_EQ(secondaryCompared, 12u);
  EXPECT_GE(primaryCompared, 10u);
#ifndef _WIN32
  EXPECT_EQ(missingCompared, 1u);
#endif
}

TEST(IndexRebuild, SampleIndexDefinitionsAreReadAsTheEngineStoredThem) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  const fs::path root = fixtures / "paradox" / "leonhad-paradoxdriver";
  struct Expect {
    fs::path table;
    std::string ext, name, storedBase;
    std::vector<std::size_t> fields;
    bool caseInsensitive;
  };
  const Expect cases[] = {
      {root / "db" / "CUSTOMER.DB", "X06", "", "resttemp", {5}, false},
      {root / "db" / "AREACODES.DB", "XG0", "ste", "areacodes", {1}, true},
      {root / "joins" / "C.DB", "X02", "", "resttemp", {1}, false},
      {root / "joins" / "C.DB", "X03", "", "resttemp", {2}, false},
      {root / "joins" / "fk4.db", "XG0", "reference", "resttemp", {1, 3}, false},
      {root / "joins" / "fk1.db", "X02", "", "resttemp", {1}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table.string() + " " + c.ext);
    auto t = ParadoxTable::Open(c.table, OpenMode::kShared);
    auto indexes = ReadSecondaryIndexes(*t);
    auto it = std::find_if(indexes.begin(), indexes.end(), [&](const auto& i) { return i.extension == c.ext; });
    ASSERT_NE(it, indexes.end());
    EXPECT_EQ(it->def.name, c.name);
    EXPECT_EQ(it->def.fields, c.fields);
    EXPECT_EQ(it->def.caseInsensitive, c.caseInsensitive);
    EXPECT_TRUE(it->def.maintained);
    EXPECT_EQ(it->storedBase, c.storedBase);
    EXPECT_EQ(it->recordCount, t->RecordCount());
    // The naming rule gives back the file's own extension.
    unsigned seq = c.ext[1] == 'G' ? static_cast<unsigned>(c.ext[2] - '0') : 0;
    EXPECT_EQ(IndexExtensionX(it->def, t->Schema(), seq), c.ext);
  }
}

TEST(IndexRebuild, DamagedOrForeignIndexFilesAreRefusedNotMisread) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  const fs::path db = fixtures / "paradox" / "leonhad-paradoxdriver" / "db";
  fs::path dir = testing_support::FreshTempDir("reindex_damaged");
  for (const char* f : {"CUSTOMER.DB", "CUSTOMER.MB", "CUSTOMER.PX"}) {
    fs::copy_file(db / f, dir / f);
    // The samples are read-only, and so would be the copies (Windows then refuses to delete them).
    fs::permissions(dir / f, fs::perms::owner_read | fs::perms::owner_write);
  }
  auto schemaOf = [&] { return ParadoxTable::Open(dir / "CUSTOMER.DB", OpenMode::kShared); };
  std::string x = ReadFileBytes(db / "CUSTOMER.X06");

  // Truncated inside the header.
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", x.substr(0, 0x300));
  EXPECT_THROW(ReadSecondaryIndexFile(dir / "CUSTOMER.X06", schemaOf()->Schema()), EDBEngineError);
  // An index of another table (AREACODES' fields do not match CUSTOMER's).
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", ReadFileBytes(db / "AREACODES.XG0"));
  EXPECT_THROW(ReadSecondaryIndexFile(dir / "CUSTOMER.X06", schemaOf()->Schema()), EDBEngineError);
  // A field number beyond the table's fields.
  std::string bad = x;
  bad[0x58 + U16(x, 0x66)] = 0x40;
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", bad);
  EXPECT_THROW(ReadSecondaryIndexFile(dir / "CUSTOMER.X06", schemaOf()->Schema()), EDBEngineError);
  // Field names running past the header.
  bad = x;
  std::fill(bad.begin() + 0x190, bad.begin() + 0x800, 'A');
  testing_support::WriteFileBytes(dir / "CUSTOMER.X06", bad);
  EXPECT_THROW(ReadSecondaryIndexFile(dir / "CUSTOMER.X06", schemaOf()->Schema()), EDBEngineError);
}
