#pragma once
// The block directory files: the .PX of a .DB and the .Y of an .X. Both list, in chain order,
// the first key of every data block with its block number and record count.
//
// Header (seen on CUSTOMER.PX/.Y06, AREACODES.PX/.YG0, ORDERS.PX, SERVER.PX, C.PX/.Y02/.Y03,
// fk1.px/.y02, fk4.px/.YG0):
// | Offset | Size | Meaning |
// |---|---|---|
// | 0x00 | 2 | entry size: key bytes + 6 |
// | 0x02 | 2 | 0x0800 |
// | 0x04 | 1 | 1 (.PX), 4 (.Ynn), 7 (.YGn) |
// | 0x05 | 1 | block size in KiB: 2 whatever the data file uses, except that a .PX made at
// |      |   | another size keeps it (4 KiB beside 2 KiB data blocks in six level-5 samples) |
// | 0x06 | 4 | entries of every level |
// | 0x0A, 0x0C | 2, 2 | blocks in use, blocks in the file (0 when empty) |
// | 0x0E, 0x10 | 2, 2 | first and last leaf block (1, 1; 0 when empty) |
// | 0x12 | 2 | change counter (counter) |
// | 0x1E | 2 | root block (1, also when empty) |
// | 0x20 | 1 | levels (0 when empty) |
// | 0x21 | 2 | key fields (.PX: the primary key; .Y: the .X's key fields) |
// | 0x29 | 1 | sort-order byte of the data file |
// | 0x2C | 1 | stamp, non-zero (.PX: the .DB's byte 0x2D when built, fk1 and fk4) |
// | 0x30 | 8 | two memory addresses of the engine (written 0) |
// | 0x39 | 1 | file level of the data file |
// | 0x3A | 2 | blocks in the file (again) |
// | 0x49 | 4 | counter |
// | 0x51 | 2 | header bytes used: 0x58 + 2 × fields + 4 + table-name size |
// | 0x58 | ... | fields × (type, size); a 4-byte address (0); the stored name padded to 261
// |      |     | bytes (level 7) or 79 ("resttemp.PX") |
// Every other header byte is 0.
//
// Entry: the key, then three shorts coded like table shorts: block number, records (of the
// block, or summed over the index block for an upper level), 0. Leaf blocks are filled
// completely (1, 2, ...), the upper level follows them; the root is the last block written.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace paradox {

struct BlockIndexEntry {
  std::string key;
  std::uint16_t block = 0;
  std::uint32_t records = 0;
};

struct BlockIndexLayout {
  std::uint8_t fileType = 1;
  std::uint8_t blockSizeKiB = 2;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> keyFields;  // (type, size byte)
  std::size_t keySize = 0;
  std::uint8_t sortOrder = 0;
  std::uint8_t level = 0x0C;
  std::string storedName;  // "resttemp.PX"
  std::uint8_t stamp = 1;
  std::uint16_t changeCount = 1;
  std::uint32_t counter = 1;
};

// The whole file for `leaves` (one per data block, in chain order).
std::string BuildBlockIndexFile(const BlockIndexLayout& layout, const std::vector<BlockIndexEntry>& leaves);

// Fills blocks of `blockBytes` with `records` of `recordSize` in order; returns the blocks'
// bytes (with their 6-byte headers, blocks chained 1 -> 2 -> ...).
std::vector<std::string> PackDataBlocks(const std::vector<std::string>& records, std::size_t recordSize,
                                        std::size_t blockBytes);
// The same blocks appended to `out` (a file being built); returns how many.
std::size_t AppendDataBlocks(std::string& out, const std::vector<std::string>& records, std::size_t recordSize,
                             std::size_t blockBytes);

}  // namespace paradox
