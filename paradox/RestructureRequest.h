#pragma once
// The engine's restructure request: the records and the five calls through which a field of
// an open table is restructured, as the 32-bit engine interface lays them out. A cursor is
// the open table (ParadoxTable*); the database owning it is the table's folder.
//
// Field descriptor (62 bytes):
// | Offset | Size | Meaning |
// |---|---|---|
// | 0 | 2 | field number, from 1 |
// | 2 | 32 | field name, NUL-terminated |
// | 34 | 2 | engine field type (kEngineType*) |
// | 36 | 2 | engine field subtype (kEngineSubtype*) |
// | 38 | 2 | units 1: alpha/bytes size, memo leader size, BCD digits |
// | 40 | 2 | units 2: decimal places (BCD) |
// | 42 | 2 | offset of the field in the record (this engine's) |
// | 44 | 2 | bytes of the field in the record (this engine's) |
// | 46 | 16 | 0 |
//
// Cursor properties (this engine's record; callers read only the table type at 263):
// | 0 | 261 | table name as opened |
// | 261 | 2 | bytes of the name |
// | 263 | 32 | table type name: "PARADOX" |
// | 295 | 2 | field count |
// | 297 | 2 | record size |
// | 299 | 2 | primary key fields |
// | 301 | 4 | record count |
// | 305 | 2 | block size in KiB |
// | 307 | 2 | file level |
// | 309 | 2 | secondary index count |
// | 311 | 89 | 0 |
//
// Restructure descriptor (682 bytes on the 32-bit target; zero-filled by the caller):
// | 0 | 261 | table name, with or without extension |
// | 261 | 32 | table type name |
// | 293 | 329 | other requests (0: none) |
// | 622 | 2 | number of field descriptors N |
// | 624 | 4 | pointer to N 32-bit field operation codes (0 none, 3 modify) |
// | 628 | 4 | pointer to N field descriptors |
// | 632 | 50 | other requests (0: none) |
// Natively the two pointers are 8 bytes wide, so the record is 690 bytes there; the offsets up
// to 624 are the same.

#include <cstddef>
#include <cstdint>
#include <string>

#include "paradox/EngineError.h"

namespace paradox {

class ParadoxTable;

#pragma pack(push, 1)
struct FieldDescriptor {
  std::uint16_t fieldNumber;
  char name[32];
  std::uint16_t type;
  std::uint16_t subtype;
  std::int16_t units1;
  std::int16_t units2;
  std::uint16_t offset;
  std::uint16_t length;
  std::uint8_t reserved[16];
};

struct CursorProperties {
  char tableName[261];
  std::uint16_t tableNameSize;
  char tableType[32];
  std::uint16_t fieldCount;
  std::uint16_t recordSize;
  std::uint16_t keyFieldCount;
  std::uint32_t recordCount;
  std::uint16_t blockSizeKiB;
  std::uint16_t level;
  std::uint16_t indexCount;
  std::uint8_t reserved[89];
};

struct RestructureDescriptor {
  char tableName[261];
  char tableType[32];
  std::uint8_t reserved1[329];
  std::uint16_t fieldCount;
  std::uint32_t* fieldOperations;
  FieldDescriptor* fields;
  std::uint8_t reserved2[50];
};
#pragma pack(pop)

static_assert(sizeof(FieldDescriptor) == 62);
static_assert(offsetof(FieldDescriptor, name) == 2);
static_assert(offsetof(FieldDescriptor, type) == 34);
static_assert(offsetof(FieldDescriptor, subtype) == 36);
static_assert(offsetof(FieldDescriptor, units1) == 38);
static_assert(offsetof(FieldDescriptor, units2) == 40);
static_assert(offsetof(CursorProperties, tableType) == 263);
static_assert(sizeof(CursorProperties) == 400);
static_assert(offsetof(RestructureDescriptor, tableType) == 261);
static_assert(offsetof(RestructureDescriptor, fieldCount) == 622);
static_assert(offsetof(RestructureDescriptor, fieldOperations) == 624);
static_assert(offsetof(RestructureDescriptor, fields) == 624 + sizeof(void*));
#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(RestructureDescriptor, fields) == 628);
static_assert(sizeof(RestructureDescriptor) == 682);
#endif

using EngineResult = std::uint16_t;  // 0: success; else an EngineErrorCode
using CursorHandle = ParadoxTable*;
struct EngineDatabase;
using DatabaseHandle = EngineDatabase*;

constexpr std::uint32_t kPropertyTranslateMode = 0x50005;
constexpr std::uint32_t kObjectDatabase = 4;
constexpr std::uint32_t kFieldOperationNone = 0;
constexpr std::uint32_t kFieldOperationModify = 3;

// Engine field types and subtypes of the descriptors.
constexpr std::uint16_t kEngineTypeString = 1;
constexpr std::uint16_t kEngineTypeDate = 2;
constexpr std::uint16_t kEngineTypeBlob = 3;
constexpr std::uint16_t kEngineTypeBool = 4;
constexpr std::uint16_t kEngineTypeInt16 = 5;
constexpr std::uint16_t kEngineTypeInt32 = 6;
constexpr std::uint16_t kEngineTypeFloat = 7;
constexpr std::uint16_t kEngineTypeBcd = 8;
constexpr std::uint16_t kEngineTypeBytes = 9;
constexpr std::uint16_t kEngineTypeTime = 10;
constexpr std::uint16_t kEngineTypeTimestamp = 11;
constexpr std::uint16_t kEngineSubtypeMoney = 21;
constexpr std::uint16_t kEngineSubtypeMemo = 22;
constexpr std::uint16_t kEngineSubtypeBinary = 23;
constexpr std::uint16_t kEngineSubtypeFormattedMemo = 24;
constexpr std::uint16_t kEngineSubtypeOle = 25;
constexpr std::uint16_t kEngineSubtypeGraphic = 26;
constexpr std::uint16_t kEngineSubtypeAutoIncrement = 29;

// The five calls. Each returns 0 or the code of the failure, whose whole error is kept for
// RaiseEngineResult (per thread).
EngineResult EngineSetCursorProperty(CursorHandle cursor, std::uint32_t property, std::uint32_t value);
EngineResult EngineGetCursorProperties(CursorHandle cursor, CursorProperties* properties);
// Fills one descriptor per field of the table, in field order.
EngineResult EngineGetFieldDescriptors(CursorHandle cursor, FieldDescriptor* descriptors);
EngineResult EngineGetOwnerObject(CursorHandle cursor, std::uint32_t objectKind, DatabaseHandle* database);
// `count` descriptors (1); the three names must be absent and `analyzeOnly` false: the engine
// carries the request out or refuses it whole.
EngineResult EngineRestructure(DatabaseHandle database, std::uint16_t count, const RestructureDescriptor* request,
                               const char* saveAs, const char* keyViolationTable, const char* problemTable,
                               bool analyzeOnly);

// Throws the EDBEngineError of the last failed call on this thread (result != 0).
[[noreturn]] void RaiseEngineResult(EngineResult result);

}  // namespace paradox
