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
// | 0x0E, 0x10 | 2, 2 | first and last block of the chain (0 when empty) |
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
// Index block n (from 1) starts at 0x800 + (n - 1) x block size:
// | Offset | Size | Meaning |
// |---|---|---|
// | +0 | 2 | next block of the chain (0: the last) |
// | +2 | 2 | previous block of the chain (0: the first) |
// | +4 | 2 | (entries - 1) x entry size |
// | +6 | ... | entries, packed |
// Entry:
// | +0 | key bytes | the first key under the entry |
// | +key | 2 | block below, coded like a table short: an index block, a data block at the
// |      |   | lowest level |
// | +key + 2 | 2 | records under the entry (short): of the data block, or summed over the
// |          |   | index block below |
// | +key + 4 | 2 | 0 (short) |
//
// The tree (seen on a real-engine two-level .PX, 1 -> 3 -> 2 -> 4 -> 5 with the root at 1):
// every index block, the root included, lies in ONE chain, which the header's first and last
// block fields name; a full block holds one entry fewer than fits (184 of 185). Written here:
// the root is block 1, then each level down in key order (the lowest level last), numbered and
// chained 1 -> 2 -> ... -> n in that order, so the chain starts at the root as the sample's
// does and a one-level index is the single block 1. (The sample's order is what splitting
// blocks one at a time would leave, inferred; no reader needs the chain to find keys.)
//
// Counts are 16-bit and no sample shows how more than 32,767 records below one entry are
// recorded, so none is ever written: a block that is not the root takes entries only while
// their counts sum to at most 32,767 (the root has no entry above it to overflow). When even
// that leaves the root too many entries, the blocks are made larger (4, 8, 16, 32 KiB: a .PX
// with 4 KiB blocks is seen) until the tree fits. Readers follow the tree from the root, not
// the chain, so they also read files whose levels are chained apart (the root unlinked and
// last, full blocks, 32,767 standing for a larger sum).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "paradox/ParadoxFormat.h"

namespace paradox {

struct BlockIndexEntry {
  std::string key;
  std::uint16_t block = 0;
  std::uint32_t records = 0;
};

struct BlockIndexLayout {
  std::uint8_t fileType = format::kFilePrimaryIndex;
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

namespace format {
constexpr std::size_t kEntryBlockAfterKey = 0;
constexpr std::size_t kEntryCountAfterKey = 2;
constexpr std::size_t kEntryZeroAfterKey = 4;
constexpr std::size_t kEntryTailSize = 6;
constexpr std::uint32_t kMaxEntryCount = 32767;
constexpr unsigned kMaxIndexLevels = 8;
}  // namespace format

// The index blocks of a tree, block n at blocks[n - 1], chained in that order.
struct BlockIndexTree {
  std::vector<std::string> blocks;
  std::uint16_t root = 1;
  std::uint8_t levels = 0;
  std::uint32_t entries = 0;  // of every level
};

// Lays out the tree over `leaves` (one per data block, in key order) in blocks of
// `blockBytes`, as described above; std::nullopt when no tree of such blocks keeps every count
// within 16 bits. Leaves counting more than 32,767 records are a programmer error.
std::optional<BlockIndexTree> LayOutBlockIndexTree(const std::vector<BlockIndexEntry>& leaves, std::size_t keySize,
                                                   std::size_t blockBytes);

// The whole file for `leaves` (one per data block, in chain order), in blocks of
// `layout.blockSizeKiB` or, when the tree needs them, larger ones. Fails with EDBEngineError
// kIoError ("Index is full.") naming `where` when not even 32 KiB blocks hold it.
std::string BuildBlockIndexFile(const BlockIndexLayout& layout, const std::vector<BlockIndexEntry>& leaves,
                                const std::string& where = {});

class BinaryFile;

// What a walk over a .PX or .Y from its root finds.
struct BlockIndexContents {
  std::uint16_t entrySize = 0;
  std::uint8_t levels = 0;
  std::uint16_t changeCount = 0;
  std::vector<BlockIndexEntry> lowest;  // lowest-level entries in key order
  // Why the block chain is neither one chain over every tree block nor the lowest level alone
  // in key order (levels chained apart); std::nullopt when it is one of them.
  std::optional<std::string> chainFault;
};

// Reads the tree of an index file whose entries hold `keySize` key bytes, from the root down,
// left to right. A block out of range, reached twice, at two depths, with a bad entry count
// or whose counts do not sum to its parent's gives EDBEngineError kCorruptFile ("Corrupt
// index.") naming the file. A parent count of 32,767 over a larger sum is read as saturated
// (files whose levels are chained apart hold such counts).
BlockIndexContents ReadBlockIndexFile(const BinaryFile& file, std::size_t keySize);

// Appends to `out` (a file being built) blocks of `blockBytes` filled in order with `records`,
// which lie one after the other, `recordSize` bytes each; the blocks carry their 6-byte headers
// and are chained 1 -> 2 -> ... Returns how many blocks.
std::size_t AppendDataBlocks(std::string& out, std::string_view records, std::size_t recordSize,
                             std::size_t blockBytes);

}  // namespace paradox
