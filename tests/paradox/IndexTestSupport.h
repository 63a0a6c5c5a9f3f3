#pragma once
// Shared by the index and restructure tests: pxlib as an independent reader (loaded at run
// time, native build only), the header bytes that are counters, stamps, time stamps or memory
// addresses of the real engine, and the tables of the migration.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "paradox/ParadoxFormat.h"
#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableFamily.h"
#include "paradox/TableSchema.h"

#ifndef _WIN32
#include <dlfcn.h>

#include <cstdlib>
#include <paradox.h>
#endif

namespace index_test {

// One record as pxlib reads it: alpha fields as text, numbers as decimal, NULL as "<null>".
using PxRows = std::vector<std::vector<std::string>>;

struct PxFile {
  int records = -1;
  std::vector<std::string> fieldNames;
  PxRows rows;
};

#ifndef _WIN32
// pxlib reads .DB, .PX and the .X of secondary indexes (they share the .DB format).
inline std::optional<PxFile> ReadWithPxlib(const std::filesystem::path& file) {
  static void* lib = dlopen("libpx.so.0", RTLD_NOW);
  if (!lib) return std::nullopt;
  auto pxNew = reinterpret_cast<pxdoc_t* (*)()>(dlsym(lib, "PX_new"));
  auto pxOpen = reinterpret_cast<int (*)(pxdoc_t*, const char*)>(dlsym(lib, "PX_open_file"));
  auto pxCount = reinterpret_cast<int (*)(pxdoc_t*)>(dlsym(lib, "PX_get_num_records"));
  auto pxNumFields = reinterpret_cast<int (*)(pxdoc_t*)>(dlsym(lib, "PX_get_num_fields"));
  auto pxFields = reinterpret_cast<pxfield_t* (*)(pxdoc_t*)>(dlsym(lib, "PX_get_fields"));
  auto pxRecord = reinterpret_cast<pxval_t** (*)(pxdoc_t*, int)>(dlsym(lib, "PX_retrieve_record"));
  auto pxClose = reinterpret_cast<void (*)(pxdoc_t*)>(dlsym(lib, "PX_close"));
  auto pxDelete = reinterpret_cast<void (*)(pxdoc_t*)>(dlsym(lib, "PX_delete"));
  if (!pxNew || !pxOpen || !pxCount || !pxFields || !pxRecord || !pxClose || !pxNumFields) return std::nullopt;
  pxdoc_t* d = pxNew();
  PxFile out;
  if (pxOpen(d, file.string().c_str()) < 0) {
    pxDelete(d);
    return out;  // records stays -1: pxlib refused the file
  }
  out.records = pxCount(d);
  const int nf = pxNumFields(d);
  pxfield_t* f = pxFields(d);
  for (int i = 0; i < nf; ++i) out.fieldNames.push_back(f[i].px_fname ? f[i].px_fname : "");
  for (int r = 0; r < out.records; ++r) {
    pxval_t** v = pxRecord(d, r);
    std::vector<std::string> row;
    for (int i = 0; i < nf && v; ++i) {
      if (v[i]->isnull) row.push_back("<null>");
      else if (f[i].px_ftype == pxfAlpha) row.push_back(std::string(v[i]->value.str.val, static_cast<std::size_t>(v[i]->value.str.len)).c_str());
      else if (f[i].px_ftype == pxfNumber || f[i].px_ftype == pxfCurrency) row.push_back(std::to_string(v[i]->value.dval));
      else row.push_back(std::to_string(v[i]->value.lval));
    }
    // pxlib's default allocator is malloc: the values are the caller's to free.
    for (int i = 0; i < nf && v; ++i) {
      if (!v[i]->isnull && f[i].px_ftype == pxfAlpha) std::free(v[i]->value.str.val);
      std::free(v[i]);
    }
    std::free(v);
    out.rows.push_back(std::move(row));
  }
  pxClose(d);
  pxDelete(d);
  return out;
}
#endif

// Byte ranges of index headers that hold the engine's counters, stamps, time stamps and memory
// addresses: the values a rebuild cannot reproduce. Each range was seen to vary between files
// written by the real engine with the same structure (see the report in SecondaryIndex.h).
struct Range {
  std::size_t from, to;  // [from, to)
  const char* what;
};

// .PX and .Y: fields (type, size) start at 0x58, then a 4-byte table-name address.
inline std::vector<Range> BlockIndexVolatile(std::size_t keyFields) {
  return {{0x12, 0x14, "change counter"},
          {0x2C, 0x2D, "stamp"},
          {0x30, 0x38, "memory addresses"},
          {0x49, 0x4D, "counter"},
          {0x58 + 2 * keyFields, 0x58 + 2 * keyFields + 4, "table-name address"}};
}

// .X: the variable part from 0x78 has the field pairs, then 4 + 4 × fields address bytes.
inline std::vector<Range> XVolatile(std::size_t fields) {
  return {{0x12, 0x14, "change counter"},
          {0x16, 0x1E, "memory addresses"},
          {0x2D, 0x30, "stamps"},
          {0x30, 0x38, "memory addresses"},
          {0x49, 0x4D, "counter"},
          {0x60, 0x64, "time of writing"},
          {0x78 + 2 * fields, 0x78 + 2 * fields + 4 + 4 * fields, "name addresses"}};
}

// The offsets at which `a` and `b` differ outside `ignore` (a size difference counts once, at
// the shorter size).
inline std::vector<std::size_t> Differences(const std::string& a, const std::string& b, const std::vector<Range>& ignore) {
  std::vector<std::size_t> out;
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    bool masked = false;
    for (const auto& r : ignore) masked = masked || (i >= r.from && i < r.to);
    if (!masked) out.push_back(i);
  }
  if (a.size() != b.size()) out.push_back(n);
  return out;
}

inline std::uint16_t U16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8);
}

// --- the migration's tables -----------------------------------------------------------------
using paradox::FieldDef;
using paradox::FieldType;
using paradox::OpenMode;
using paradox::ParadoxTable;
using paradox::Record;
using paradox::SecondaryIndexDef;
using paradox::TableDefinition;
using paradox::TableSchema;
using paradox::CreateSecondaryIndexes;
using paradox::DataFilePath;
using paradox::ResolveIndexFields;

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
inline std::vector<TableSpec> MigrationTables() {
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

inline std::filesystem::path CreateTable(const std::filesystem::path& dir, const TableSpec& layout) {
  TableDefinition def;
  def.fields = layout.fields;
  def.keyFieldCount = layout.keyFields;
  std::filesystem::path data = DataFilePath(dir, layout.name);
  ParadoxTable::Create(data, def);
  auto t = ParadoxTable::Open(data, OpenMode::kShared);
  std::vector<SecondaryIndexDef> defs;
  for (const auto& i : layout.indexes) {
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
inline std::string Text(std::mt19937& rng, std::size_t max) {
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

inline void Fill(ParadoxTable& t, std::mt19937& rng, int count, std::set<std::string>& keys) {
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

}  // namespace index_test
