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
// Blocks and the tree over them: as BlockIndex.h lays them out (one chain over every block,
// root first; one entry left free in a full block; no count above 32,767). The lowest level
// has one entry per data block, in chain order, with that block's first key.

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

// Writes the whole .PX for these lowest-level entries (one per data block, in chain order);
// none may count more than 32,767 records.
// `sync` asks the system to put it on the disk before returning.
void WritePrimaryIndexFile(const std::filesystem::path& path, const PrimaryIndexInfo& info,
                           const std::vector<IndexEntry>& dataBlocks, bool sync = true);

struct PrimaryIndexContents {
  std::uint16_t recordSize = 0;
  std::uint8_t levels = 0;
  std::uint16_t changeCount = 0;
  std::vector<IndexEntry> lowest;  // lowest-level entries in key order
  std::optional<std::string> chainFault;  // see BlockIndexContents
};

// Reads and checks a .PX (header, tree shape from the root, counts summing up the levels); a
// fault gives EDBEngineError kCorruptFile naming the .PX. The block chain is reported, not
// refused: the tree alone says where the keys are.
PrimaryIndexContents ReadPrimaryIndexFile(const std::filesystem::path& path, std::size_t keySize);

}  // namespace paradox
