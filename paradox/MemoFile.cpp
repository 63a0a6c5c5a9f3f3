#include "paradox/MemoFile.h"

#include <algorithm>

#include "paradox/EngineError.h"
#include "paradox/ParadoxFormat.h"

namespace paradox {

namespace {

constexpr std::uint64_t kChunk = 4096;
constexpr std::size_t kWriteRunBytes = 1u << 20;
constexpr std::size_t kSmallLimit = 2048;     // larger blobs get a block of their own
constexpr std::size_t kSlotTable = 12;
constexpr std::size_t kSlotSize = 5;
constexpr unsigned kSlots = 64;
constexpr std::size_t kSmallDataStart = 0x150;
constexpr std::size_t kMemoChunks = 0x01;
constexpr std::size_t kMemoModCount = 0x03;
constexpr std::size_t kMemoSmallBlock = 0x38;
constexpr std::size_t kMemoSmallFree = 0x3C;
constexpr std::size_t kMemoHeaderFields = 0x40;  // the header's fields all lie before this
constexpr std::size_t kBigLength = 0x03;
constexpr std::size_t kBigModification = 0x07;
constexpr std::size_t kBigData = 0x09;
constexpr std::uint8_t kTypeHeader = 0, kTypeBig = 2, kTypeSmall = 3, kTypeFree = 4;

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
    std::size_t at = kSlotTable + kSlotSize * static_cast<std::size_t>(i);
    auto off16 = static_cast<unsigned char>(block[at]);
    auto len16 = static_cast<unsigned char>(block[at + 1]);
    if (off16 == 0) {
      if (st.freeSlot < 0) st.freeSlot = i;
      continue;
    }
    st.dataEnd = std::max<std::size_t>(st.dataEnd, (static_cast<std::size_t>(off16) + len16) * 16);
  }
  return st;
}

}  // namespace

MemoFile::MemoFile(std::unique_ptr<BinaryFile> file) : file_(std::move(file)) {
  // Blobs go to the end of the file one block after another: a megabyte of them is one write.
  file_->GatherWrites(kWriteRunBytes);
  std::uint64_t size = file_->Size();
  if (size < kChunk)
    RaiseEngineError(EngineMessage::kCorruptMemo, "the header block is incomplete", PathText(file_->Path()), 0);
  std::string h = file_->Read(0, kMemoHeaderFields);
  if (static_cast<unsigned char>(h[0]) != kTypeHeader || GetU16(h, kMemoChunks) != 1)
    RaiseEngineError(EngineMessage::kCorruptMemo, "not a memo file header", PathText(file_->Path()), 0);
  modCount_ = GetU16(h, kMemoModCount);
  std::uint32_t small = GetU32(h, kMemoSmallBlock);
  if ((small & 0xFF) == kTypeSmall - 1 && (small & ~0xFFu) % kChunk == 0 && (small & ~0xFFu) + kChunk <= size)
    openSmallBlock_ = small & ~0xFFu;
}

void MemoFile::InitializeEmpty(BinaryFile& file) {
  std::string h(kChunk, '\0');
  h[0] = static_cast<char>(kTypeHeader);
  PutU16(h, kMemoChunks, 1);
  PutU16(h, kMemoModCount, 1);
  const unsigned char magic[] = {0x82, 0x73, 0x02, 0x00, 0x29, 0x00};
  for (std::size_t i = 0; i < sizeof magic; ++i) h[0x05 + i] = static_cast<char>(magic[i]);
  PutU16(h, 0x0B, 0x1000);
  PutU16(h, 0x0D, 0x1000);
  h[0x10] = 0x10;
  PutU16(h, 0x11, 0x0040);
  PutU16(h, 0x13, 0x0800);
  PutU16(h, 0x29, 0x02A1);
  file.Write(0, h);
}

std::string MemoFile::ReadBlob(std::uint32_t pointer, std::uint32_t length) const {
  const std::string where = PathText(file_->Path());
  auto bad = [&](const std::string& what) {
    RaiseEngineError(EngineMessage::kCorruptMemo, "blob pointer " + Hex(pointer) + ": " + what, where, pointer & ~0xFFu);
  };
  const std::uint64_t size = Size();
  std::uint64_t blockOff = pointer & ~0xFFu;
  unsigned slot = pointer & 0xFFu;
  if (blockOff < kChunk || blockOff % kChunk != 0 || blockOff + kChunk > size) bad("points outside the file");
  std::string head = ReadBytes(blockOff, kBigData);
  auto type = static_cast<unsigned char>(head[0]);
  std::uint64_t chunks = GetU16(head, 1);
  if (slot == 0xFF) {
    if (type != kTypeBig) bad("block is not a single-blob block");
    if (chunks == 0 || blockOff + chunks * kChunk > size) bad("block runs past the end of the file");
    std::uint32_t stored = GetU32(head, kBigLength);
    if (stored != length) bad("length " + std::to_string(stored) + " in the memo file, " + std::to_string(length) + " in the record");
    if (kBigData + static_cast<std::uint64_t>(length) > chunks * kChunk) bad("blob longer than its block");
    return ReadBytes(blockOff + kBigData, length);
  }
  if (type != kTypeSmall) bad("block is not a small-blob block");
  if (slot >= kSlots) bad("slot out of range");
  std::string entry = ReadBytes(blockOff + kSlotTable + kSlotSize * slot, kSlotSize);
  auto off16 = static_cast<unsigned char>(entry[0]);
  auto len16 = static_cast<unsigned char>(entry[1]);
  auto lenMod = static_cast<unsigned char>(entry[4]);
  if (off16 == 0 || len16 == 0) bad("slot is unused");
  if (lenMod == 0 || lenMod > 16) bad("slot length is invalid");
  std::uint32_t stored = (static_cast<std::uint32_t>(len16) - 1) * 16 + lenMod;
  if (stored != length) bad("length " + std::to_string(stored) + " in the memo file, " + std::to_string(length) + " in the record");
  if (static_cast<std::uint64_t>(off16) * 16 < kSmallDataStart || static_cast<std::uint64_t>(off16) * 16 + length > kChunk)
    bad("slot data lies outside its block");
  return ReadBytes(blockOff + static_cast<std::uint64_t>(off16) * 16, length);
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
  if (static_cast<unsigned char>(block[0]) != kTypeSmall) {
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
    block[0] = static_cast<char>(kTypeBig);
    PutU16(block, 1, static_cast<std::uint16_t>(chunks));
    PutU32(block, kBigLength, static_cast<std::uint32_t>(bytes.size()));
    PutU16(block, kBigModification, modification);
    block.replace(kBigData, bytes.size(), bytes);
    file_->Write(end, block);
    return static_cast<std::uint32_t>(end) | 0xFFu;
  }
  std::size_t units = (bytes.size() + 15) / 16;
  SmallBlockState st;
  bool fits = false;
  if (LoadOpenBlock()) {
    st = Inspect(openBlock_);
    fits = st.freeSlot >= 0 && st.dataEnd + units * 16 <= kChunk;
  }
  if (!fits) {
    // The full block is done with; a new one starts at the end of the file.
    WriteOpenBlock();
    std::string block(kChunk, '\0');
    block[0] = static_cast<char>(kTypeSmall);
    PutU16(block, 1, 1);
    st = Inspect(block);
    openBlock_ = std::move(block);
    openSmallBlock_ = end;
  }
  std::string& block = openBlock_;
  std::size_t at = kSlotTable + kSlotSize * static_cast<std::size_t>(st.freeSlot);
  block[at] = static_cast<char>(st.dataEnd / 16);
  block[at + 1] = static_cast<char>(units);
  PutU16(block, at + 2, modification);
  std::size_t rem = bytes.size() % 16;
  block[at + 4] = static_cast<char>(rem == 0 ? 16 : rem);
  block.replace(st.dataEnd, bytes.size(), bytes);
  openBlockChanged_ = true;
  return static_cast<std::uint32_t>(openSmallBlock_) | static_cast<std::uint32_t>(st.freeSlot);
}

void MemoFile::FreeBlob(std::uint32_t pointer) {
  std::uint64_t blockOff = pointer & ~0xFFu;
  unsigned slot = pointer & 0xFFu;
  if (blockOff < kChunk || blockOff + kChunk > Size()) return;
  if (slot == 0xFF) {
    std::string t = ReadBytes(blockOff, 1);
    if (static_cast<unsigned char>(t[0]) == kTypeBig) file_->Write(blockOff, std::string(1, static_cast<char>(kTypeFree)));
  } else if (slot < kSlots) {
    const std::uint64_t entry = blockOff + kSlotTable + kSlotSize * slot;
    if (blockOff == openSmallBlock_ && LoadOpenBlock()) {
      openBlock_.replace(static_cast<std::size_t>(entry - blockOff), kSlotSize, kSlotSize, '\0');
      openBlockChanged_ = true;
      return;
    }
    std::string t = file_->Read(blockOff, 1);
    if (static_cast<unsigned char>(t[0]) == kTypeSmall) file_->Write(entry, std::string(kSlotSize, '\0'));
  }
}

void MemoFile::Flush() {
  WriteOpenBlock();
  std::string h = file_->Read(0, kMemoHeaderFields);
  PutU16(h, kMemoModCount, modCount_);
  std::uint32_t small = 0, freeUnits = 0;
  if (LoadOpenBlock()) {
    SmallBlockState st = Inspect(openBlock_);
    small = static_cast<std::uint32_t>(openSmallBlock_) | (kTypeSmall - 1);
    freeUnits = static_cast<std::uint32_t>((kChunk - st.dataEnd) / 16);
  }
  PutU32(h, kMemoSmallBlock, small);
  PutU32(h, kMemoSmallFree, freeUnits);
  file_->Write(0, h);
  // The table's header loses its "modified" mark next: every blob must be on the disk first.
  file_->Sync();
}

}  // namespace paradox
