#pragma once
// The Paradox table file formats, as this engine reads and writes them. Every multi-byte
// header field is little-endian; values inside records are big-endian (see "Values").
//
// .DB data file (and .PX, .Xnn, .Ynn, which share the first 0x58 bytes):
// | Offset | Size | Meaning |
// |---|---|---|
// | 0x00 | 2 | record size in bytes |
// | 0x02 | 2 | header size (0x0800 in every file the engine writes) |
// | 0x04 | 1 | file type: 0 keyed .DB, 1 .PX, 2 unkeyed .DB, 3..8 secondary index files |
// | 0x05 | 1 | block size in KiB (1, 2, 4, 8, 16, 32) |
// | 0x06 | 4 | record count (.PX: index entries of every level) |
// | 0x0A | 2 | blocks in use |
// | 0x0C | 2 | blocks in the file |
// | 0x0E | 2 | first data block of the chain (0 when the table is empty) |
// | 0x10 | 2 | last data block of the chain |
// | 0x12 | 2 | change counter; the .PX carries this value + 1 |
// | 0x14 | 1 | "modified" flag (non-zero: the engine crashed while writing) |
// | 0x15 | 1 | .X: table field number of the first index field |
// | 0x1E | 2 | .PX/.Y: root block |
// | 0x20 | 1 | .PX/.Y: index levels (0 when empty) |
// | 0x21 | 2 | field count |
// | 0x23 | 2 | primary key field count (the key is always the leading fields) |
// | 0x25 | 4 | 00 FF 00 FF in level 4.x and later files |
// | 0x29 | 1 | sort-order byte of the language driver |
// | 0x2A | 1 | second "modified" flag |
// | 0x2C | 1 | .PX present / index valid (non-zero); .PX/.Y: their stamp; .X: 0xFF |
// | 0x2D | 1 | change count of the table's structure (>= 2 once a .PX exists); .X: the .Y's stamp |
// | 0x2E | 1 | stamp that each secondary index copies when it is built (a stale index differs) |
// | 0x2F | 1 | .X: the .PX's byte 0x2C when it was built |
// | 0x39 | 1 | file level: 3 = 3.0, 4 = 3.5, 5..9 = 4.x, 0x0A/0x0B = 5.x, 0x0C = 7 |
// | 0x3A | 2 | blocks in the file (again) |
// | 0x3E | 2 | 1F 0F in .DB files |
// | 0x49 | 4 | autoincrement: the last value handed out (.PX/.X/.Y: a counter) |
// | 0x4D | 2 | first free block (0: none) |
// | 0x51 | 2 | header bytes actually used |
// | 0x55 | 1 | referential integrity (2), or index flags in .Xnn files |
// | 0x56 | 1 | 0x20 in .DB files |
// Level 5+ .DB files (and .Xnn files) continue with:
// | 0x58 | 2 | 0x0100 + level |
// | 0x5A | 2 | 0x0100 + level |
// | 0x5C | 4 | encryption (0: none; encrypted tables are refused) |
// | 0x60 | 4 | .X: time of writing, seconds since 1970 |
// | 0x64 | 2 | field count + 1 (.X: highest field number + 1) |
// | 0x66 | 2 | where the field numbers start, counted from 0x58 |
// | 0x68 | 2 | .XGn: where the index name starts, counted from 0x58 |
// | 0x6A | 2 | code page of the language driver |
// | 0x6C | 2 | 01 01 |
// | 0x6E | 2 | where the sort-order name starts, counted from 0x58 |
// | 0x70 | 2 | 1 |
// The variable part starts at 0x78 (0x58 for levels 3 and 4 and for .PX files):
//   field count × (type byte, size byte);
//   4-byte table-name pointer (a value of the engine's memory; ignored, written as 0);
//   field count × 4-byte field-name pointers (not in .PX files);
//   table name, zero padded to 261 bytes at level 7 (0x0C), 79 bytes before;
//   field names, each NUL-terminated (not in .PX files);
//   field count × 2-byte field numbers (1, 2, ...);
//   sort-order name, NUL-terminated.
//
// Data block n (1-based) starts at header size + (n - 1) × block size (index blocks alike):
// | +0 | 2 | next block in the chain (0: last) |
// | +2 | 2 | previous block (0: first) |
// | +4 | 2 | (records in the block - 1) × record size; -record size when empty |
// | +6 | ... | records (index entries), packed |
// Free blocks hang in a chain of their own from header 0x4D, linked through +0.
//
// Values in records: NULL (empty) is all zero bytes for every type.
//   short/long/autoinc/date/time: big-endian two's complement with the top bit flipped.
//   number/money/timestamp (IEEE double): big-endian; positive values get the sign bit set,
//     negative values have every byte inverted. Both codings compare as unsigned bytes.
//   logical: 0x80 false, 0x81 true.
//   date: days counting 0001-01-01 as 1. time: milliseconds since midnight.
//   timestamp: milliseconds since 0001-01-01 00:00 counted from day 1 (i.e. days × 86400000 + ms).
//   BCD: 17 bytes (the size byte in the descriptor holds the decimals), byte 0 bit 7 is the
//     sign (set = positive) and bits 0..5 the decimals, then 32 packed digits; negative values
//     have every nibble inverted.
//   blobs (memo, formatted memo, binary, OLE, graphic): leader (field size - 10 bytes) with the
//     start of the data, then a 10-byte tail:
//     | +0 | 4 | .MB offset; the low byte is the slot in a type 3 block, 0xFF a type 2 block |
//     | +4 | 4 | length of the whole blob |
//     | +8 | 2 | modification number |
//     A blob that fits the leader is held there alone (offset 0). An empty blob is all zero.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace paradox {

enum class FieldType : std::uint8_t {
  kAlpha = 0x01,
  kDate = 0x02,
  kShort = 0x03,
  kLong = 0x04,
  kMoney = 0x05,
  kNumber = 0x06,
  kLogical = 0x09,
  kMemo = 0x0C,
  kBinary = 0x0D,
  kFormattedMemo = 0x0E,
  kOle = 0x0F,
  kGraphic = 0x10,
  kTime = 0x14,
  kTimestamp = 0x15,
  kAutoIncrement = 0x16,
  kBcd = 0x17,
  kBytes = 0x18,
};

// True for the types whose value lives (partly) in the .MB file.
bool IsBlobType(FieldType t);
// The field's size in the record given its descriptor's size byte (BCD is always 17 bytes),
// or std::nullopt when the type code or the size is not one the engine uses.
std::optional<unsigned> StoredFieldSize(std::uint8_t typeCode, std::uint8_t sizeByte);
// The lowest file level that can hold the type (3, 4 or 5; 0x0C-only types do not exist).
unsigned MinimumLevel(FieldType t);
// A short English name for listings: "Alpha", "Date", "Short", ...
std::string_view FieldTypeName(FieldType t);

namespace format {
constexpr std::size_t kHeaderRecordSize = 0x00;
constexpr std::size_t kHeaderHeaderSize = 0x02;
constexpr std::size_t kHeaderFileType = 0x04;
constexpr std::size_t kHeaderBlockSizeKiB = 0x05;
constexpr std::size_t kHeaderRecordCount = 0x06;
constexpr std::size_t kHeaderBlocksInUse = 0x0A;
constexpr std::size_t kHeaderFileBlocks = 0x0C;
constexpr std::size_t kHeaderFirstBlock = 0x0E;
constexpr std::size_t kHeaderLastBlock = 0x10;
constexpr std::size_t kHeaderChangeCount = 0x12;
constexpr std::size_t kHeaderModified = 0x14;
constexpr std::size_t kHeaderFirstIndexField = 0x15;
constexpr std::size_t kHeaderIndexRoot = 0x1E;
constexpr std::size_t kHeaderIndexLevels = 0x20;
constexpr std::size_t kHeaderFieldCount = 0x21;
constexpr std::size_t kHeaderKeyFieldCount = 0x23;
constexpr std::size_t kHeaderMarker = 0x25;
constexpr std::size_t kHeaderSortOrder = 0x29;
constexpr std::size_t kHeaderModified2 = 0x2A;
constexpr std::size_t kHeaderIndexValid = 0x2C;
constexpr std::size_t kHeaderStructureChanges = 0x2D;
constexpr std::size_t kHeaderIndexStamp = 0x2E;
constexpr std::size_t kHeaderPrimaryIndexStamp = 0x2F;
constexpr std::size_t kHeaderLevel = 0x39;
constexpr std::size_t kHeaderFileBlocksAgain = 0x3A;
constexpr std::size_t kHeaderDbMarker = 0x3E;
constexpr std::size_t kHeaderAutoIncrement = 0x49;
constexpr std::size_t kHeaderFirstFreeBlock = 0x4D;
constexpr std::size_t kHeaderUsedSize = 0x51;
constexpr std::size_t kHeaderRefIntegrity = 0x55;
constexpr std::size_t kHeaderDbMarker2 = 0x56;
constexpr std::size_t kHeaderLevelWord1 = 0x58;
constexpr std::size_t kHeaderLevelWord2 = 0x5A;
constexpr std::size_t kHeaderEncryption = 0x5C;
constexpr std::size_t kHeaderWriteTime = 0x60;
constexpr std::size_t kHeaderFieldCountPlus1 = 0x64;
constexpr std::size_t kHeaderFieldNumbersAt = 0x66;
constexpr std::size_t kHeaderIndexNameAt = 0x68;
constexpr std::size_t kHeaderCodePage = 0x6A;
constexpr std::size_t kHeaderOnes = 0x6C;
constexpr std::size_t kHeaderSortNameAt = 0x6E;
constexpr std::size_t kHeaderSortNameOne = 0x70;
// The header is a whole number of these; every file the engine writes has a header of one.
constexpr std::size_t kHeaderBlockSize = 0x800;
constexpr std::size_t kVariablePartShort = 0x58;
constexpr std::size_t kVariablePartLong = 0x78;
constexpr std::size_t kTableNameSizeLevel7 = 261;
constexpr std::size_t kTableNameSizeOld = 79;
constexpr std::size_t kBlockNext = 0;
constexpr std::size_t kBlockPrevious = 2;
constexpr std::size_t kBlockAddDataSize = 4;
constexpr std::size_t kBlockHeaderSize = 6;
constexpr std::size_t kBlobTailSize = 10;
constexpr std::size_t kBlobTailPointer = 0;       // from the tail's start
constexpr std::size_t kBlobTailLength = 4;
constexpr std::size_t kBlobTailModification = 8;
constexpr std::size_t kBcdSize = 17;
constexpr std::uint8_t kLevel7 = 0x0C;
// The constant values of the header, as little-endian numbers.
constexpr std::uint32_t kLevel4Marker = 0xFF00FF00;  // 00 FF 00 FF
constexpr std::uint16_t kDbMarker = 0x0F1F;          // 1F 0F
constexpr std::uint8_t kDbMarker2 = 0x20;
constexpr std::uint16_t kOnes = 0x0101;              // 01 01

constexpr std::uint8_t kFileKeyedDb = 0;
constexpr std::uint8_t kFilePrimaryIndex = 1;
constexpr std::uint8_t kFileUnkeyedDb = 2;
constexpr std::uint8_t kFileXnnNotMaintained = 3;
constexpr std::uint8_t kFileYnn = 4;
constexpr std::uint8_t kFileXnn = 5;
constexpr std::uint8_t kFileXGnNotMaintained = 6;
constexpr std::uint8_t kFileYGn = 7;
constexpr std::uint8_t kFileXGn = 8;
}  // namespace format

// Little-endian helpers. The header fields go through FileHeader.h and BlockHead.h; these serve
// the variable part of headers, blob tails and the memo file.
std::uint16_t GetU16(std::string_view bytes, std::size_t at);
std::uint32_t GetU32(std::string_view bytes, std::size_t at);
void PutU16(std::string& bytes, std::size_t at, std::uint16_t v);
void PutU32(std::string& bytes, std::size_t at, std::uint32_t v);

// The tail of a blob field (see "Values" above).
struct BlobTail {
  std::uint32_t pointer = 0;  // 0: the blob is held in the leader alone
  std::uint32_t length = 0;   // 0: no blob
  std::uint16_t modification = 0;

  // `field` is the whole field, at least format::kBlobTailSize bytes; the tail is its end.
  static BlobTail Decode(std::string_view field);
  void Encode(std::string& field) const;
  // The bytes of `field` before its tail.
  static std::size_t LeaderSize(std::size_t fieldSize) { return fieldSize - format::kBlobTailSize; }
};

// Record value codings (see "Values" above). Decoders take exactly the field's bytes and
// return std::nullopt for NULL (all zero bytes).
std::optional<std::int16_t> DecodeShort(std::string_view b);
std::optional<std::int32_t> DecodeLong(std::string_view b);  // long, autoinc, date, time
std::optional<double> DecodeDouble(std::string_view b);      // number, money, timestamp
std::optional<bool> DecodeLogical(std::string_view b);
std::optional<std::string> DecodeBcd(std::string_view b, unsigned decimals);  // "-12.50"
std::string EncodeShort(std::int16_t v);
std::string EncodeLong(std::int32_t v);
std::string EncodeDouble(double v);
std::string EncodeLogical(bool v);

// Calendar: Paradox day numbers (0001-01-01 = 1, proleptic Gregorian).
struct CivilDate {
  int year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
};
std::int32_t DayNumberFromCivil(const CivilDate& d);
CivilDate CivilFromDayNumber(std::int32_t dayNumber);
// The day number of 1899-12-30, day 0 of the class library's date-time values.
constexpr std::int32_t kDateTimeEpochDayNumber = 693594;

}  // namespace paradox
