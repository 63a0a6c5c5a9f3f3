#pragma once
// The header shared by the files of a table's family: .DB, .PX, .Xnn/.XGn and .Ynn/.YGn. The
// offsets are the table of ParadoxFormat.h; this is the one place that reads and writes them.
//
// Decode takes the header bytes as read; Encode writes the fields back into such bytes and
// leaves every byte the struct does not model (memory addresses of the engine, reserved bytes,
// the variable part) as it was, so a header decoded and encoded unchanged is the same bytes.
//
// The part from 0x58 to 0x77 exists in level-5-and-later .DB and .X files only; in a .PX or a
// .Y, and below level 5, the variable part starts at 0x58 and those bytes are not fields.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "paradox/ParadoxFormat.h"

namespace paradox {

struct FileHeader {
  std::uint16_t recordSize = 0;         // 0x00 (.PX/.Y: entry size)
  std::uint16_t headerSize = format::kHeaderBlockSize;  // 0x02
  std::uint8_t fileType = 0;            // 0x04
  std::uint8_t blockSizeKiB = 2;        // 0x05
  std::uint32_t recordCount = 0;        // 0x06 (.PX/.Y: entries of every level)
  std::uint16_t blocksInUse = 0;        // 0x0A
  std::uint16_t fileBlocks = 0;         // 0x0C
  std::uint16_t firstBlock = 0;         // 0x0E
  std::uint16_t lastBlock = 0;          // 0x10
  std::uint16_t changeCount = 0;        // 0x12
  std::uint8_t modified = 0;            // 0x14
  std::uint8_t firstIndexField = 0;     // 0x15 (.X)
  std::uint16_t indexRoot = 0;          // 0x1E (.PX/.Y)
  std::uint8_t indexLevels = 0;         // 0x20 (.PX/.Y)
  std::uint16_t fieldCount = 0;         // 0x21
  std::uint16_t keyFieldCount = 0;      // 0x23
  std::uint32_t marker = 0;             // 0x25 (format::kLevel4Marker from level 5 on)
  std::uint8_t sortOrder = 0;           // 0x29
  std::uint8_t modified2 = 0;           // 0x2A
  std::uint8_t indexValid = 0;          // 0x2C (.PX/.Y: their stamp; .X: 0xFF)
  std::uint8_t structureChanges = 0;    // 0x2D (.X: the .Y's stamp)
  std::uint8_t indexStamp = 0;          // 0x2E (.X: the .DB's 0x2E when built)
  std::uint8_t primaryIndexStamp = 0;   // 0x2F (.X: the .PX's 0x2C when built)
  std::uint8_t level = 0;               // 0x39
  std::uint16_t fileBlocksAgain = 0;    // 0x3A
  std::uint16_t dbMarker = 0;           // 0x3E (format::kDbMarker)
  std::uint32_t autoIncrement = 0;      // 0x49 (.PX/.X/.Y: a counter)
  std::uint16_t firstFreeBlock = 0;     // 0x4D
  std::uint16_t usedSize = 0;           // 0x51
  std::uint8_t flags = 0;               // 0x55 (.DB: referential integrity; .X: index flags)
  std::uint8_t dbMarker2 = 0;           // 0x56 (format::kDbMarker2)

  // 0x58..0x77, when `longPart`.
  bool longPart = false;
  std::uint16_t levelWord1 = 0;         // 0x58
  std::uint16_t levelWord2 = 0;         // 0x5A
  std::uint32_t encryption = 0;         // 0x5C
  std::uint32_t writeTime = 0;          // 0x60 (.X)
  std::uint16_t fieldCountPlus1 = 0;    // 0x64 (.X: highest field number + 1)
  std::uint16_t fieldNumbersAt = 0;     // 0x66, counted from 0x58
  std::uint16_t indexNameAt = 0;        // 0x68 (.XGn), counted from 0x58
  std::uint16_t codePage = 0;           // 0x6A
  std::uint16_t ones = 0;               // 0x6C (format::kOnes)
  std::uint16_t sortNameAt = 0;         // 0x6E, counted from 0x58
  std::uint16_t sortNameOne = 0;        // 0x70

  // Raises the engine's corrupt-header error naming `file` for fewer than
  // format::kVariablePartShort bytes, or fields that contradict each other (header size, block
  // size, record size). The long part is decoded when the file has one and `bytes` reach it.
  static FileHeader Decode(std::string_view bytes, const std::string& file);
  // Writes every field into `bytes` (at least format::kVariablePartShort long; with `longPart`,
  // format::kVariablePartLong), nothing else.
  void Encode(std::string& bytes) const;

  // Where a field lies in the file: for messages that point at a fault. Every field has one.
  static std::size_t OffsetOf(std::uint8_t FileHeader::*field);
  static std::size_t OffsetOf(std::uint16_t FileHeader::*field);
  static std::size_t OffsetOf(std::uint32_t FileHeader::*field);

  // Whether a file of this type and level carries the part from 0x58.
  static bool HasLongPart(std::uint8_t fileType, std::uint8_t level);
  std::size_t BlockBytes() const { return static_cast<std::size_t>(blockSizeKiB) * 1024u; }
  // Where block `number` (from 1) starts in the file.
  std::uint64_t BlockOffset(std::uint16_t number) const {
    return headerSize + static_cast<std::uint64_t>(number - 1u) * BlockBytes();
  }
};

bool IsValidBlockSizeKiB(unsigned kib);

}  // namespace paradox
