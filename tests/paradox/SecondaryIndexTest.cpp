// Secondary indexes of tables this engine creates: the files of each kind, their content after
// thousands of stores and removals, read back by pxlib, and repaired when left stale.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "IndexTestSupport.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;
using namespace index_test;

TEST(SecondaryIndex, NamingFollowsTheKindOfIndex) {
  TableSchema s({{FieldDef::Alpha("A", 5), FieldDef::Alpha("B", 5), FieldDef::Long("C")}, 1});
  SecondaryIndexDef single{"", {1}, false};
  EXPECT_EQ(IndexExtensionX(single, s, 0), "X02");
  single.name = "b";  // named after its field: still the plain kind
  EXPECT_EQ(IndexExtensionX(single, s, 0), "X02");
  SecondaryIndexDef named{"IX", {1}, false};
  EXPECT_EQ(IndexExtensionX(named, s, 3), "XG3");
  SecondaryIndexDef folded{"B", {1}, true};
  EXPECT_EQ(IndexExtensionX(folded, s, 0), "XG0");
  SecondaryIndexDef composite{"AB", {2, 1}, false};
  EXPECT_EQ(IndexExtensionX(composite, s, 1), "XG1");
  EXPECT_EQ(IndexExtensionY("XG1"), "YG1");
  EXPECT_EQ(IndexExtensionY("x02"), "y02");
  EXPECT_EQ(ResolveIndexFields(s, " C ;A"), (std::vector<std::size_t>{2, 0}));
  EXPECT_THROW(ResolveIndexFields(s, "A;D"), EDatabaseError);
}

TEST(SecondaryIndex, MigrationTablesStayConsistentThroughThousandsOfChanges) {
  std::mt19937 rng(19436);
  for (const auto& layout : MigrationTables()) {
    SCOPED_TRACE(layout.name);
    fs::path dir = testing_support::FreshTempDir("secidx_" + TableBaseName(layout.name));
    fs::path data = CreateTable(dir, layout);
    // Each named index in its own .XGn/.YGn pair, numbered in order of definition.
    for (std::size_t i = 0; i < layout.indexes.size(); ++i) {
      EXPECT_TRUE(fs::exists(FamilyMemberPath(data, ".XG" + std::to_string(i))));
      EXPECT_TRUE(fs::exists(FamilyMemberPath(data, ".YG" + std::to_string(i))));
    }
    std::set<std::string> keys;
    {
      auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
      auto indexes = SecondaryIndexSet::Attach(*t);
      ASSERT_EQ(indexes->IndexCount(), layout.indexes.size());
      for (std::size_t i = 0; i < layout.indexes.size(); ++i) EXPECT_EQ(indexes->Index(i).def.name, layout.indexes[i].name);
      Fill(*t, rng, 1200, keys);
      // Remove a few hundred from anywhere, so blocks split and empty.
      for (int i = 0; i < 150; ++i) t->Delete(rng() % t->RecordCount());
      t->Close();
    }
    EXPECT_EQ(CheckTable(data), std::nullopt);
    EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);

#ifndef _WIN32
    // pxlib, an independent reader, sees the primary index and each .X as tables.
    auto px = ReadWithPxlib(FamilyMemberPath(data, ".PX"));
    ASSERT_TRUE(px.has_value()) << "pxlib is not installed";
    auto t = ParadoxTable::Open(data, OpenMode::kShared);
    // pxlib reads the .PX as a table along its one chain of blocks: every entry of every
    // level, the root first and the lowest level last, where it must find every data block.
    const auto leaves = t->PrimaryIndexEntries();
    const std::string pxBytes = testing_support::ReadFileBytes(FamilyMemberPath(data, ".PX"));
    ASSERT_EQ(px->rows.size(), GetU32(pxBytes, format::kHeaderRecordCount));
    ASSERT_GE(px->rows.size(), leaves.size());
    const std::size_t lowestFrom = px->rows.size() - leaves.size();
    for (std::size_t b = 0; b < leaves.size(); ++b) {
      ASSERT_FALSE(px->rows[lowestFrom + b].empty()) << "entry " << b;
      const std::string first = px->rows[lowestFrom + b][0] == "<null>" ? "" : px->rows[lowestFrom + b][0];
      EXPECT_EQ(first, t->Schema().Field(0).type == FieldType::kAlpha ? std::string(leaves[b].key.c_str())
                                                                     : std::to_string(*DecodeLong(leaves[b].key.substr(0, 4))));
    }
    for (std::size_t i = 0; i < layout.indexes.size(); ++i) {
      auto x = ReadWithPxlib(FamilyMemberPath(data, ".XG" + std::to_string(i)));
      ASSERT_TRUE(x.has_value());
      ASSERT_EQ(x->records, static_cast<int>(t->RecordCount()));
      const std::size_t field = *t->Schema().FindField(layout.indexes[i].fields);
      ASSERT_EQ(x->fieldNames.front(), layout.indexes[i].fields);
      EXPECT_EQ(x->fieldNames.back(), "Blk Num");
      EXPECT_EQ(x->fieldNames.size(), 2 + layout.keyFields);
      if (t->Schema().Field(field).type != FieldType::kAlpha) continue;
      // Alpha keys are upper-cased outside double-byte characters and come in byte order,
      // blanks first.
      std::multiset<std::string> want;
      t->ForEachRecord([&](const Record& r) {
        std::string v = r.GetAlpha(field);
        for (std::size_t k = 0; k < v.size(); ++k) {
          auto c = static_cast<unsigned char>(v[k]);
          if ((c >= 0x81 && c <= 0x9F) || c >= 0xE0) ++k;
          else if (c >= 'a' && c <= 'z') v[k] = static_cast<char>(c - 32);
        }
        want.insert(v);
        return true;
      });
      std::vector<std::string> got;
      for (const auto& row : x->rows) got.push_back(row[0] == "<null>" ? "" : row[0]);
      EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
      EXPECT_EQ(std::multiset<std::string>(got.begin(), got.end()), want);
    }
#endif
  }
}

// Several indexes gathered in one pass over the table hold what each gathered alone holds.
TEST(SecondaryIndex, EntriesGatheredTogetherAreThoseGatheredOneByOne) {
  std::mt19937 rng(3301);
  for (const auto& layout : MigrationTables()) {
    SCOPED_TRACE(layout.name);
    fs::path dir = testing_support::FreshTempDir("secidx_together_" + TableBaseName(layout.name));
    fs::path data = CreateTable(dir, layout);
    std::set<std::string> keys;
    {
      auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
      auto indexes = SecondaryIndexSet::Attach(*t);
      Fill(*t, rng, 700, keys);
      t->Close();
    }
    auto t = ParadoxTable::Open(data, OpenMode::kShared);
    std::vector<SecondaryIndexDef> defs;
    for (const auto& file : ReadSecondaryIndexes(*t)) defs.push_back(file.def);
    ASSERT_GE(defs.size(), 1u);
    const std::vector<IndexEntries> together = CollectEntries(*t, defs);
    ASSERT_EQ(together.size(), defs.size());
    for (std::size_t i = 0; i < defs.size(); ++i) {
      EXPECT_EQ(together[i].Count(), t->RecordCount());
      EXPECT_EQ(together[i].Bytes(), CollectEntries(*t, defs[i]).Bytes()) << "index " << i;
      // Sorted in place: strictly rising keys, and every record's entry there exactly once.
      const IndexEntries& e = together[i];
      const std::size_t ks = e.SortKeySize();
      std::multiset<std::string> fromRecords, sorted;
      t->ForEachRecord([&](const Record& r) {
        fromRecords.insert(e.EntryFor(r, 0).substr(0, ks));
        return true;
      });
      for (std::size_t n = 0; n < e.Count(); ++n) {
        sorted.insert(std::string(e.Entry(n).substr(0, ks)));
        if (n > 0) EXPECT_LT(e.Entry(n - 1).substr(0, ks), e.Entry(n).substr(0, ks)) << "index " << i << " entry " << n;
      }
      EXPECT_EQ(sorted, fromRecords) << "index " << i;
    }
  }
}

TEST(SecondaryIndex, AStaleIndexIsRepairedAtTheFirstWrite) {
  const TableSpec layout = MigrationTables()[3];
  fs::path dir = testing_support::FreshTempDir("secidx_stale");
  fs::path data = CreateTable(dir, layout);
  std::mt19937 rng(7);
  std::set<std::string> keys;
  {
    auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
    auto indexes = SecondaryIndexSet::Attach(*t);
    Fill(*t, rng, 400, keys);
    t->Close();
  }
  ASSERT_EQ(CheckSecondaryIndexes(data), std::nullopt);
  // Put back the empty index, as if the program had stopped before writing it.
  const fs::path x = FamilyMemberPath(data, ".XG1");
  std::string full = testing_support::ReadFileBytes(x);
  fs::path emptyDir = testing_support::FreshTempDir("secidx_stale_empty");
  fs::path emptyData = CreateTable(emptyDir, layout);
  testing_support::WriteFileBytes(x, testing_support::ReadFileBytes(FamilyMemberPath(emptyData, ".XG1")));
  auto fault = CheckSecondaryIndexes(data);
  ASSERT_TRUE(fault.has_value());
  EXPECT_NE(fault->find("XG1"), std::string::npos);
  {
    // Opening for writing writes nothing; the first change writes every index again.
    auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
    auto indexes = SecondaryIndexSet::Attach(*t);
    t->Close();
  }
  EXPECT_TRUE(CheckSecondaryIndexes(data).has_value());
  {
    auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
    auto indexes = SecondaryIndexSet::Attach(*t);
    t->Update(0, t->ReadRecord(0));
    t->Close();
  }
  EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
  EXPECT_EQ(testing_support::ReadFileBytes(x).substr(0x800), full.substr(0x800));
}

TEST(SecondaryIndex, ATableWithIndexesIsNotWrittenWithoutThem) {
  const TableSpec layout = MigrationTables()[3];
  fs::path dir = testing_support::FreshTempDir("secidx_unmaintained");
  fs::path data = CreateTable(dir, layout);
  auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
  Record r = t->NewRecord();
  r.SetAlpha(0, "1");
  EXPECT_THROW(t->Insert(r), EDBEngineError);
}
