// Secondary indexes defined through TIndexDefs: built with the table, kept up to date by the
// table layer's writes, and never dropped silently.

#include <gtest/gtest.h>

#include <set>

#include "engine/FieldDefs.h"
#include "engine/Session.h"
#include "engine/Table.h"
#include "paradox/EngineError.h"
#include "support/TestPaths.h"

#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"

namespace {

using Strings = std::vector<std::string>;

std::string Utf8(const std::filesystem::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::set<std::string> FilesIn(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(Utf8(e.path().filename()));
  return names;
}

TEST(IndexDefFields, SeparatedBySemicolonsWithBlanksIgnored) {
  auto names = [](const char* list) { return TIndexDef{"", list, ixPrimary}.FieldNames(); };
  EXPECT_EQ(names("SYATAI_NO ;SEIBI_NO"), (Strings{"SYATAI_NO", "SEIBI_NO"}));
  EXPECT_EQ(names("SYARYOU_NO; SYATAI_NO; SYASEKI_NO"), (Strings{"SYARYOU_NO", "SYATAI_NO", "SYASEKI_NO"}));
  EXPECT_EQ(names("TOUROKU_NO; SEIBI_NO"), (Strings{"TOUROKU_NO", "SEIBI_NO"}));
  EXPECT_EQ(names("  ID  "), (Strings{"ID"}));
  EXPECT_EQ(names("A;;B;"), (Strings{"A", "B"}));
  EXPECT_EQ(names(""), Strings{});
  EXPECT_TRUE((TIndexDef{"", "ID", ixCaseInsensitive}.IsPrimary())) << "the empty name marks the primary index";
  EXPECT_FALSE((TIndexDef{"Kokyaku_ID", "ID", ixCaseInsensitive}.IsPrimary()));
  EXPECT_TRUE((ixPrimary | ixUnique).Contains(ixUnique));
  EXPECT_FALSE(TIndexOptions(ixCaseInsensitive).Contains(ixPrimary));
}

class TableIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing_support::FreshTempDir(std::string("TableIndex_") +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Session().SetConfigFile(dir_ / "NO-IDAPI32.CFG");
  }
  void TearDown() override { Session().SetConfigFile({}); }

  // The moped table of the new structure, shortened.
  void Define(TTable& t) {
    t.SetDatabaseName(Utf8(dir_));
    t.SetTableName("NewTovo");
    t.SetTableType(ttParadox);
    t.FieldDefs().Clear();
    t.FieldDefs().Add("SYARYOU_NO", ftString, 20, false);
    t.FieldDefs().Add("SYATAI_NO", ftString, 20, false);
    t.FieldDefs().Add("SYASEKI_NO", ftString, 20, false);
    t.FieldDefs().Add("ID", ftInteger, 0, true);
    t.IndexDefs().Clear();
    t.IndexDefs().Add("", "SYARYOU_NO; SYATAI_NO; SYASEKI_NO", ixPrimary | ixUnique);
    t.IndexDefs().Add("IX_SYARYOU", "SYARYOU_NO", ixCaseInsensitive);
    t.IndexDefs().Add("IX_SYATAI", "SYATAI_NO", ixCaseInsensitive);
    t.IndexDefs().Add("Kokyaku_ID", "ID", ixCaseInsensitive);
  }

  std::filesystem::path dir_;
};

TEST_F(TableIndexTest, SecondaryIndexesAreBuiltAndKeptUpToDate) {
  TTable t;
  Define(t);
  t.CreateTable();
  std::set<std::string> files = FilesIn(dir_);
  for (const char* f : {"NewTovo.DB", "NewTovo.PX", "NewTovo.XG0", "NewTovo.YG0", "NewTovo.XG1", "NewTovo.YG1",
                        "NewTovo.XG2", "NewTovo.YG2"})
    EXPECT_TRUE(files.count(f)) << f;
  t.SetExclusive(true);
  t.Open();
  const char* rows[][3] = {{"b-1", "F2", "S1"}, {"A-1", "f1", "S2"}, {"c-9", "F3", "S3"}};
  int id = 3;
  for (auto& row : rows) {
    t.Append();
    t.FieldByName("SYARYOU_NO").SetAsString(row[0]);
    t.FieldByName("SYATAI_NO").SetAsString(row[1]);
    t.FieldByName("SYASEKI_NO").SetAsString(row[2]);
    t.FieldByName("ID").SetAsInteger(id--);
  }
  t.Close();  // the last one was still pending: dropped
  t.Open();
  ASSERT_EQ(t.RecordCount(), 2);
  auto indexes = paradox::ReadSecondaryIndexes(*t.Handle());
  ASSERT_EQ(indexes.size(), 3u);
  Strings names;
  for (const auto& index : indexes) {
    names.push_back(index.def.name);
    EXPECT_TRUE(index.def.caseInsensitive) << index.def.name;
    EXPECT_EQ(index.recordCount, 2u) << index.def.name;
  }
  EXPECT_EQ(names, (Strings{"IX_SYARYOU", "IX_SYATAI", "Kokyaku_ID"}));
  EXPECT_EQ(indexes[2].def.fields, (std::vector<std::size_t>{3}));
}


TEST_F(TableIndexTest, SecondaryIndexOnAnUnknownFieldCreatesNothing) {
  TTable t;
  Define(t);
  t.IndexDefs().Add("IX_NOPE", "NOPE", ixCaseInsensitive);
  EXPECT_THROW(t.CreateTable(), EDBEngineError);
  EXPECT_TRUE(FilesIn(dir_).empty());
}

}  // namespace
