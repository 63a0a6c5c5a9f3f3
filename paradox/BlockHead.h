#pragma once
// The head of a data or index block: the 6-byte block header of ParadoxFormat.h, the one place
// that reads and writes its fields. Inline: every block read or written passes here.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "os/LittleEndian.h"
#include "paradox/ParadoxFormat.h"

namespace paradox {

struct BlockHead {
  // Bytes before the first record (index entry) of a block.
  static constexpr std::size_t kSize = format::kBlockHeaderSize;

  std::uint16_t next = 0;      // 0: the last block of the chain
  std::uint16_t previous = 0;  // 0: the first
  // (records - 1) × record size; -record size when the block is empty.
  std::int16_t addDataSize = 0;

  // `block` holds at least kSize bytes.
  static BlockHead Decode(const char* block) {
    BlockHead h;
    h.next = Load(block + format::kBlockNext);
    h.previous = Load(block + format::kBlockPrevious);
    h.addDataSize = static_cast<std::int16_t>(Load(block + format::kBlockAddDataSize));
    return h;
  }
  void Encode(char* block) const {
    Store(block + format::kBlockNext, next);
    Store(block + format::kBlockPrevious, previous);
    Store(block + format::kBlockAddDataSize, static_cast<std::uint16_t>(addDataSize));
  }

  // The block header of a block holding `count` records (entries) of `recordSize` bytes.
  static BlockHead For(std::uint16_t next, std::uint16_t previous, std::size_t count, std::size_t recordSize) {
    return {next, previous, AddDataSize(count, recordSize)};
  }
  static std::int16_t AddDataSize(std::size_t count, std::size_t recordSize) {
    return static_cast<std::int16_t>((static_cast<long>(count) - 1) * static_cast<long>(recordSize));
  }
  // The records the block claims, or std::nullopt when the size is no whole number of them or
  // more than `capacity`.
  std::optional<std::size_t> RecordCount(std::size_t recordSize, std::size_t capacity) const {
    const long bytes = static_cast<long>(addDataSize) + static_cast<long>(recordSize);
    if (recordSize == 0 || bytes < 0 || bytes % static_cast<long>(recordSize) != 0) return std::nullopt;
    const auto count = static_cast<std::size_t>(bytes) / recordSize;
    if (count > capacity) return std::nullopt;
    return count;
  }

  // Where a field lies in the block: for messages that point at a fault.
  static constexpr std::size_t OffsetOf(std::uint16_t BlockHead::*field) {
    return field == &BlockHead::next ? format::kBlockNext : format::kBlockPrevious;
  }
  static constexpr std::size_t OffsetOf(std::int16_t BlockHead::*) { return format::kBlockAddDataSize; }

 private:
  static std::uint16_t Load(const char* p) { return le::Get16(p); }
  static void Store(char* p, std::uint16_t v) { le::Put16(p, v); }
};

}  // namespace paradox
