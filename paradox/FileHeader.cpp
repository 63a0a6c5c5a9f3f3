#include "paradox/FileHeader.h"

#include <cassert>
#include <optional>

#include "paradox/EngineError.h"

namespace paradox {

using namespace format;

namespace {

std::uint8_t GetU8(std::string_view b, std::size_t at) { return static_cast<std::uint8_t>(b[at]); }
void PutU8(std::string& b, std::size_t at, std::uint8_t v) { b[at] = static_cast<char>(v); }

[[noreturn]] void Refuse(const std::string& what, const std::string& file, std::uint64_t at) {
  RaiseEngineError(EngineMessage::kCorruptHeader, what, file, at);
}

template <typename T>
struct FieldAt {
  T FileHeader::*field;
  std::size_t at;
};

// The fields of the first 0x58 bytes, by size.
constexpr FieldAt<std::uint8_t> kFixedBytes[] = {
    {&FileHeader::fileType, kHeaderFileType},
    {&FileHeader::blockSizeKiB, kHeaderBlockSizeKiB},
    {&FileHeader::modified, kHeaderModified},
    {&FileHeader::firstIndexField, kHeaderFirstIndexField},
    {&FileHeader::indexLevels, kHeaderIndexLevels},
    {&FileHeader::sortOrder, kHeaderSortOrder},
    {&FileHeader::modified2, kHeaderModified2},
    {&FileHeader::indexValid, kHeaderIndexValid},
    {&FileHeader::structureChanges, kHeaderStructureChanges},
    {&FileHeader::indexStamp, kHeaderIndexStamp},
    {&FileHeader::primaryIndexStamp, kHeaderPrimaryIndexStamp},
    {&FileHeader::level, kHeaderLevel},
    {&FileHeader::flags, kHeaderRefIntegrity},
    {&FileHeader::dbMarker2, kHeaderDbMarker2},
};
constexpr FieldAt<std::uint16_t> kFixedWords[] = {
    {&FileHeader::recordSize, kHeaderRecordSize},
    {&FileHeader::headerSize, kHeaderHeaderSize},
    {&FileHeader::blocksInUse, kHeaderBlocksInUse},
    {&FileHeader::fileBlocks, kHeaderFileBlocks},
    {&FileHeader::firstBlock, kHeaderFirstBlock},
    {&FileHeader::lastBlock, kHeaderLastBlock},
    {&FileHeader::changeCount, kHeaderChangeCount},
    {&FileHeader::indexRoot, kHeaderIndexRoot},
    {&FileHeader::fieldCount, kHeaderFieldCount},
    {&FileHeader::keyFieldCount, kHeaderKeyFieldCount},
    {&FileHeader::fileBlocksAgain, kHeaderFileBlocksAgain},
    {&FileHeader::dbMarker, kHeaderDbMarker},
    {&FileHeader::firstFreeBlock, kHeaderFirstFreeBlock},
    {&FileHeader::usedSize, kHeaderUsedSize},
};
constexpr FieldAt<std::uint32_t> kFixedLongs[] = {
    {&FileHeader::recordCount, kHeaderRecordCount},
    {&FileHeader::marker, kHeaderMarker},
    {&FileHeader::autoIncrement, kHeaderAutoIncrement},
};
// The fields of 0x58..0x77.
constexpr FieldAt<std::uint16_t> kLongPartWords[] = {
    {&FileHeader::levelWord1, kHeaderLevelWord1},
    {&FileHeader::levelWord2, kHeaderLevelWord2},
    {&FileHeader::fieldCountPlus1, kHeaderFieldCountPlus1},
    {&FileHeader::fieldNumbersAt, kHeaderFieldNumbersAt},
    {&FileHeader::indexNameAt, kHeaderIndexNameAt},
    {&FileHeader::codePage, kHeaderCodePage},
    {&FileHeader::ones, kHeaderOnes},
    {&FileHeader::sortNameAt, kHeaderSortNameAt},
    {&FileHeader::sortNameOne, kHeaderSortNameOne},
};
constexpr FieldAt<std::uint32_t> kLongPartLongs[] = {
    {&FileHeader::encryption, kHeaderEncryption},
    {&FileHeader::writeTime, kHeaderWriteTime},
};

template <typename T, std::size_t N, typename Get>
void DecodeFields(const FieldAt<T> (&fields)[N], std::string_view b, FileHeader& h, Get get) {
  for (const auto& f : fields) h.*f.field = static_cast<T>(get(b, f.at));
}

template <typename T, std::size_t N, typename Put>
void EncodeFields(const FieldAt<T> (&fields)[N], const FileHeader& h, std::string& b, Put put) {
  for (const auto& f : fields) put(b, f.at, h.*f.field);
}

template <typename T, std::size_t N>
std::optional<std::size_t> Find(const FieldAt<T> (&fields)[N], T FileHeader::*field) {
  for (const auto& f : fields)
    if (f.field == field) return f.at;
  return std::nullopt;
}

void CheckConsistent(const FileHeader& h, const std::string& file) {
  if (h.headerSize < kVariablePartShort)
    Refuse("header size " + std::to_string(h.headerSize) + " is shorter than the fixed header", file, kHeaderHeaderSize);
  if (!IsValidBlockSizeKiB(h.blockSizeKiB))
    Refuse("block size of " + std::to_string(h.blockSizeKiB) + " KiB", file, kHeaderBlockSizeKiB);
  if (h.recordSize == 0 || h.recordSize > h.BlockBytes() - kBlockHeaderSize)
    Refuse("record size " + std::to_string(h.recordSize) + " does not fit a block of " + std::to_string(h.BlockBytes()), file,
           kHeaderRecordSize);
}

}  // namespace

bool IsValidBlockSizeKiB(unsigned kib) { return kib == 1 || kib == 2 || kib == 4 || kib == 8 || kib == 16 || kib == 32; }

bool FileHeader::HasLongPart(std::uint8_t fileType, std::uint8_t level) {
  // The block directories (.PX, .Ynn, .YGn) keep the short layout at every level.
  return level >= 5 && fileType != kFilePrimaryIndex && fileType != kFileYnn && fileType != kFileYGn;
}

FileHeader FileHeader::Decode(std::string_view bytes, const std::string& file) {
  if (bytes.size() < kVariablePartShort)
    Refuse("header of " + std::to_string(bytes.size()) + " bytes is shorter than a table header", file, 0);
  FileHeader h;
  DecodeFields(kFixedBytes, bytes, h, GetU8);
  DecodeFields(kFixedWords, bytes, h, GetU16);
  DecodeFields(kFixedLongs, bytes, h, GetU32);
  CheckConsistent(h, file);
  if (HasLongPart(h.fileType, h.level) && bytes.size() >= kVariablePartLong) {
    h.longPart = true;
    DecodeFields(kLongPartWords, bytes, h, GetU16);
    DecodeFields(kLongPartLongs, bytes, h, GetU32);
  }
  return h;
}

void FileHeader::Encode(std::string& b) const {
  assert(b.size() >= (longPart ? kVariablePartLong : kVariablePartShort));
  EncodeFields(kFixedBytes, *this, b, PutU8);
  EncodeFields(kFixedWords, *this, b, PutU16);
  EncodeFields(kFixedLongs, *this, b, PutU32);
  if (!longPart) return;
  EncodeFields(kLongPartWords, *this, b, PutU16);
  EncodeFields(kLongPartLongs, *this, b, PutU32);
}

std::size_t FileHeader::OffsetOf(std::uint8_t FileHeader::*field) { return *Find(kFixedBytes, field); }

std::size_t FileHeader::OffsetOf(std::uint16_t FileHeader::*field) {
  if (auto at = Find(kFixedWords, field)) return *at;
  return *Find(kLongPartWords, field);
}

std::size_t FileHeader::OffsetOf(std::uint32_t FileHeader::*field) {
  if (auto at = Find(kFixedLongs, field)) return *at;
  return *Find(kLongPartLongs, field);
}

}  // namespace paradox
