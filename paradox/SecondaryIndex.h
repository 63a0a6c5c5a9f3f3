#pragma once
// Secondary indexes of Paradox tables: the .Xnn/.Ynn and .XGn/.YGn file pairs, as the real
// engine keeps them, read, built from a table's records and kept up to date while it is
// written.
//
// Where the facts come from: hex dumps of files the real engine wrote (CUSTOMER.X06/.Y06 and
// AREACODES.XG0/.YG0 of a level-7 sample database; C.X02/.X03/.Y02/.Y03, fk1.x02/.y02 and
// fk4.XG0/.YG0 of level-5 samples), compared byte by byte with their .DB and .PX; Randy Beck's
// "The PARADOX File Structure" and pxlib's header structures for the names of the shared header
// fields. "Seen" = checked on those files; "inferred" = not checked on a real file.
//
// Naming (seen):
//   .Xnn/.Ynn  one field, ascending, case-sensitive; the index bears the field's name and the
//              file stores no index name. nn = the table's field number of that field, two hex
//              digits (X06 for field 6; digits above 9 inferred).
//   .XGn/.YGn  every other index: composite (fk4.XG0 "reference" on FK1;FK), case-insensitive
//              (AREACODES.XG0 "ste" on State), descending; the file stores the index name.
//              n = a sequence number in order of creation (XG0, XG1, ..., then hex, inferred).
//   Nothing in the .DB names or counts its secondary indexes: they are found by file name.
//
// An .X file is a table in the .DB format (header 0x800 bytes, data blocks of the .DB's block
// size). Its records (seen):
//   keyed table:   the index fields, then every primary-key field, then "Blk Num" (short: the
//                  .DB block that holds the record). Key fields = index + primary-key fields.
//   unkeyed table: the index fields, "Tup No" (long, 1-based record number), "Blk Num",
//                  "Tup Offset" (short, slot × record size) (from the public description;
//                  inferred, no sample). Key fields = index fields + "Tup No".
//   Field types and sizes are the table's (an autoincrement key stays type 0x16).
//   Records are sorted on every key field as stored bytes (the field codings compare as
//   unsigned bytes; NULL is all zero, so blank values come first; fk4.XG0). A case-insensitive
//   index stores its alpha index fields upper-cased (from the public description; the sample's
//   values were all upper case already); Shift-JIS trail bytes are never folded.
//   Blocks are filled completely in key order when built, like a rebuilt .DB (seen: the .DB
//   blocks of CUSTOMER and AREACODES; every .X sample has one block).
//
// .X header (file types 5 maintained .Xnn, 8 maintained .XGn, 3/6 not maintained):
// | Offset | Size | Meaning |
// |---|---|---|
// | 0x00 | 2 | record size |
// | 0x02 | 2 | 0x0800 |
// | 0x04 | 1 | file type 3/5 (.Xnn) or 6/8 (.XGn) |
// | 0x05 | 1 | block size in KiB: the .DB's (16 in AREACODES.XG0) |
// | 0x06 | 4 | record count (= the .DB's) |
// | 0x0A, 0x0C | 2, 2 | blocks in use, blocks in the file |
// | 0x0E, 0x10 | 2, 2 | first and last block (0 when empty) |
// | 0x12 | 2 | change counter (counter) |
// | 0x15 | 1 | table field number of the first index field |
// | 0x16 | 8 | two memory addresses of the engine (written 0) |
// | 0x21 | 2 | field count of the .X |
// | 0x23 | 2 | key field count of the .X |
// | 0x25 | 4 | 00 FF 00 FF |
// | 0x29 | 1 | sort-order byte (the .DB's) |
// | 0x2C | 1 | 0xFF |
// | 0x2D | 1 | stamp: the .Y's byte 0x2C when the pair was written together (fk1, fk4) |
// | 0x2E | 1 | stamp: the .DB's byte 0x2E when built |
// | 0x2F | 1 | stamp: the .PX's byte 0x2C when built (every sample) |
// | 0x30 | 8 | two memory addresses (written 0) |
// | 0x39 | 1 | file level (the .DB's) |
// | 0x3A | 2 | blocks in the file (again) |
// | 0x3E | 2 | 1F 0F |
// | 0x49 | 4 | counter (values 0..0x2C seen; not the .DB's autoincrement) |
// | 0x51 | 2 | header bytes used (end of the index name, or of the sort-order name) |
// | 0x55 | 1 | flags: 0x01 case-insensitive (AREACODES.XG0), 0x10 descending (inferred) |
// | 0x56 | 1 | 0x20 |
// | 0x58, 0x5A | 2, 2 | 0x0100 + level |
// | 0x60 | 4 | time of writing, seconds since 1970 (time stamp) |
// | 0x64 | 2 | highest number in the field-number list + 1 |
// | 0x66 | 2 | offset of the field-number list - 0x58 |
// | 0x68 | 2 | offset of the index name - 0x58 (.XGn), 0 (.Xnn) |
// | 0x6A | 2 | code page (the .DB's) |
// | 0x6C | 2 | 01 01 |
// | 0x6E | 2 | offset of the sort-order name - 0x58 |
// Variable part from 0x78 (levels 5 and up; older levels are not written):
//   field count × (type, size); a 4-byte table-name address; field count × 4-byte field-name
//   addresses (all written 0); the stored table name padded to 261 bytes (level 7) or 79;
//   the field names, NUL-terminated; field count × u16 field numbers: a table field number for
//   each index field, the .X's own field position (1-based) for every other field (CUSTOMER.X06:
//   6, 2, 3; fk4.XG0: 2, 4, 3, 4); the sort-order name; in .XGn the index name, NUL-terminated.
//   The stored table name is the name the table had when the index was made, with the
//   extension in upper case ("resttemp.X06", "areacodes.XG0" beside "resttemp.DB").
//
// The .Y file is to the .X what the .PX is to the .DB (seen): file type 4 (.Ynn) or 7 (.YGn),
// 2 KiB blocks, fields = the .X's key fields, entries = the key of the first record of each .X
// block followed by three shorts (block number, records in the block, 0), root block at 0x1E,
// levels at 0x20 (0 when empty, root 1). With more than one index block, upper levels point to
// the index blocks below and carry their summed record counts, laid out as the .PX's tree (see
// BlockIndex.h; no .Y sample has two levels). Header: as the .PX's: the shared fields of
// 0x00..0x57, then from 0x58 the field (type, size) pairs, a 4-byte address and the stored name
// ("resttemp.Y06").
//
// Checked by rebuilding: the .X and .Y built from the records of every sample above equal the
// engine's files byte for byte except 0x12-0x13, 0x16-0x1D, 0x2D-0x37, 0x49-0x4C, 0x60-0x63
// and the name addresses of the variable part (.X), and 0x12-0x13, 0x2C, 0x30-0x37, 0x49-0x4C
// and the name address (.Y): counters, stamps, the time of writing and memory addresses.
//
// Not found in any sample or public description: where a unique secondary index is marked.
// Such indexes are read and maintained like others, without the uniqueness test.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "paradox/ParadoxTable.h"
#include "paradox/TableSchema.h"

namespace paradox {

namespace index_format {
// The header's offsets are the table of ParadoxFormat.h (FileHeader.h reads and writes them);
// these are the .X's own values.
constexpr std::uint8_t kXMarker = 0xFF;  // 0x2C
constexpr std::uint8_t kFlagCaseInsensitive = 0x01;
constexpr std::uint8_t kFlagDescending = 0x10;
}  // namespace index_format

// One secondary index as the table layer defines it.
struct SecondaryIndexDef {
  std::string name;                 // empty for an .Xnn index (it bears its field's name)
  std::vector<std::size_t> fields;  // table field positions (0-based), in index order
  bool caseInsensitive = false;
  bool descending = false;
  bool unique = false;              // kept in memory only (see above)
  bool maintained = true;
};

// True when the index is kept in an .XGn pair (composite, case-insensitive, descending, or
// named other than its single field).
bool IsNamedIndexKind(const SecondaryIndexDef& def, const TableSchema& schema);

// The .X and .Y extensions ("X06"/"Y06", "XG0"/"YG0"). `sequence` is the .XGn number.
std::string IndexExtensionX(const SecondaryIndexDef& def, const TableSchema& schema, unsigned sequence);
std::string IndexExtensionY(std::string_view xExtension);

// Resolves field names (";"-separated, blanks around names ignored) against the schema;
// EDatabaseError when a name is missing.
std::vector<std::size_t> ResolveIndexFields(const TableSchema& schema, std::string_view fieldList);

// A field of an .X as its header records it: its name and its number (the table's field number
// for an index field, the .X's own position for the others).
struct StoredIndexField {
  std::string name;
  std::uint16_t number = 0;
};

// One secondary index of an existing table, as its .X file describes it.
struct SecondaryIndexFile {
  std::filesystem::path xPath, yPath;
  std::string extension;    // "X06", "XG0" in upper case
  SecondaryIndexDef def;
  std::string storedBase;   // stored table name without extension ("resttemp", "areacodes")
  std::string header;       // the .X header block as read (0x800 bytes)
  std::uint32_t recordCount = 0;
  // Every field of the .X as recorded; may name the table's former structure (see below).
  std::vector<StoredIndexField> storedFields;
};

// Reads the definition of the index in `xPath` against the table's schema. A file that is not
// an index of this table (fields that do not match, damaged header): EDBEngineError kCorruptFile.
// The real engine keeps index files through a restructure and goes on using them, so a stored
// name may be a renamed field's former one, and a stored number may count fields since
// inserted before it (seen in two real tables). Each index field is tied to the table field of
// its name (case ignored), else to the field of its number, with the type and size the .X
// records; the primary-key fields carried after them tie to the table's key fields in order,
// whatever their stored names. Files written again (maintenance, rebuild) record the table's
// current names and numbers.
SecondaryIndexFile ReadSecondaryIndexFile(const std::filesystem::path& xPath, const TableSchema& schema);

// Every secondary index of a table family, ordered by extension.
std::vector<SecondaryIndexFile> ReadSecondaryIndexes(const ParadoxTable& table);

// The record layout of an .X file. Its field names may repeat (an index on a primary-key field
// carries that field twice), so it is not a TableSchema.
struct IndexRecordLayout {
  std::vector<FieldDef> fields;
  std::vector<std::size_t> offsets, sizes;
  std::vector<std::uint16_t> fieldNumbers;  // the list stored in the header
  std::size_t recordSize = 0;
  std::size_t sortKeySize = 0;  // bytes of the key fields, which lead the record
  unsigned keyFields = 0;
  std::size_t indexFields = 0;
};
IndexRecordLayout MakeIndexRecordLayout(const TableSchema& table, const SecondaryIndexDef& def);

// The content of one index: its .X records, which lie one after the other in one buffer (an
// index of a large table has a million of them, and a heap block each would cost more than
// the records), given in key order once sorted.
class IndexEntries {
 public:
  IndexEntries(const TableSchema& table, const SecondaryIndexDef& def);

  const IndexRecordLayout& Layout() const { return layout_; }
  std::size_t SortKeySize() const { return layout_.sortKeySize; }
  // The .X record of a table record (block number and, for unkeyed tables, tuple values given).
  std::string EntryFor(const Record& record, std::uint16_t block, std::uint32_t tupleNumber = 0,
                       std::uint16_t tupleOffset = 0) const;
  // Adds the .X record of a table record, from the record's bytes as the data file stores
  // them (no record decoded), after the others; Sort() finds their key order.
  void AppendStored(std::string_view record, std::uint16_t block, std::uint32_t tupleNumber, std::uint16_t tupleOffset);
  void Reserve(std::size_t count) { bytes_.reserve(count * layout_.recordSize); }
  std::size_t Count() const { return bytes_.size() / layout_.recordSize; }
  // The record at place `i`: in key order once sorted, before that in the order added.
  std::string_view Entry(std::size_t i) const {
    const std::size_t at = order_.empty() ? i : order_[i];
    return std::string_view(bytes_).substr(at * layout_.recordSize, layout_.recordSize);
  }
  // Records first..first + count - 1, one after the other, to `out`.
  void CopyEntries(std::size_t first, std::size_t count, char* out) const;
  // Every record, Layout().recordSize bytes each, as the .X file's blocks hold them (a copy).
  std::string Bytes() const;
  // Finds the key order. The records stay where they are: moving a million of them into
  // order costs two accesses to memory at random each, and whoever reads them in order reads
  // each once anyway.
  void Sort();

 private:
  void AppendEntry(std::string& out, const Record& record, std::uint16_t block, std::uint32_t tupleNumber,
                   std::uint16_t tupleOffset) const;

  // Where an index field lies in the table's record, and whether its letters are folded.
  struct Span {
    std::size_t offset, size;
    bool fold;
  };

  const TableSchema* table_;
  SecondaryIndexDef def_;
  std::vector<Span> spans_;
  IndexRecordLayout layout_;
  std::string bytes_;
  std::vector<std::uint32_t> order_;  // the records' key order, once sorted
};

// What a freshly written index file pair carries besides its entries.
struct IndexFileStamps {
  std::string storedBase;        // table name to store, without extension
  std::uint8_t dbStamp = 0;      // the .DB's byte 0x2E
  std::uint8_t pxStamp = 0;      // the .PX's byte 0x2C
  std::uint8_t ownStamp = 0;     // the .Y's byte 0x2C (and the .X's 0x2D)
  std::uint32_t writeTime = 0;   // seconds since 1970
  std::uint16_t changeCount = 1;
  std::uint32_t counter = 1;
  std::uint8_t yBlockSizeKiB = 2;
};

// The bytes of an .X file and its .Y file.
struct IndexFilePair {
  std::string x, y;
};
IndexFilePair BuildIndexFiles(const TableSchema& table, const FileHeader& dbHeader, const SecondaryIndexDef& def,
                              const IndexEntries& entries, std::string_view xExtension, const IndexFileStamps& stamps);

// Writes the same to `xPath` and `yPath`, each durably, the .X first: a .Y never describes
// blocks its .X does not hold yet. The .X goes out a piece at a time, never whole in memory.
// Returns the .X's header block.
std::string WriteIndexFiles(const std::filesystem::path& xPath, const std::filesystem::path& yPath,
                            const TableSchema& table, const FileHeader& dbHeader, const SecondaryIndexDef& def,
                            const IndexEntries& entries, std::string_view xExtension, const IndexFileStamps& stamps);
constexpr std::size_t kIndexWritePieceBytes = 1u << 20;

// The first 0x78 bytes of a data file's header (the table opened shared or closed).
std::string ReadDataHeader(const std::filesystem::path& dataFile);

// Entries of several indexes are gathered in one pass over a table up to this many bytes; a
// larger table takes a pass per index, so that memory holds one index's entries at a time.
// A pass reads the whole table (half a gigabyte for a million customers), and the program is
// a 32-bit process: this lets two indexes of such a table share one pass and keeps its peak
// well below 256 MiB.
constexpr std::size_t kIndexEntriesTogetherBytes = 96u << 20;

// The .X records of every record of `table`, sorted (the table open in any mode).
IndexEntries CollectEntries(const ParadoxTable& table, const SecondaryIndexDef& def);
// The same for several indexes, in one pass over the table; in the order of `defs`.
std::vector<IndexEntries> CollectEntries(const ParadoxTable& table, const std::vector<SecondaryIndexDef>& defs);

// The sorted entries of each index of `defs`, handed to `use` with its place in `defs`, one
// index at a time and in order: gathered in as few passes over the table as `budgetBytes` of
// entries at once allow (an index larger than that alone), and freed by `use` before the
// next pass.
void CollectEntriesInBatches(const ParadoxTable& table, const std::vector<SecondaryIndexDef>& defs,
                             const std::function<void(std::size_t, IndexEntries&&)>& use,
                             std::size_t budgetBytes = kIndexEntriesTogetherBytes);

// Creates the empty index files of a new (empty) table for each definition, in order, and
// returns their .X paths. The .XGn numbers count from 0 in the order given.
std::vector<std::filesystem::path> CreateSecondaryIndexes(const std::filesystem::path& dataFile,
                                                          const std::vector<SecondaryIndexDef>& defs);

// Checks every secondary index of the table at `dataFile` (opened shared) against its records:
// the .X holds one record per table record, in key order, with the right block numbers, and
// the .Y's tree, read from its root, lists the .X's blocks and its chain is whole. The first fault
// found, or std::nullopt when all are sound.
std::optional<std::string> CheckSecondaryIndexes(const std::filesystem::path& dataFile);

// Keeps every secondary index of an open table up to date. Attaching reads each index's
// definition and writes nothing. A stored or removed record marks the indexes changed; Flush()
// (the table's flush and close) builds each changed index from the records by sorting and
// writes it, so an index left stale by an interrupted program is repaired at the first write.
class SecondaryIndexSet final : public IndexMaintainer {
 public:
  // Attaches itself as `table`'s maintainer; detach by destroying it after the table closed.
  // nullptr when an index is of a kind this engine cannot keep (the table then stays read only).
  static std::unique_ptr<SecondaryIndexSet> Attach(ParadoxTable& table);
  ~SecondaryIndexSet() override;

  std::size_t IndexCount() const { return indexes_.size(); }
  const SecondaryIndexFile& Index(std::size_t i) const { return indexes_.at(i).file; }

  void BeforeInsert(const Record& record) override;
  void AfterInsert(const Record& record, std::uint16_t block) override;
  void AfterDelete(const Record& record) override;
  void Flush() override;

 private:
  struct Live {
    SecondaryIndexFile file;
    bool dirty = false;
    // A unique index's values with their record counts, counted at its first test.
    bool uniqueCounted = false;
    std::unordered_map<std::string, int> uniqueValues;
  };
  explicit SecondaryIndexSet(ParadoxTable& table) : table_(&table) {}
  void WriteOne(Live& live, IndexEntries&& collected);
  std::string UniqueValue(const Live& live, const Record& record) const;
  void CountUniqueValues(Live& live);

  ParadoxTable* table_;
  std::vector<Live> indexes_;
};

}  // namespace paradox
