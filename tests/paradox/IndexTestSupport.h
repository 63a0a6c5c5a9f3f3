#pragma once
// Shared by the index and restructure tests: pxlib as an independent reader (loaded at run
// time, native build only), the header bytes that are counters, stamps, time stamps or memory
// addresses of the real engine, and the tables of the migration.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "paradox/ParadoxFormat.h"
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

}  // namespace index_test
