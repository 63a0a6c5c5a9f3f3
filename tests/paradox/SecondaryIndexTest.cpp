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

namespace {

struct IndexSpec {
  std::string name, fields;
  bool caseInsensitive;
};

struct TableSpec {
  std::string name;
  std::vector<FieldDef> fields;
  unsigned keyFields;
  std::vector<IndexSpec> indexes;
};

// The tables the migration creates with secondary indexes.
std::vector<TableSpec> MigrationTables() {
  using F = FieldDef;
  return {
      {"NewTovo",
       {F::Alpha("SYARYOU_NO", 20), F::Alpha("SYATAI_NO", 20), F::Alpha("SYASEKI_NO", 20), F::Long("ID"),
        F::Date("TOUROKU_DATE"), F::Alpha("MAKER", 20), F::Alpha("SHAMEI", 20), F::Alpha("COLOR", 10),
        F::Alpha("SINKOSYA", 4), F::Date("HAISYA_DATE"), F::Alpha("SYASYUBETU", 8)},
       3,
       {{"IX_SYARYOU", "SYARYOU_NO", true}, {"IX_SYATAI", "SYATAI_NO", true}, {"Kokyaku_ID", "ID", true}}},
      {"NewKokyaku",
       {F::Long("ID"), F::Alpha("NAME", 32), F::Alpha("KANA", 32), F::Date("BIRTHDAY"), F::Alpha("POST_CODE", 8),
        F::Alpha("ADDRESS1", 60), F::Alpha("ADDRESS2", 40), F::Alpha("TEL", 12), F::Alpha("FAX", 12),
        F::Alpha("CARRY_TEL", 14), F::Alpha("MAIL_ADDRESS", 50), F::Alpha("COMPANY", 30),
        F::Alpha("COMP_POST_CODE", 8), F::Alpha("COMPANY_ADDRESS", 50), F::Alpha("COMPANY_TEL", 12),
        F::Date("RGIST_DATE"), F::Memo("MEMO", 60), F::Alpha("SYOKUGYOU", 12)},
       1,
       {{"IX_Address2", "ADDRESS2", true}, {"IX_Barthday", "BIRTHDAY", true}, {"IXKana", "KANA", true},
        {"IXName", "NAME", true}, {"IXTel", "TEL", true}}},
      {"NewBigTovo",
       {F::Alpha("SYATAI_NO", 20), F::Alpha("SYARYOU_NO", 20), F::Long("ID"), F::Date("TOUROKU_DATE"),
        F::Alpha("START_YEAR_MON", 9), F::Alpha("MAKER", 20), F::Alpha("SHAMEI", 20), F::Date("SYAKEN_DATE"),
        F::Date("HAISYA_DATE"), F::Alpha("E_KEISIKI", 20), F::Alpha("SINKOSYA", 4)},
       1,
       {{"IX_SYARYOU", "SYARYOU_NO", true}, {"IX_MAKER", "MAKER", true}, {"IX_SYAKEN_DATE", "SYAKEN_DATE", true},
        {"IX_TOUROKU_DATE", "TOUROKU_DATE", true}, {"Kokyaku_ID", "ID", true}}},
      {"G_RIDER.DB",
       {F::Alpha("G_NO", 10), F::Alpha("SYARYOU_NO", 20), F::Alpha("SYATAI_NO", 20), F::Short("HAIKIRYO"),
        F::Alpha("COLOR", 10), F::Alpha("NINTEI_NO", 16), F::Long("SIYOU_ID"), F::Long("SYOYU_ID"),
        F::Short("TANTOU_ID"), F::Date("KANYU_DATE"), F::Alpha("SINKOSYA", 4), F::Alpha("SHAMEI", 20),
        F::Alpha("KEISIKI", 20), F::Alpha("E_KEISIKI", 20)},
       1,
       {{"IX_SYARYOU_NO", "SYARYOU_NO", true}, {"IX_SYATAI_NO", "SYATAI_NO", true}}},
  };
}

fs::path CreateTable(const fs::path& dir, const TableSpec& spec) {
  TableDefinition def;
  def.fields = spec.fields;
  def.keyFieldCount = spec.keyFields;
  fs::path data = DataFilePath(dir, spec.name);
  ParadoxTable::Create(data, def);
  auto t = ParadoxTable::Open(data, OpenMode::kShared);
  std::vector<SecondaryIndexDef> defs;
  for (const auto& i : spec.indexes) {
    SecondaryIndexDef d;
    d.name = i.name;
    d.fields = ResolveIndexFields(t->Schema(), i.fields);
    d.caseInsensitive = i.caseInsensitive;
    defs.push_back(d);
  }
  t.reset();
  CreateSecondaryIndexes(data, defs);
  return data;
}

// Text with lower-case letters, Shift-JIS characters whose trail byte is an ASCII letter
// (0x83 0x61 "ア"-row, 0x82 0x60 "Ａ"), and blanks now and then.
std::string Text(std::mt19937& rng, std::size_t max) {
  static const char* const pieces[] = {"abc", "ABC", "xyz", "\x83\x61", "\x82\x60", "\x8C\x6A", "Honda", "yamaha", "-", "1"};
  std::string s;
  std::size_t n = rng() % 4;
  for (std::size_t i = 0; i < n; ++i) {
    std::string p = pieces[rng() % 10];
    if (s.size() + p.size() > max) break;
    s += p;
  }
  return s;
}

void Fill(ParadoxTable& t, std::mt19937& rng, int count, std::set<std::string>& keys) {
  const TableSchema& s = t.Schema();
  int stored = 0;
  while (stored < count) {
    Record r = t.NewRecord();
    for (std::size_t f = 0; f < s.FieldCount(); ++f) {
      const FieldDef& d = s.Field(f);
      if (f >= s.KeyFieldCount() && rng() % 5 == 0) continue;  // blank
      switch (d.type) {
        case FieldType::kAlpha: r.SetAlpha(f, f < s.KeyFieldCount() ? std::to_string(rng() % 100000) + Text(rng, 4) : Text(rng, d.size)); break;
        case FieldType::kLong: r.SetInteger(f, static_cast<int>(rng() % 200000) - 1000); break;
        case FieldType::kShort: r.SetInteger(f, static_cast<int>(rng() % 2000) - 100); break;
        case FieldType::kDate: r.SetDate(f, 700000 + static_cast<int>(rng() % 40000)); break;
        case FieldType::kMemo: r.SetBlob(f, std::string(rng() % 200, 'm')); break;
        default: break;
      }
    }
    if (!keys.insert(std::string(r.Key())).second) continue;
    t.Insert(r);
    ++stored;
  }
}

}  // namespace

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
  for (const auto& spec : MigrationTables()) {
    SCOPED_TRACE(spec.name);
    fs::path dir = testing_support::FreshTempDir("secidx_" + TableBaseName(spec.name));
    fs::path data = CreateTable(dir, spec);
    // Each named index in its own .XGn/.YGn pair, numbered in order of definition.
    for (std::size_t i = 0; i < spec.indexes.size(); ++i) {
      EXPECT_TRUE(fs::exists(FamilyMemberPath(data, ".XG" + std::to_string(i))));
      EXPECT_TRUE(fs::exists(FamilyMemberPath(data, ".YG" + std::to_string(i))));
    }
    std::set<std::string> keys;
    {
      auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
      auto indexes = SecondaryIndexSet::Attach(*t);
      ASSERT_EQ(indexes->IndexCount(), spec.indexes.size());
      for (std::size_t i = 0; i < spec.indexes.size(); ++i) EXPECT_EQ(indexes->Index(i).def.name, spec.indexes[i].name);
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
    // pxlib follows the lowest level's chain only; it must find every data block there.
    const auto leaves = t->PrimaryIndexEntries();
    ASSERT_GE(px->rows.size(), leaves.size());
    for (std::size_t b = 0; b < leaves.size(); ++b) {
      ASSERT_FALSE(px->rows[b].empty()) << "entry " << b;
      const std::string first = px->rows[b][0] == "<null>" ? "" : px->rows[b][0];
      EXPECT_EQ(first, t->Schema().Field(0).type == FieldType::kAlpha ? std::string(leaves[b].key.c_str())
                                                                     : std::to_string(*DecodeLong(leaves[b].key.substr(0, 4))));
    }
    for (std::size_t i = 0; i < spec.indexes.size(); ++i) {
      auto x = ReadWithPxlib(FamilyMemberPath(data, ".XG" + std::to_string(i)));
      ASSERT_TRUE(x.has_value());
      ASSERT_EQ(x->records, static_cast<int>(t->RecordCount()));
      const std::size_t field = *t->Schema().FindField(spec.indexes[i].fields);
      ASSERT_EQ(x->fieldNames.front(), spec.indexes[i].fields);
      EXPECT_EQ(x->fieldNames.back(), "Blk Num");
      EXPECT_EQ(x->fieldNames.size(), 2 + spec.keyFields);
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

TEST(SecondaryIndex, AStaleIndexIsRepairedWhenTheTableIsOpenedForWriting) {
  const TableSpec spec = MigrationTables()[3];
  fs::path dir = testing_support::FreshTempDir("secidx_stale");
  fs::path data = CreateTable(dir, spec);
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
  fs::path emptyData = CreateTable(emptyDir, spec);
  testing_support::WriteFileBytes(x, testing_support::ReadFileBytes(FamilyMemberPath(emptyData, ".XG1")));
  auto fault = CheckSecondaryIndexes(data);
  ASSERT_TRUE(fault.has_value());
  EXPECT_NE(fault->find("XG1"), std::string::npos);
  {
    auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
    auto indexes = SecondaryIndexSet::Attach(*t);
    t->Close();
  }
  EXPECT_EQ(CheckSecondaryIndexes(data), std::nullopt);
  EXPECT_EQ(testing_support::ReadFileBytes(x).substr(0x800), full.substr(0x800));
}

TEST(SecondaryIndex, ATableWithIndexesIsNotWrittenWithoutThem) {
  const TableSpec spec = MigrationTables()[3];
  fs::path dir = testing_support::FreshTempDir("secidx_unmaintained");
  fs::path data = CreateTable(dir, spec);
  auto t = ParadoxTable::Open(data, OpenMode::kExclusive);
  Record r = t->NewRecord();
  r.SetAlpha(0, "1");
  EXPECT_THROW(t->Insert(r), EDBEngineError);
}
