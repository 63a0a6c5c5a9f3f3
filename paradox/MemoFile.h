#pragma once
// The .MB file: blobs too long for their leader in the record.
// | Offset | Size | Meaning (header block, 4 KiB) |
// |---|---|---|
// | 0x00 | 1 | block type 0 (header) |
// | 0x01 | 2 | 4 KiB chunks in the block (1) |
// | 0x03 | 2 | modification count |
// | 0x05 | 6 | 82 73 02 00 29 00 |
// | 0x0B | 2 | 0x1000 |
// | 0x0D | 2 | 0x1000 |
// | 0x10 | 1 | 0x10 |
// | 0x11 | 2 | 0x0040 |
// | 0x13 | 2 | 0x0800 |
// | 0x29 | 2 | 0x02A1 |
// | 0x38 | 4 | the type 3 block being filled: its offset | 2, or 0 |
// | 0x3C | 4 | free 16-byte units left in that block |
// Every block is a multiple of 4 KiB and starts with a type byte and a u16 chunk count.
// Type 2, one blob over 2048 bytes: +03 u32 length, +07 u16 modification number, data from
//   +09, padded to the block's end.
// Type 3, up to 64 small blobs: 12-byte header; 64 five-byte slots at 12 + 5 i
//   (offset / 16 from the block start, length / 16 rounded up, u16 modification number,
//   length mod 16 in 1..16); slots used from index 0x3F down; data from 0x150 in 16-byte units.
// Type 4: free block (+03 chunks, +05 next free block offset / 4096).
// A blob pointer in a record is (block offset | slot index) for type 3, (offset | 0xFF) for
// type 2. Blobs are never rewritten in place: a changed blob gets new space.
//
// The type 3 block being filled stays in memory and goes to the file when it is full or at
// Flush(): one write per block rather than one per small blob. Reads see it as it stands. Until
// the flush the file may lack it, which is safe because the table carries its "modified" mark
// until then (ParadoxTable.h).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "paradox/BinaryFile.h"

namespace paradox {

namespace memo_format {
constexpr std::uint64_t kChunk = 4096;         // every block is a whole number of these
constexpr std::size_t kBlockType = 0x00;       // every block
constexpr std::size_t kBlockChunks = 0x01;     // every block
// The header block (type 0).
constexpr std::size_t kHeaderModCount = 0x03;
constexpr std::size_t kHeaderMagic = 0x05;     // 82 73 02 00 29 00
constexpr std::size_t kHeaderMagicSize = 6;
constexpr std::size_t kHeaderWord0B = 0x0B;    // 0x1000
constexpr std::size_t kHeaderWord0D = 0x0D;    // 0x1000
constexpr std::size_t kHeaderByte10 = 0x10;    // 0x10
constexpr std::size_t kHeaderWord11 = 0x11;    // 0x0040
constexpr std::size_t kHeaderWord13 = 0x13;    // 0x0800
constexpr std::size_t kHeaderWord29 = 0x29;    // 0x02A1
constexpr std::size_t kHeaderSmallBlock = 0x38;
constexpr std::size_t kHeaderSmallFree = 0x3C;
constexpr std::size_t kHeaderFields = 0x40;    // the header's fields all lie before this
// Type 2: one blob.
constexpr std::size_t kBigLength = 0x03;
constexpr std::size_t kBigModification = 0x07;
constexpr std::size_t kBigData = 0x09;
// Type 3: small blobs in slots.
constexpr std::size_t kSlotTable = 12;
constexpr std::size_t kSlotSize = 5;
constexpr unsigned kSlots = 64;
constexpr std::size_t kSmallDataStart = 0x150;
constexpr std::size_t kSmallUnit = 16;
// A slot, from its start.
constexpr std::size_t kSlotOffset = 0;         // data offset / 16; 0: the slot is unused
constexpr std::size_t kSlotUnits = 1;          // length / 16 rounded up
constexpr std::size_t kSlotModification = 2;   // u16
constexpr std::size_t kSlotLengthMod = 4;      // length mod 16 in 1..16
// Block types.
constexpr std::uint8_t kTypeHeader = 0, kTypeBig = 2, kTypeSmall = 3, kTypeFree = 4;
}  // namespace memo_format

// A slot of a type 3 block: where a small blob lies in the block and how long it is.
struct MemoSlot {
  std::uint8_t offset16 = 0;  // 0: unused
  std::uint8_t units = 0;
  std::uint16_t modification = 0;
  std::uint8_t lengthMod = 0;

  // `slot` holds memo_format::kSlotSize bytes.
  static MemoSlot Decode(const char* slot);
  void Encode(char* slot) const;
  // The slot of a blob of `length` bytes (at least 1) whose data starts `dataAt` bytes into the block.
  static MemoSlot For(std::size_t dataAt, std::size_t length, std::uint16_t modification);
  bool Used() const { return offset16 != 0; }
  std::size_t DataAt() const { return static_cast<std::size_t>(offset16) * memo_format::kSmallUnit; }
  // First byte after the slot's data units.
  std::size_t DataEnd() const { return (static_cast<std::size_t>(offset16) + units) * memo_format::kSmallUnit; }
  // The blob's length; meaningful when units and lengthMod are not 0.
  std::uint32_t Length() const { return (static_cast<std::uint32_t>(units) - 1) * memo_format::kSmallUnit + lengthMod; }
};

class MemoFile {
 public:
  // Opens an existing .MB; a damaged header gives kCorruptFile.
  MemoFile(std::unique_ptr<BinaryFile> file);
  // Writes the header block of an empty .MB into `file`.
  static void InitializeEmpty(BinaryFile& file);

  // The blob at `pointer` whose record tail says `length` and `modification`; any mismatch
  // (pointer past the end, wrong block type, slot unused, length differs) is kCorruptFile
  // naming the .MB file and the pointer.
  std::string ReadBlob(std::uint32_t pointer, std::uint32_t length) const;
  // Stores a blob in new space and returns its pointer; `modification` goes to its slot/block.
  std::uint32_t WriteBlob(const std::string& bytes, std::uint16_t modification);
  // Marks a blob's space free (the slot is cleared; a type 2 block becomes type 4).
  void FreeBlob(std::uint32_t pointer);
  std::uint16_t NextModification();
  // Writes the block being filled and the header, and flushes the file to the disk.
  void Flush();
  const BinaryFile& File() const { return *file_; }

 private:
  // The file's size, counting the block being filled where it is not yet written.
  std::uint64_t Size() const;
  std::string ReadBytes(std::uint64_t offset, std::size_t size) const;
  // The block being filled, read from the file at its first use; false when there is none.
  bool LoadOpenBlock();
  void WriteOpenBlock();

  std::unique_ptr<BinaryFile> file_;
  std::uint16_t modCount_ = 0;
  std::uint64_t openSmallBlock_ = 0;  // type 3 block with room, 0 when none
  std::string openBlock_;             // its bytes once used; empty before
  bool openBlockChanged_ = false;     // it holds what the file does not
};

}  // namespace paradox
