#pragma once
// The .PX primary index. Its header is the first 0x58 bytes of a .DB header (file type 1,
// record size = key bytes + 6, block size 2 KiB whatever the table's), then:
// | Offset | Size | Meaning |
// |---|---|---|
// | 0x06 | 4 | index entries of every level |
// | 0x12 | 2 | the .DB's change counter + 1 |
// | 0x1E | 2 | root block |
// | 0x20 | 1 | levels (0: empty table) |
// | 0x21 | 2 | key field count |
// | 0x2C | 1 | the .DB's byte 0x2D |
// | 0x58 | 2 × keys | (type, size) of each key field |
// | +0 | 4 | table-name pointer (0) |
// | +4 | 261 / 79 | the index's file name, zero padded |
// Blocks (n from 1, at 0x800 + (n - 1) × 2048) have the data blocks' 6-byte header and hold
// entries: the key bytes, then three shorts coded like table shorts: the block below (a data
// block at the lowest level), the records under it, and 0. The lowest level has one entry per
// data block, in chain order, with that block's first key; each higher level has one entry per
// block of the level below, with its first key and summed counts; the root is one block.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "paradox/TableSchema.h"

namespace paradox {

struct IndexEntry {
  std::string key;
  std::uint16_t block = 0;
  std::uint32_t count = 0;
};

struct PrimaryIndexInfo {
  std::vector<FieldDef> keyFields;
  std::size_t keySize = 0;
  std::uint8_t level = 0x0C;
  std::uint8_t sortOrder = 0;
  std::uint16_t tableChangeCount = 0;
  std::uint8_t tableStructureChanges = 0;
  std::string tableName;  // the .DB's; the index stores it with the extension .PX
};

// Writes the whole .PX for these lowest-level entries (one per data block, in chain order).
// `sync` asks the system to put it on the disk before returning.
void WritePrimaryIndexFile(const std::filesystem::path& path, const PrimaryIndexInfo& info,
                           const std::vector<IndexEntry>& dataBlocks, bool sync = true);

struct PrimaryIndexContents {
  std::uint16_t recordSize = 0;
  std::uint8_t levels = 0;
  std::uint16_t changeCount = 0;
  std::vector<IndexEntry> lowest;  // lowest-level entries in key order
};

// Reads and checks a .PX (header, tree shape, counts summing up the levels); a fault gives
// EDBEngineError kCorruptFile naming the .PX.
PrimaryIndexContents ReadPrimaryIndexFile(const std::filesystem::path& path, std::size_t keySize);

}  // namespace paradox
