#pragma once
// The structure of a table: its fields in table order, the primary key (the leading
// `keyFieldCount` fields) and where each field lies in a record.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "paradox/LanguageDriver.h"
#include "paradox/ParadoxFormat.h"

namespace paradox {

struct FieldDef {
  std::string name;  // bytes in the table's code page, at most 25 characters
  FieldType type = FieldType::kAlpha;
  // The descriptor's size byte: bytes in the record for most types; for blobs the leader
  // plus the 10-byte tail; for BCD the number of decimals (the field takes 17 bytes).
  std::uint8_t size = 0;

  static FieldDef Alpha(std::string name, unsigned bytes);         // 1..255
  static FieldDef Short(std::string name);
  static FieldDef Long(std::string name);
  static FieldDef Date(std::string name);
  static FieldDef Memo(std::string name, unsigned leaderBytes);    // 1..240; size = leader + 10
  static FieldDef Of(std::string name, FieldType type, std::uint8_t sizeByte);
};

struct TableDefinition {
  std::vector<FieldDef> fields;
  unsigned keyFieldCount = 0;     // leading fields forming the primary key; 0 = unkeyed
  LanguageDriver driver = JapaneseDriver();
  // File level (0x0C = 7). A lower level is raised to what the field types need.
  std::uint8_t level = format::kLevel7;
  unsigned blockSizeKiB = 2;      // 1, 2, 4, 8, 16 or 32
  // Records the new table must hold. When 65,535 blocks of blockSizeKiB cannot hold them,
  // ParadoxTable::Create takes the next size up that can (4, 8, 16 or 32 KiB).
  std::uint32_t expectedRecords = 0;
};

class TableSchema {
 public:
  // Checks the definition (names unique and non-empty, sizes in range, key fields not blobs,
  // at most 255 fields, record fits a block); EDBEngineError kInvalidParameter otherwise.
  explicit TableSchema(TableDefinition def);

  const TableDefinition& Definition() const { return def_; }
  const std::vector<FieldDef>& Fields() const { return def_.fields; }
  std::size_t FieldCount() const { return def_.fields.size(); }
  const FieldDef& Field(std::size_t i) const { return def_.fields.at(i); }
  std::size_t FieldOffset(std::size_t i) const { return offsets_.at(i); }
  std::size_t FieldSize(std::size_t i) const { return sizes_.at(i); }
  std::size_t RecordSize() const { return recordSize_; }
  unsigned KeyFieldCount() const { return def_.keyFieldCount; }
  // Bytes of the leading key fields (they lie at the start of every record).
  std::size_t KeySize() const { return keySize_; }
  bool HasBlobs() const;
  // Field position by name, matched without regard to ASCII case; std::nullopt when absent.
  std::optional<std::size_t> FindField(std::string_view name) const;

 private:
  TableDefinition def_;
  std::vector<std::size_t> offsets_, sizes_;
  std::size_t recordSize_ = 0, keySize_ = 0;
};

}  // namespace paradox
