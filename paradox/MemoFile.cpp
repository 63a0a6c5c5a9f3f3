#include "paradox/MemoFile.h"

#include <algorithm>

#include "os/LittleEndian.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxFormat.h"

namespace paradox {

namespace {

using namespace memo_format;

// Appended blocks go to the disk in runs of this size, not one block at a time.
constexpr std::size_t kWriteRunBytes = 1u << 20;
constexpr std::size_t kSmallLimit = 2048;     // larger blobs get a block of their own
constexpr std::uint32_t kBigSlot = 0xFF;      // the low byte of a pointer to a type 2 block
constexpr std::size_t kSlotAt(unsigned slot) { return kSlotTable + kSlotSize * slot; }

std::string Hex(std::uint64_t v) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), d[v & 15]);
    v >>= 4;
  } while (v);
  return "0x" + s;
}

struct SmallBlockState {
  int freeSlot = -1;        // highest unused slot index, -1 when full
  std::size_t dataEnd = 0;  // first byte after the used data
};

SmallBlockState Inspect(const std::string& block) {
  SmallBlockState st;
  st.dataEnd = kSmallDataStart;
  for (int i = kSlots - 1; i >= 0; --i) {
    const MemoSlot slot = MemoSlot::Decode(block.data() + kSlotAt(static_cast<unsigned>(i)));
    if (!slot.Used()) {
      if (st.freeSlot < 0) st.freeSlot = i;
      continue;
    }
    st.dataEnd = std::max<std::size_t>(st.dataEnd, slot.DataEnd());
  }
  return st;
}

}  // namespace

MemoSlot MemoSlot::Decode(const char* slot) {
  MemoSlot s;
  s.offset16 = static_cast<std::uint8_t>(slot[kSlotOffset]);
  s.units = static_cast<std::uint8_t>(slot[kSlotUnits]);
  s.modification = le::Get16(slot + kSlotModification);
  s.lengthMod = static_cast<std::uint8_t>(slot[kSlotLengthMod]);
  return s;
}

void MemoSlot::Encode(char* slot) const {
  slot[kSlotOffset] = static_cast<char>(offset16);
  slot[kSlotUnits] = static_cast<char>(units);
  le::Put16(slot + kSlotModification, modification);
  slot[kSlotLengthMod] = static_cast<char>(lengthMod);
}

MemoSlot MemoSlot::For(std::size_t dataAt, std::size_t length, std::uint16_t modification) {
  const std::size_t rem = length % kSmallUnit;
  return {static_cast<std::uint8_t>(dataAt / kSmallUnit), static_cast<std::uint8_t>((length + kSmallUnit - 1) / kSmallUnit),
          modification, static_cast<std::uint8_t>(rem == 0 ? kSmallUnit : rem)};
}

MemoFile::MemoFile(std::unique_ptr<BinaryFile> file) : file_(std::move(file)) {
  // Blobs go to the end of the file one block after another: a megabyte of them is one write.
  file_->GatherWrites(kWriteRunBytes);
  std::uint64_t size = file_->Size();
  if (size < kChunk)
    RaiseEngineError(EngineMessage::kCorruptMemo, "the header block is incomplete", PathText(file_->Path()), 0);
  std::string h = file_->Read(0, kHeaderFields);
  if (static_cast<unsigned char>(h[kBlockType]) != kTypeHeader || GetU16(h, kBlockChunks) != 1)
    RaiseEngineError(EngineMessage::kCorruptMemo, "not a memo file header", PathText(file_->Path()), 0);
  modCount_ = GetU16(h, kHeaderModCount);
  std::uint32_t small = GetU32(h, kHeaderSmallBlock);
  if ((small & kBigSlot) == kTypeSmall - 1 && (small & ~kBigSlot) % kChunk == 0 && (small & ~kBigSlot) + kChunk <= size)
    openSmallBlock_ = small & ~kBigSlot;
}

void MemoFile::InitializeEmpty(BinaryFile& file) {
  std::string h(kChunk, '\0');
  h[kBlockType] = static_cast<char>(kTypeHeader);
  PutU16(h, kBlockChunks, 1);
  PutU16(h, kHeaderModCount, 1);
  const unsigned char magic[kHeaderMagicSize] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00};
  for (std::size_t i = 0; i < kHeaderMagicSize; ++i) h[kHeaderMagic + i] = static_cast<char>(magic[i]);
  PutU16(h, kHeaderWord0B, 0x1000);
  PutU16(h, kHeaderWord0D, 0x1000);
  h[kHeaderByte10] = 0x10;
  PutU16(h, kHeaderWord11, 0x0040);
  PutU16(h, kHeaderWord13, 0x0800);
  PutU16(h, kHeaderWord29, 0x02A1);
  file.Write(0, h);
}

std::string MemoFile::ReadBlob(std::uint32_t pointer, std::uint32_t length) const {
  const std::string where = PathText(file_->Path());
  auto bad = [&](const std::string& what) {
    RaiseEngineError(EngineMessage::kCorruptMemo, "blob pointer " + Hex(pointer) + ": " + what, where, pointer & ~kBigSlot);
  };
  const std::uint64_t size = Size();
  std::uint64_t blockOff = pointer & ~kBigSlot;
  unsigned slot = pointer & kBigSlot;
  if (blockOff < kChunk || blockOff % kChunk != 0 || blockOff + kChunk > size) bad("points outside the file");
  std::string head = ReadBytes(blockOff, kBigData);
  auto type = static_cast<unsigned char>(head[kBlockType]);
  std::uint64_t chunks = GetU16(head, kBlockChunks);
  if (slot == kBigSlot) {
    if (type != kTypeBig) bad("block is not a single-blob block");
    if (chunks == 0 || blockOff + chunks * kChunk > size) bad("block runs past the end of the file");
    std::uint32_t stored = GetU32(head, kBigLength);
    if (stored != length) bad("length " + std::to_string(stored) + " in the memo file, " + std::to_string(length) + " in the record");
    if (kBigData + static_cast<std::uint64_t>(length) > chunks * kChunk) bad("blob longer than its block");
    return ReadBytes(blockOff + kBigData, length);
  }
  if (type != kTypeSmall) bad("block is not a small-blob block");
  if (slot >= kSlots) bad("slot out of range");
  const MemoSlot entry = MemoSlot::Decode(ReadBytes(blockOff + kSlotAt(slot), kSlotSize).data());
  if (!entry.Used() || entry.units == 0) bad("slot is unused");
  if (entry.lengthMod == 0 || entry.lengthMod > kSmallUnit) bad("slot length is invalid");
  const std::uint32_t stored = entry.Length();
  if (stored != length) bad("length " + std::to_string(stored) + " in the memo file, " + std::to_string(length) + " in the record");
  if (entry.DataAt() < kSmallDataStart || static_cast<std::uint64_t>(entry.DataAt()) + length > kChunk)
    bad("slot data lies outside its block");
  return ReadBytes(blockOff + entry.DataAt(), length);
}

std::uint64_t MemoFile::Size() const {
  const std::uint64_t written = file_->Size();
  if (openBlock_.empty()) return written;
  return std::max(written, openSmallBlock_ + kChunk);
}

std::string MemoFile::ReadBytes(std::uint64_t offset, std::size_t size) const {
  if (!openBlock_.empty() && offset >= openSmallBlock_ && offset + size <= openSmallBlock_ + kChunk)
    return openBlock_.substr(static_cast<std::size_t>(offset - openSmallBlock_), size);
  return file_->Read(offset, size);
}

bool MemoFile::LoadOpenBlock() {
  if (openSmallBlock_ == 0) return false;
  if (!openBlock_.empty()) return true;
  std::string block = file_->Read(openSmallBlock_, kChunk);
  if (static_cast<unsigned char>(block[kBlockType]) != kTypeSmall) {
    openSmallBlock_ = 0;
    return false;
  }
  openBlock_ = std::move(block);
  return true;
}

void MemoFile::WriteOpenBlock() {
  if (!openBlockChanged_) return;
  file_->Write(openSmallBlock_, openBlock_);
  openBlockChanged_ = false;
}

std::uint16_t MemoFile::NextModification() { return ++modCount_ == 0 ? ++modCount_ : modCount_; }

std::uint32_t MemoFile::WriteBlob(const std::string& bytes, std::uint16_t modification) {
  std::uint64_t end = Size();
  end = (end + kChunk - 1) / kChunk * kChunk;
  if (end > 0xFFFFF000ull)
    RaiseEngineError(EngineMessage::kMemoFull, {}, PathText(file_->Path()));
  if (bytes.size() > kSmallLimit) {
    std::uint64_t chunks = (kBigData + bytes.size() + kChunk - 1) / kChunk;
    if (chunks > 0xFFFF || end + chunks * kChunk > 0xFFFFF000ull)
      RaiseEngineError(EngineMessage::kMemoFull, {}, PathText(file_->Path()));
    std::string block(chunks * kChunk, '\0');
    block[kBlockType] = static_cast<char>(kTypeBig);
    PutU16(block, kBlockChunks, static_cast<std::uint16_t>(chunks));
    PutU32(block, kBigLength, static_cast<std::uint32_t>(bytes.size()));
    PutU16(block, kBigModification, modification);
    block.replace(kBigData, bytes.size(), bytes);
    file_->Write(end, block);
    return static_cast<std::uint32_t>(end) | kBigSlot;
  }
  std::size_t units = (bytes.size() + kSmallUnit - 1) / kSmallUnit;
  SmallBlockState st;
  bool fits = false;
  if (LoadOpenBlock()) {
    st = Inspect(openBlock_);
    fits = st.freeSlot >= 0 && st.dataEnd + units * kSmallUnit <= kChunk;
  }
  if (!fits) {
    // The full block is done with; a new one starts at the end of the file.
    WriteOpenBlock();
    std::string block(kChunk, '\0');
    block[kBlockType] = static_cast<char>(kTypeSmall);
    PutU16(block, kBlockChunks, 1);
    st = Inspect(block);
    openBlock_ = std::move(block);
    openSmallBlock_ = end;
  }
  std::string& block = openBlock_;
  MemoSlot::For(st.dataEnd, bytes.size(), modification).Encode(block.data() + kSlotAt(static_cast<unsigned>(st.freeSlot)));
  block.replace(st.dataEnd, bytes.size(), bytes);
  openBlockChanged_ = true;
  return static_cast<std::uint32_t>(openSmallBlock_) | static_cast<std::uint32_t>(st.freeSlot);
}

void MemoFile::FreeBlob(std::uint32_t pointer) {
  std::uint64_t blockOff = pointer & ~kBigSlot;
  unsigned slot = pointer & kBigSlot;
  if (blockOff < kChunk || blockOff + kChunk > Size()) return;
  if (slot == kBigSlot) {
    std::string t = ReadBytes(blockOff, 1);
    if (static_cast<unsigned char>(t[kBlockType]) == kTypeBig) file_->Write(blockOff, std::string(1, static_cast<char>(kTypeFree)));
  } else if (slot < kSlots) {
    const std::uint64_t entry = blockOff + kSlotAt(slot);
    if (blockOff == openSmallBlock_ && LoadOpenBlock()) {
      openBlock_.replace(static_cast<std::size_t>(entry - blockOff), kSlotSize, kSlotSize, '\0');
      openBlockChanged_ = true;
      return;
    }
    std::string t = file_->Read(blockOff, 1);
    if (static_cast<unsigned char>(t[kBlockType]) == kTypeSmall) file_->Write(entry, std::string(kSlotSize, '\0'));
  }
}

void MemoFile::Flush() {
  WriteOpenBlock();
  std::string h = file_->Read(0, kHeaderFields);
  PutU16(h, kHeaderModCount, modCount_);
  std::uint32_t small = 0, freeUnits = 0;
  if (LoadOpenBlock()) {
    SmallBlockState st = Inspect(openBlock_);
    small = static_cast<std::uint32_t>(openSmallBlock_) | (kTypeSmall - 1);
    freeUnits = static_cast<std::uint32_t>((kChunk - st.dataEnd) / kSmallUnit);
  }
  PutU32(h, kHeaderSmallBlock, small);
  PutU32(h, kHeaderSmallFree, freeUnits);
  file_->Write(0, h);
  // The table's header loses its "modified" mark next: every blob must be on the disk first.
  file_->Sync();
}

}  // namespace paradox
