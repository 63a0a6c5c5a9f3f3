#pragma once
// A Paradox table: its data file (.DB), memo file (.MB) and primary index (.PX).
//
// Opening reads and validates the header and walks the whole block chain (counts, links,
// loops, bounds); a damaged file gives EDBEngineError kCorruptFile naming the file, the fault
// and its offset, and is never written to. Records are addressed by their position in the
// block chain (0-based), which for a keyed table is ascending primary-key order.
//
// Writing needs an exclusive open. Keyed tables keep their records in key order along the
// chain; a record is placed by a binary search over the block directory (held in memory) and
// then inside one block. A duplicate key raises EDBEngineError kKeyViolation "Key violation."
// and changes nothing. Records stored with Stage() are checked at once and placed later, in
// key order, at the next read or flush (see StagedRecords.h): the way to load many records.
//
// Blocks are changed in memory (BlockCache.h) and written when they leave it or at Flush().
// The .PX and the secondary indexes are derived data, written once per flush from the chain.
// From its first change until its flush completes the table carries the "modified" mark in
// its header (0x14), on the disk before any block is changed; a table found with the mark was
// left by a writer that did not finish and is refused when opened (kCorruptFile), so it is
// never read as if it were sound. A flush writes the data blocks, the memo file, the .PX, the
// secondary indexes and last the header without the mark, each file flushed to the disk.
//
// Secondary indexes (.Xnn/.Ynn/.XGn/.YGn) are maintained through an IndexMaintainer. A table
// that has such files and no maintainer is readable but refuses every write with
// EDBEngineError kReadOnly, so its indexes never go stale.

#include <exception>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "paradox/FileHeader.h"
#include "paradox/LanguageDriver.h"
#include "paradox/Record.h"
#include "paradox/TableSchema.h"

namespace paradox {

class BinaryFile;
class BlockCache;
class MemoFile;
class StagedRecords;
struct IndexEntry;

// Called by the table on every stored, replaced or removed record, inside the operation and
// after the primary-key checks: a throw from Before* refuses the operation with nothing
// written; After* runs once the data file holds the change.
class IndexMaintainer {
 public:
  virtual ~IndexMaintainer() = default;
  virtual void BeforeInsert(const Record& record) { (void)record; }
  // `record` as stored, its blobs not read (no index covers a blob field); `block` is where it went.
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
  // the .MB when the table has blob fields. Does not open it. Refused (kReplacementPending)
  // while a swap journal names the table as its new or old one, or a restructure journal of the
  // table is pending: those are settled first (TableSwap.h, Restructure.h).
  static void Create(const std::filesystem::path& dataFile, const TableDefinition& def);

  ~ParadoxTable();  // flushes (errors then are swallowed; call Close() to see them)
  ParadoxTable(const ParadoxTable&) = delete;
  ParadoxTable& operator=(const ParadoxTable&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  const FileHeader& Header() const { return header_; }
  // The table name stored in the header (often a temporary name of the engine).
  const std::string& StoredName() const { return storedName_; }
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
  // The same into `into`, whose buffers are reused (a pass over the table allocates nothing).
  void ReadRecord(std::uint32_t position, Record& into) const;
  // Every record in chain order; stops early when `visit` returns false. With Blobs::kSkip the
  // .MB is not read and the records' blob fields read as empty: for work on the other fields
  // only (index entries), which need not pay for reading every blob.
  enum class Blobs { kRead, kSkip };
  void ForEachRecord(const std::function<bool(const Record&)>& visit, Blobs blobs = Blobs::kRead) const;
  // Every non-empty data block in chain order: its number and its records' bytes as the file
  // stores them (record count × record size), neither copied nor decoded; stops early when
  // `visit` returns false. The bytes lie in the block cache: `visit` must not use this table.
  void ForEachBlock(const std::function<bool(std::uint16_t block, std::string_view records)>& visit) const;

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
  // Stores `record` like Insert, checked at once (key violation, autoincrement, blobs written),
  // but placed in the chain only at the next read or flush. `record` then holds the bytes as
  // stored (its blobs as given); on failure it is left as it was. An unkeyed table places it at
  // once (after the last record); so does a table that held no record while the keys arrive in
  // ascending order, which leaves the same bytes as placing them later would and spares
  // holding them meanwhile.
  void Stage(Record& record);
  std::size_t StagedCount() const;
  // Replaces the record at `position`: in place when the key is unchanged; otherwise the new
  // record is stored first and the old one removed after (a key violation, or any failure to
  // store, leaves the old record in place). Returns the record's position.
  std::uint32_t Update(std::uint32_t position, const Record& record);
  void Delete(std::uint32_t position);

  void SetIndexMaintainer(IndexMaintainer* maintainer) { maintainer_ = maintainer; }

  // Places staged records and writes every change: data blocks, memo, .PX, secondary indexes,
  // then the header without the "modified" mark; each file is flushed to the disk.
  void Flush();
  void Close();

 private:
  struct BlockEntry {
    std::uint16_t number = 0;
    std::uint16_t count = 0;
    std::string firstKey;  // keyed tables
  };

  ParadoxTable() = default;
  void Load();
  void LoadHeader();
  TableDefinition LoadDefinition();
  void LoadChain();
  void LoadFreeList(std::vector<char>& seen);
  std::size_t BlockBytes() const { return header_.BlockBytes(); }
  std::size_t RecordsPerBlock() const;
  // Marks the table failed when an exception leaves the change it covers: blocks, chain and
  // indexes may then disagree, and the "modified" mark must stay on the disk.
  class ChangeScope {
   public:
    explicit ChangeScope(bool& failed) : failed_(&failed), exceptions_(std::uncaught_exceptions()) {}
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;
    ~ChangeScope() {
      if (std::uncaught_exceptions() > exceptions_) *failed_ = true;
    }

   private:
    bool* failed_;
    int exceptions_;
  };
  // Puts the "modified" mark on the disk before the first change; the scope it returns covers
  // the change that follows.
  [[nodiscard]] ChangeScope BeginChange();
  void WriteHeader(bool modified);
  void WritePrimaryIndex();
  void RequireWritable() const;
  void PlaceStaged() const;
  void PlaceAll();
  bool StartsInOrderLoad() const;
  void CheckRoomToStage() const;
  StagedRecords& StagedBuffer(std::size_t recordSize);
  void StageInOrderLoad();
  std::pair<std::size_t, std::uint32_t> Locate(std::uint32_t position) const;
  std::uint32_t PositionOf(std::size_t entry, std::size_t slot) const;
  std::size_t EntryForKey(std::string_view key) const;
  std::optional<std::size_t> SlotOfKey(std::size_t entry, std::string_view key, bool* found) const;
  bool ChainHasKey(std::string_view key) const;
  void RefreshEmptyKeys(std::size_t entry);
  void PrepareBytes(const Record& record, std::string& bytes);
  void CompleteBytes(const Record& record, std::string& bytes);
  struct Placed {
    std::size_t entry = 0;
    std::size_t slot = 0;
    std::uint16_t block = 0;
  };
  struct Spot {
    std::size_t entry = 0;
    std::size_t slot = 0;
    bool taken = false;  // a record with the same key is there
  };
  Spot SpotFor(std::string_view bytes) const;
  Placed PlaceRecord(std::string_view bytes);
  Placed PlaceAt(const Spot& spot, std::string_view bytes);
  Placed PlaceInBlock(std::size_t entry, std::size_t slot, std::string_view bytes);
  Placed SplitBlock(std::size_t entry, std::size_t slot, std::string_view bytes);
  Placed StartBlockAfter(std::size_t entry, std::uint16_t nb, std::string_view bytes);
  void RemoveAt(std::size_t entry, std::uint32_t slot);
  void NotifyInserted(std::string_view bytes, std::uint16_t block);
  void ReadBlobs(Record& r) const;
  void ReleaseBlobs(std::string_view recordBytes);
  std::uint16_t AllocateBlock();
  void FreeBlock(std::uint16_t number);
  [[noreturn]] void Corrupt(const std::string& what, std::optional<std::uint64_t> offset) const;

  std::filesystem::path path_;
  OpenMode mode_ = OpenMode::kShared;
  std::unique_ptr<BinaryFile> db_;
  std::unique_ptr<MemoFile> mb_;
  std::unique_ptr<BlockCache> cache_;
  std::unique_ptr<StagedRecords> staged_;
  // Stage() into a table without records placing records whose keys ascend (see Stage).
  struct InOrderLoad {
    bool active = false;
    std::uint16_t fileBlocksBefore = 0;
    std::string lastKey;
  };
  mutable InOrderLoad inOrder_;
  std::shared_ptr<const TableSchema> schema_;
  std::vector<std::size_t> blobFields_, autoIncrementFields_;  // looked at for every record
  FileHeader header_;
  std::string storedName_;
  std::string headerBytes_;  // the header block as read; unknown bytes are kept
  // The block directory in chain order. An empty block (found in files of other programs)
  // carries the first key of the block before it, so the keys stay ordered for the search.
  std::vector<BlockEntry> chain_;
  mutable std::vector<std::uint32_t> prefix_;  // records before chain_[i], when prefixValid_
  mutable bool prefixValid_ = false;
  std::vector<std::uint16_t> freeBlocks_;  // in list order; the front is header 0x4D
  std::uint32_t recordCount_ = 0;          // placed and staged
  bool changeCounted_ = false;             // the change counter moves once per open
  bool marked_ = false;                    // the header on the disk carries the "modified" mark
  bool failed_ = false;                    // a change stopped halfway; the mark must stay
  std::vector<std::filesystem::path> secondaryIndexes_;
  IndexMaintainer* maintainer_ = nullptr;
  // Buffers reused by every record stored, so that storing allocates nothing per record.
  std::string recordBytes_;
  std::string blobField_;
  std::unique_ptr<Record> notified_;
};

}  // namespace paradox
