#include "paradox/FileHeader.h"

#include "paradox/EngineError.h"

namespace paradox {

using namespace format;

namespace {

std::uint8_t GetU8(std::string_view b, std::size_t at) { return static_cast<std::uint8_t>(b[at]); }
void PutU8(std::string& b, std::size_t at, std::uint8_t v) { b[at] = static_cast<char>(v); }

[[noreturn]] void Refuse(const std::string& what, const std::string& file, std::uint64_t at) {
  RaiseEngineError(EngineMessage::kCorruptHeader, what, file, at);
}

void DecodeFixedPart(std::string_view b, FileHeader& h) {
  h.recordSize = GetU16(b, kHeaderRecordSize);
  h.headerSize = GetU16(b, kHeaderHeaderSize);
  h.fileType = GetU8(b, kHeaderFileType);
  h.blockSizeKiB = GetU8(b, kHeaderBlockSizeKiB);
  h.recordCount = GetU32(b, kHeaderRecordCount);
  h.blocksInUse = GetU16(b, kHeaderBlocksInUse);
  h.fileBlocks = GetU16(b, kHeaderFileBlocks);
  h.firstBlock = GetU16(b, kHeaderFirstBlock);
  h.lastBlock = GetU16(b, kHeaderLastBlock);
  h.changeCount = GetU16(b, kHeaderChangeCount);
  h.modified = GetU8(b, kHeaderModified);
  h.firstIndexField = GetU8(b, kHeaderFirstIndexField);
  h.indexRoot = GetU16(b, kHeaderIndexRoot);
  h.indexLevels = GetU8(b, kHeaderIndexLevels);
  h.fieldCount = GetU16(b, kHeaderFieldCount);
  h.keyFieldCount = GetU16(b, kHeaderKeyFieldCount);
  h.marker = GetU32(b, kHeaderMarker);
  h.sortOrder = GetU8(b, kHeaderSortOrder);
  h.modified2 = GetU8(b, kHeaderModified2);
  h.indexValid = GetU8(b, kHeaderIndexValid);
  h.structureChanges = GetU8(b, kHeaderStructureChanges);
  h.indexStamp = GetU8(b, kHeaderIndexStamp);
  h.primaryIndexStamp = GetU8(b, kHeaderPrimaryIndexStamp);
  h.level = GetU8(b, kHeaderLevel);
  h.fileBlocksAgain = GetU16(b, kHeaderFileBlocksAgain);
  h.dbMarker = GetU16(b, kHeaderDbMarker);
  h.autoIncrement = GetU32(b, kHeaderAutoIncrement);
  h.firstFreeBlock = GetU16(b, kHeaderFirstFreeBlock);
  h.usedSize = GetU16(b, kHeaderUsedSize);
  h.flags = GetU8(b, kHeaderRefIntegrity);
  h.dbMarker2 = GetU8(b, kHeaderDbMarker2);
}

void DecodeLongPart(std::string_view b, FileHeader& h) {
  h.longPart = true;
  h.levelWord1 = GetU16(b, kHeaderLevelWord1);
  h.levelWord2 = GetU16(b, kHeaderLevelWord2);
  h.encryption = GetU32(b, kHeaderEncryption);
  h.writeTime = GetU32(b, kHeaderWriteTime);
  h.fieldCountPlus1 = GetU16(b, kHeaderFieldCountPlus1);
  h.fieldNumbersAt = GetU16(b, kHeaderFieldNumbersAt);
  h.indexNameAt = GetU16(b, kHeaderIndexNameAt);
  h.codePage = GetU16(b, kHeaderCodePage);
  h.ones = GetU16(b, kHeaderOnes);
  h.sortNameAt = GetU16(b, kHeaderSortNameAt);
  h.sortNameOne = GetU16(b, kHeaderSortNameOne);
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
  // The block directories (.PX 1, .Ynn 4, .YGn 7) keep the short layout at every level.
  return level >= 5 && fileType != 1 && fileType != 4 && fileType != 7;
}

FileHeader FileHeader::Decode(std::string_view bytes, const std::string& file) {
  if (bytes.size() < kVariablePartShort)
    Refuse("header of " + std::to_string(bytes.size()) + " bytes is shorter than a table header", file, 0);
  FileHeader h;
  DecodeFixedPart(bytes, h);
  CheckConsistent(h, file);
  if (HasLongPart(h.fileType, h.level) && bytes.size() >= kVariablePartLong) DecodeLongPart(bytes, h);
  return h;
}

void FileHeader::Encode(std::string& b) const {
  PutU16(b, kHeaderRecordSize, recordSize);
  PutU16(b, kHeaderHeaderSize, headerSize);
  PutU8(b, kHeaderFileType, fileType);
  PutU8(b, kHeaderBlockSizeKiB, blockSizeKiB);
  PutU32(b, kHeaderRecordCount, recordCount);
  PutU16(b, kHeaderBlocksInUse, blocksInUse);
  PutU16(b, kHeaderFileBlocks, fileBlocks);
  PutU16(b, kHeaderFirstBlock, firstBlock);
  PutU16(b, kHeaderLastBlock, lastBlock);
  PutU16(b, kHeaderChangeCount, changeCount);
  PutU8(b, kHeaderModified, modified);
  PutU8(b, kHeaderFirstIndexField, firstIndexField);
  PutU16(b, kHeaderIndexRoot, indexRoot);
  PutU8(b, kHeaderIndexLevels, indexLevels);
  PutU16(b, kHeaderFieldCount, fieldCount);
  PutU16(b, kHeaderKeyFieldCount, keyFieldCount);
  PutU32(b, kHeaderMarker, marker);
  PutU8(b, kHeaderSortOrder, sortOrder);
  PutU8(b, kHeaderModified2, modified2);
  PutU8(b, kHeaderIndexValid, indexValid);
  PutU8(b, kHeaderStructureChanges, structureChanges);
  PutU8(b, kHeaderIndexStamp, indexStamp);
  PutU8(b, kHeaderPrimaryIndexStamp, primaryIndexStamp);
  PutU8(b, kHeaderLevel, level);
  PutU16(b, kHeaderFileBlocksAgain, fileBlocksAgain);
  PutU16(b, kHeaderDbMarker, dbMarker);
  PutU32(b, kHeaderAutoIncrement, autoIncrement);
  PutU16(b, kHeaderFirstFreeBlock, firstFreeBlock);
  PutU16(b, kHeaderUsedSize, usedSize);
  PutU8(b, kHeaderRefIntegrity, flags);
  PutU8(b, kHeaderDbMarker2, dbMarker2);
  if (!longPart) return;
  PutU16(b, kHeaderLevelWord1, levelWord1);
  PutU16(b, kHeaderLevelWord2, levelWord2);
  PutU32(b, kHeaderEncryption, encryption);
  PutU32(b, kHeaderWriteTime, writeTime);
  PutU16(b, kHeaderFieldCountPlus1, fieldCountPlus1);
  PutU16(b, kHeaderFieldNumbersAt, fieldNumbersAt);
  PutU16(b, kHeaderIndexNameAt, indexNameAt);
  PutU16(b, kHeaderCodePage, codePage);
  PutU16(b, kHeaderOnes, ones);
  PutU16(b, kHeaderSortNameAt, sortNameAt);
  PutU16(b, kHeaderSortNameOne, sortNameOne);
}

}  // namespace paradox
