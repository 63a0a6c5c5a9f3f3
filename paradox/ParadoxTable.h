#pragma once
// A Paradox table: its data file (.DB), memo file (.MB) and primary index (.PX).
//
// Opening reads and validates the header and walks the whole block chain (counts, links,
// loops, bounds); a damaged file gives EDBEngineError kCorruptFile naming the file, the fault
// and its offset, and is never written to. Records are addressed by their position in the
// block chain (0-based), which for a keyed table is ascending primary-key order.
//
// Writing needs an exclusive open. Keyed tables keep their records in key order along the
// chain; a record is placed by a binary search over the block directory (the .PX's content,
// held in memory) and then inside one block, so storing and the key-violation test cost
// O(log n) comparisons and one block read. A duplicate key raises EDBEngineError
// kKeyViolation "Key violation." and changes nothing.
//
// Write order, so that a failure at any point leaves a readable table: blob data goes to new
// space of the .MB first; then data blocks that nothing references yet (a split's new block);
// then the blocks already in the chain; then the .DB header (counts, chain ends, change
// counter); the .PX last (it is derived data, rebuilt from the chain when stale).
//
// Secondary indexes (.Xnn/.Ynn/.XGn/.YGn) are maintained through an IndexMaintainer. A table
// that has such files and no maintainer is readable but refuses every write with
// EDBEngineError kReadOnly, so its indexes never go stale.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "paradox/LanguageDriver.h"
#include "paradox/Record.h"
#include "paradox/TableSchema.h"

namespace paradox {

class BinaryFile;
class MemoFile;
struct IndexEntry;

// The .DB header values, as read from or about to be written to the file.
struct TableHeader {
  std::uint16_t recordSize = 0;
  std::uint16_t headerSize = 0x800;
  std::uint8_t fileType = 0;
  std::uint8_t blockSizeKiB = 2;
  std::uint32_t recordCount = 0;
  std::uint16_t blocksInUse = 0;
  std::uint16_t fileBlocks = 0;
  std::uint16_t firstBlock = 0;
  std::uint16_t lastBlock = 0;
  std::uint16_t changeCount = 0;       // 0x12
  std::uint8_t modified = 0;           // 0x14
  std::uint8_t structureChanges = 0;   // 0x2D
  std::uint8_t level = 0;              // 0x39
  std::uint32_t autoIncrement = 0;     // 0x49
  std::uint16_t firstFreeBlock = 0;    // 0x4D
  std::uint32_t encryption = 0;        // 0x5C
  std::string tableName;               // as stored (often a temporary name of the engine)
};

// Called by the table on every stored, replaced or removed record, inside the operation and
// after the primary-key checks: a throw from Before* refuses the operation with nothing
// written; After* runs once the data file holds the change.
class IndexMaintainer {
 public:
  virtual ~IndexMaintainer() = default;
  virtual void BeforeInsert(const Record& record) { (void)record; }
  virtual void AfterInsert(const Record& record, std::uint16_t block) = 0;
  virtual void AfterDelete(const Record& record) = 0;
  // Called by Flush() and when the table closes.
  virtual void Flush() {}
};

enum class OpenMode {
  kShared,     // read only; other programs may read too, no program may hold it exclusively
  kExclusive,  // read and write; no other program may open it at all
};

class ParadoxTable {
 public:
  // Opens the data file at `dataFile` (an exact path; see TableFamily.h to find one by name).
  // Missing: kFileNotFound. Held by another program in a conflicting mode: kFileLocked
  // "Table is busy.". Damaged: kCorruptFile.
  static std::unique_ptr<ParadoxTable> Open(const std::filesystem::path& dataFile, OpenMode mode);

  // Creates an empty table at `dataFile`, first removing the data file and every family file
  // of that name (old indexes, memo, .VAL ...). Writes the .DB, and the .PX for a keyed table;
  // the .MB when the table has blob fields. Does not open it.
  static void Create(const std::filesystem::path& dataFile, const TableDefinition& def);

  ~ParadoxTable();  // flushes (errors then are swallowed; call Close() to see them)
  ParadoxTable(const ParadoxTable&) = delete;
  ParadoxTable& operator=(const ParadoxTable&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  const TableHeader& Header() const { return header_; }
  const TableSchema& Schema() const { return *schema_; }
  const std::shared_ptr<const TableSchema>& SchemaPtr() const { return schema_; }
  const LanguageDriver& Driver() const { return schema_->Definition().driver; }
  OpenMode Mode() const { return mode_; }
  std::uint32_t RecordCount() const { return recordCount_; }
  // Existing secondary index files of the family.
  std::vector<std::filesystem::path> SecondaryIndexFiles() const;

  // A blank record of this table's structure.
  Record NewRecord() const;
  // The record at `position` (0-based, chain order), blobs read in full from the .MB.
  // Out of range: EDatabaseError. A damaged block or memo: kCorruptFile.
  Record ReadRecord(std::uint32_t position) const;
  // Every record in chain order; stops early when `visit` returns false.
  void ForEachRecord(const std::function<bool(const Record&)>& visit) const;

  // The position of the record whose primary key equals `key`'s (keyed tables only).
  std::optional<std::uint32_t> FindKey(const Record& key) const;

  // One entry per non-empty data block in chain order: its first key, number and record
  // count (what the .PX's lowest level must hold).
  std::vector<IndexEntry> PrimaryIndexEntries() const;

  // Why this table cannot be written, or std::nullopt when it can.
  std::optional<std::string> WriteRefusal() const;

  // Stores `record` (its schema must be this table's) and returns its position. Keyed: at its
  // key's place; unkeyed: after the last record. Autoincrement fields left NULL get the next
  // value. Key violation: kKeyViolation, nothing written.
  std::uint32_t Insert(const Record& record);
  // Replaces the record at `position`; a changed key moves it (a key violation leaves the old
  // record in place).
  std::uint32_t Update(std::uint32_t position, const Record& record);
  void Delete(std::uint32_t position);

  void SetIndexMaintainer(IndexMaintainer* maintainer) { maintainer_ = maintainer; }

  // Writes what is pending (the .PX, the memo header) and asks the system to flush the files.
  void Flush();
  void Close();

 private:
  struct BlockEntry {
    std::uint16_t number = 0;
    std::uint16_t count = 0;
    std::string firstKey;  // keyed tables
  };
  struct Impl;

  ParadoxTable() = default;
  void Load();
  std::string ReadBlock(std::uint16_t number) const;
  void WriteBlock(std::uint16_t number, const std::string& bytes);
  void WriteHeader();
  void CountChange();
  void WritePrimaryIndex(bool sync = false);
  void RequireWritable() const;
  std::pair<std::size_t, std::uint32_t> Locate(std::uint32_t position) const;
  std::uint32_t FirstPositionOf(std::size_t entry) const;
  std::string RecordBytesForStore(const Record& record, std::string* oldBytes);
  void ReadBlobs(Record& r) const;
  void ReleaseBlobs(std::string_view recordBytes);
  std::uint16_t AllocateBlock();
  void FreeBlock(std::uint16_t number);
  [[noreturn]] void Corrupt(const std::string& what, std::optional<std::uint64_t> offset) const;

  std::filesystem::path path_;
  OpenMode mode_ = OpenMode::kShared;
  std::unique_ptr<BinaryFile> db_;
  std::unique_ptr<MemoFile> mb_;
  std::shared_ptr<const TableSchema> schema_;
  TableHeader header_;
  std::string headerBytes_;  // the header block as read; unknown bytes are kept
  std::vector<BlockEntry> chain_;
  std::vector<std::uint32_t> prefix_;  // records before chain_[i]
  std::vector<std::uint16_t> freeBlocks_;
  std::uint32_t recordCount_ = 0;
  bool indexDirty_ = false;
  bool damaged_ = false;
  bool changeCounted_ = false;  // the change counter moves once per open
  std::vector<std::filesystem::path> secondaryIndexes_;
  IndexMaintainer* maintainer_ = nullptr;
  mutable std::uint16_t cachedBlock_ = 0;
  mutable std::string cachedBytes_;
};

}  // namespace paradox
