#include "paradox/ParadoxTable.h"

#include <algorithm>
#include <cstring>

#include "paradox/BinaryFile.h"
#include "paradox/BlockHead.h"
#include "paradox/DurableFile.h"
#include "paradox/BlockCache.h"
#include "paradox/EngineError.h"
#include "paradox/MemoFile.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/StagedRecords.h"
#include "paradox/Restructure.h"
#include "paradox/TableFamily.h"
#include "paradox/TableSwap.h"
#include "paradox/VariablePart.h"
#include "text/Utf8Path.h"

namespace fs = std::filesystem;

namespace paradox {

namespace {

using namespace format;


// The blocks a data file may have. A .PX entry holds its block number as a table short,
// whose positive values end at 32,767; an unkeyed table has no .PX and uses all 16 bits.
unsigned MaxBlocks(bool keyed) { return keyed ? 0x7FFF : 0xFFFF; }

BlockHead HeadOf(const std::string& block) { return BlockHead::Decode(block.data()); }
void SetHead(std::string& block, const BlockHead& h) { h.Encode(block.data()); }

// Where a header field lies, for the messages that point at a fault.
template <typename T>
std::size_t At(T FileHeader::*field) {
  return FileHeader::OffsetOf(field);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Header

std::string BuildTableHeader(const TableSchema& schema, FileHeader h, const std::string& tableName) {
  const auto& def = schema.Definition();
  const std::uint8_t level = h.level;
  const std::size_t nf = schema.FieldCount();
  VariablePart v;
  for (std::size_t i = 0; i < nf; ++i) {
    const FieldDef& f = def.fields[i];
    v.fields.push_back({static_cast<std::uint8_t>(f.type), f.size, 0, f.name, static_cast<std::uint16_t>(i + 1)});
  }
  v.tableName = tableName;
  v.sortOrderName = def.driver.sortOrderName;
  const std::string var = v.Encode(level);
  const VariablePart::Layout layout = v.LayoutAt(level);
  const std::size_t start = VariablePart::Start(level);
  const std::size_t fieldNumbersAt = start + layout.fieldNumbers;
  const std::size_t sortNameAt = start + layout.sortOrderName;
  const std::size_t used = start + layout.size;
  const std::size_t blocks = (used + kHeaderBlockSize - 1) / kHeaderBlockSize;
  std::size_t headerSize = std::max<std::size_t>(h.headerSize, blocks * kHeaderBlockSize);

  h.recordSize = static_cast<std::uint16_t>(schema.RecordSize());
  h.headerSize = static_cast<std::uint16_t>(headerSize);
  h.fileType = schema.KeyFieldCount() > 0 ? kFileKeyedDb : kFileUnkeyedDb;
  h.fieldCount = static_cast<std::uint16_t>(nf);
  h.keyFieldCount = static_cast<std::uint16_t>(schema.KeyFieldCount());
  if (level >= 5) h.marker = kLevel4Marker;
  h.sortOrder = def.driver.sortOrder;
  h.fileBlocksAgain = h.fileBlocks;
  h.dbMarker = kDbMarker;
  h.usedSize = static_cast<std::uint16_t>(used);
  h.dbMarker2 = kDbMarker2;
  h.longPart = FileHeader::HasLongPart(h.fileType, level);
  if (h.longPart) {
    h.levelWord1 = static_cast<std::uint16_t>(0x0100 + level);
    h.levelWord2 = h.levelWord1;
    h.fieldCountPlus1 = static_cast<std::uint16_t>(nf + 1);
    h.fieldNumbersAt = static_cast<std::uint16_t>(fieldNumbersAt - kVariablePartShort);
    h.codePage = def.driver.codePage;
    h.ones = kOnes;
    h.sortNameAt = static_cast<std::uint16_t>(sortNameAt - kVariablePartShort);
    h.sortNameOne = 1;
  }
  std::string b(headerSize, '\0');
  h.Encode(b);
  b.replace(start, var.size(), var);
  return b;
}

// ---------------------------------------------------------------------------------------
// Opening

namespace {

// Bytes of blocks a table holds in memory; beyond it the least recently used are written out.
constexpr std::size_t kBlockCacheBytes = 8u << 20;
// Bytes of staged records held in memory before they go to sorted runs on the disk.
constexpr std::size_t kStagedMemoryBytes = 32u << 20;

}  // namespace

void ParadoxTable::Corrupt(const std::string& what, std::optional<std::uint64_t> offset) const {
  RaiseEngineError(EngineMessage::kCorruptHeader, what, PathText(path_), offset);
}

std::unique_ptr<ParadoxTable> ParadoxTable::Open(const fs::path& dataFile, OpenMode mode) {
  std::unique_ptr<ParadoxTable> t(new ParadoxTable());
  t->path_ = dataFile;
  t->mode_ = mode;
  FileAccess access = mode == OpenMode::kExclusive ? FileAccess::kReadWriteExclusive : FileAccess::kReadShared;
  t->db_ = BinaryFile::Open(dataFile, access);
  t->Load();
  for (const auto& p : FindFamilyFiles(dataFile)) {
    std::string ext = p.extension().string();
    auto m = ClassifyFamilyExtension(ext);
    if (m == FamilyMember::kSecondaryIndex) t->secondaryIndexes_.push_back(p);
  }
  if (t->schema_->HasBlobs()) {
    fs::path mb = FamilyMemberPath(dataFile, ".MB");
    std::error_code ec;
    if (!fs::exists(mb, ec))
      RaiseEngineError(EngineMessage::kMemoNotFound, {}, PathText(mb));
    t->mb_ = std::make_unique<MemoFile>(BinaryFile::Open(mb, access));
  }
  return t;
}

void ParadoxTable::Load() {
  LoadHeader();
  TableDefinition def = LoadDefinition();
  try {
    schema_ = std::make_shared<TableSchema>(def);
  } catch (const EDBEngineError& e) {
    Corrupt(std::string("field descriptors: ") + e.what(), VariablePart::Start(header_.level));
  }
  for (std::size_t f = 0; f < schema_->FieldCount(); ++f) {
    if (IsBlobType(schema_->Field(f).type)) blobFields_.push_back(f);
    if (schema_->Field(f).type == FieldType::kAutoIncrement) autoIncrementFields_.push_back(f);
  }
  const std::size_t blockSize = BlockBytes();
  const std::uint64_t available = (db_->Size() - header_.headerSize) / blockSize;
  if (header_.fileBlocks > available)
    Corrupt("header counts " + std::to_string(header_.fileBlocks) + " blocks, the file holds " + std::to_string(available),
            At(&FileHeader::fileBlocks));
  cache_ = std::make_unique<BlockCache>(*db_, header_.headerSize, blockSize, kBlockCacheBytes);
  LoadChain();
}

void ParadoxTable::LoadHeader() {
  const std::uint64_t fileSize = db_->Size();
  const auto fixedBytes = static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kVariablePartShort));
  header_ = FileHeader::Decode(db_->Read(0, fixedBytes), PathText(path_));
  const FileHeader& h = header_;
  if (h.fileType != kFileKeyedDb && h.fileType != kFileUnkeyedDb)
    Corrupt("file type " + std::to_string(h.fileType) + " is not a data file", At(&FileHeader::fileType));
  if (h.modified != 0)
    RaiseEngineError(EngineMessage::kTableDamaged, "it carries the mark of a program that stopped while writing it",
                     PathText(path_), At(&FileHeader::modified));
  if (h.level < 3 || h.level > 0x0C)
    Corrupt("unknown file level " + std::to_string(h.level), At(&FileHeader::level));
}

TableDefinition ParadoxTable::LoadDefinition() {
  FileHeader& h = header_;
  const std::uint64_t fileSize = db_->Size();
  const unsigned nf = h.fieldCount;
  const unsigned nk = h.keyFieldCount;
  if (nf == 0 || nf > 255) Corrupt("field count " + std::to_string(nf), At(&FileHeader::fieldCount));
  if (nk > nf || (h.fileType == kFileKeyedDb) != (nk > 0))
    Corrupt("key field count " + std::to_string(nk) + " does not fit file type " + std::to_string(h.fileType),
            At(&FileHeader::keyFieldCount));
  const std::size_t minimum = VariablePart::MinimumHeaderSize(nf, h.level);
  if (h.headerSize < minimum || h.headerSize > fileSize)
    Corrupt("header size " + std::to_string(h.headerSize) + " (file " + std::to_string(fileSize) + " bytes, fields need " +
                std::to_string(minimum) + ")",
            At(&FileHeader::headerSize));
  headerBytes_ = db_->Read(0, h.headerSize);
  h = FileHeader::Decode(headerBytes_, PathText(path_));
  if (h.longPart && h.encryption != 0)
    RaiseEngineError(EngineMessage::kEncrypted, {}, PathText(path_), At(&FileHeader::encryption));

  const VariablePart v = VariablePart::Decode(headerBytes_, nf, h.level, PathText(path_));
  TableDefinition def;
  def.keyFieldCount = nk;
  def.level = h.level;
  def.blockSizeKiB = h.blockSizeKiB;
  const std::size_t start = VariablePart::Start(h.level);
  for (unsigned i = 0; i < nf; ++i) {
    const VariablePart::Field& f = v.fields[i];
    if (!StoredFieldSize(f.type, f.size))
      Corrupt("field " + std::to_string(i + 1) + " has type " + std::to_string(f.type) + " and size " + std::to_string(f.size),
              start + kVarFieldDescriptorSize * i);
    def.fields.push_back(FieldDef::Of(f.name.empty() ? "Field" + std::to_string(i + 1) : f.name, static_cast<FieldType>(f.type), f.size));
  }
  storedName_ = v.tableName;
  const std::uint16_t codePage = h.longPart ? h.codePage : 437;
  def.driver = DriverFromHeader(h.sortOrder, codePage, v.sortOrderName);

  // Duplicate names occur in no table the engine writes; accept them for reading anyway.
  std::size_t sum = 0;
  for (const auto& f : def.fields) sum += *StoredFieldSize(static_cast<std::uint8_t>(f.type), f.size);
  if (sum != h.recordSize)
    Corrupt("record size " + std::to_string(h.recordSize) + " does not match the fields' " + std::to_string(sum) + " bytes",
            At(&FileHeader::recordSize));
  return def;
}

void ParadoxTable::LoadChain() {
  const FileHeader& h = header_;
  const std::size_t perBlock = RecordsPerBlock();
  const bool keyed = schema_->KeyFieldCount() > 0;
  std::vector<char> seen(h.fileBlocks + 1u, 0);
  chain_.clear();
  std::uint16_t prev = 0;
  std::uint32_t total = 0;
  std::string lastKey;
  for (std::uint16_t b = h.firstBlock; b != 0;) {
    const std::uint64_t off = h.BlockOffset(b);
    if (b > h.fileBlocks)
      Corrupt("block chain points to block " + std::to_string(b) + " past the last block " + std::to_string(h.fileBlocks),
              prev == 0 ? std::optional<std::uint64_t>(At(&FileHeader::firstBlock)) : std::nullopt);
    if (seen[b]) Corrupt("block chain loops back to block " + std::to_string(b), off);
    seen[b] = 1;
    const BlockHead bh = HeadOf(db_->Read(off, BlockHead::kSize));
    if (bh.previous != prev)
      Corrupt("block " + std::to_string(b) + " links back to " + std::to_string(bh.previous) + " instead of " + std::to_string(prev),
              off + BlockHead::OffsetOf(&BlockHead::previous));
    const std::optional<std::size_t> count = bh.RecordCount(h.recordSize, perBlock);
    if (!count)
      Corrupt("block " + std::to_string(b) + " claims " + std::to_string(bh.addDataSize) + " bytes of records",
              off + BlockHead::OffsetOf(&BlockHead::addDataSize));
    BlockEntry e;
    e.number = b;
    e.count = static_cast<std::uint16_t>(*count);
    if (keyed && e.count > 0) lastKey = db_->Read(off + BlockHead::kSize, schema_->KeySize());
    if (keyed) e.firstKey = lastKey;
    total += e.count;
    chain_.push_back(std::move(e));
    prev = b;
    b = bh.next;
  }
  if (prev != h.lastBlock)
    Corrupt("last block is " + std::to_string(h.lastBlock) + " in the header but " + std::to_string(prev) + " in the chain",
            At(&FileHeader::lastBlock));
  if (total != h.recordCount)
    Corrupt("record count " + std::to_string(h.recordCount) + " in the header, " + std::to_string(total) + " in the blocks",
            At(&FileHeader::recordCount));
  recordCount_ = total;
  prefixValid_ = false;
  LoadFreeList(seen);
}

void ParadoxTable::LoadFreeList(std::vector<char>& seen) {
  freeBlocks_.clear();
  for (std::uint16_t b = header_.firstFreeBlock; b != 0;) {
    if (b > header_.fileBlocks || seen[b])
      Corrupt("free block list reaches block " + std::to_string(b) + ", which is past the end or already in use",
              At(&FileHeader::firstFreeBlock));
    seen[b] = 1;
    freeBlocks_.push_back(b);
    b = HeadOf(db_->Read(header_.BlockOffset(b), BlockHead::kSize)).next;
  }
}

std::size_t ParadoxTable::RecordsPerBlock() const { return (BlockBytes() - BlockHead::kSize) / header_.recordSize; }

ParadoxTable::~ParadoxTable() {
  try {
    Close();
  } catch (...) {
  }
}

void ParadoxTable::Close() {
  if (!db_) return;
  Flush();
  staged_.reset();
  cache_.reset();
  mb_.reset();
  db_.reset();
}

void ParadoxTable::Flush() {
  // A table only read leaves every byte of its files as it found them.
  if (!db_ || mode_ != OpenMode::kExclusive || !marked_) return;
  if (failed_)
    RaiseEngineError(EngineMessage::kChangeUnfinished, {}, PathText(path_));
  PlaceAll();
  cache_->WriteBack();
  db_->Sync();
  if (mb_) mb_->Flush();
  WritePrimaryIndex();
  if (maintainer_) maintainer_->Flush();
  WriteHeader(false);
  db_->Sync();
  marked_ = false;
}

std::vector<fs::path> ParadoxTable::SecondaryIndexFiles() const { return secondaryIndexes_; }

// ---------------------------------------------------------------------------------------
// Reading

void ParadoxTable::PlaceStaged() const {
  // Once read, records stay where they are: a later one out of order is placed among them.
  inOrder_.active = false;
  // Placing staged records changes where records lie, not which records the table holds.
  if (staged_ && staged_->Count() > 0) const_cast<ParadoxTable*>(this)->PlaceAll();
}

std::pair<std::size_t, std::uint32_t> ParadoxTable::Locate(std::uint32_t position) const {
  if (!prefixValid_) {
    prefix_.assign(chain_.size(), 0);
    std::uint32_t run = 0;
    for (std::size_t i = 0; i < chain_.size(); ++i) {
      prefix_[i] = run;
      run += chain_[i].count;
    }
    prefixValid_ = true;
  }
  auto it = std::upper_bound(prefix_.begin(), prefix_.end(), position);
  std::size_t e = static_cast<std::size_t>(it - prefix_.begin()) - 1;
  while (chain_[e].count == 0 || position - prefix_[e] >= chain_[e].count) ++e;  // skip empty blocks
  return {e, position - prefix_[e]};
}

std::uint32_t ParadoxTable::PositionOf(std::size_t entry, std::size_t slot) const {
  // Appending at the end is the common case and needs no count over the chain.
  if (entry + 1 == chain_.size()) return recordCount_ - chain_[entry].count + static_cast<std::uint32_t>(slot);
  Locate(0);
  return prefix_[entry] + static_cast<std::uint32_t>(slot);
}

Record ParadoxTable::NewRecord() const { return Record(schema_); }

void ParadoxTable::ReadBlobs(Record& r) const {
  for (std::size_t f : blobFields_) {
    std::string_view raw = r.Raw(f);
    const std::size_t leader = BlobTail::LeaderSize(raw.size());
    const BlobTail tail = BlobTail::Decode(raw);
    const std::uint32_t ptr = tail.pointer, len = tail.length;
    if (len == 0) continue;
    if (ptr == 0) {
      if (len > leader)
        RaiseEngineError(EngineMessage::kCorruptMemo,
                         "field " + schema_->Field(f).name + " holds " + std::to_string(len) + " bytes without a memo file pointer",
                         PathText(path_));
      r.AttachBlob(f, raw.substr(0, len));
    } else {
      r.AttachBlob(f, mb_->ReadBlob(ptr, len));
    }
  }
}

Record ParadoxTable::ReadRecord(std::uint32_t position) const {
  Record r(schema_);
  ReadRecord(position, r);
  return r;
}

void ParadoxTable::ReadRecord(std::uint32_t position, Record& into) const {
  if (position >= recordCount_)
    RaiseDatabaseError("Record position " + std::to_string(position) + " is past the last record");
  if (into.SchemaPtr() != schema_) into = Record(schema_);
  PlaceStaged();
  auto [e, slot] = Locate(position);
  const std::string& block = cache_->Read(chain_[e].number);
  into.SetBytes(std::string_view(block).substr(BlockHead::kSize + slot * schema_->RecordSize(), schema_->RecordSize()));
  ReadBlobs(into);
}

void ParadoxTable::ForEachRecord(const std::function<bool(const Record&)>& visit, Blobs blobs) const {
  PlaceStaged();
  const std::size_t rs = schema_->RecordSize();
  Record r(schema_);
  for (const auto& e : chain_) {
    if (e.count == 0) continue;
    for (std::size_t i = 0; i < e.count; ++i) {
      // Asked for again for each record, not held: `visit` may read the table, which may take
      // the block out of the cache (it then comes back from the file).
      r.SetBytes(std::string_view(cache_->Read(e.number)).substr(BlockHead::kSize + i * rs, rs));
      if (blobs == Blobs::kRead) ReadBlobs(r);
      if (!visit(r)) return;
    }
  }
}

void ParadoxTable::ForEachBlock(const std::function<bool(std::uint16_t, std::string_view)>& visit) const {
  PlaceStaged();
  const std::size_t rs = schema_->RecordSize();
  for (const auto& e : chain_) {
    if (e.count == 0) continue;
    const std::string& block = cache_->Read(e.number);
    if (!visit(e.number, std::string_view(block).substr(BlockHead::kSize, e.count * rs))) return;
  }
}

namespace {

int CompareKeys(std::string_view a, std::string_view b) {
  int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

}  // namespace

std::size_t ParadoxTable::EntryForKey(std::string_view key) const {
  // The last block whose first key is <= key; empty blocks carry their predecessor's key, so
  // the search may end on one, and then the block before it is the one.
  // Records stored in key order (a load, a copy, staged records being placed) belong to the
  // last block: known without a search through the directory.
  if (!chain_.empty() && chain_.back().count > 0 && CompareKeys(key, chain_.back().firstKey) >= 0) return chain_.size() - 1;
  auto it = std::upper_bound(chain_.begin(), chain_.end(), key,
                             [](std::string_view k, const BlockEntry& e) { return CompareKeys(k, e.firstKey) < 0; });
  std::size_t e = it == chain_.begin() ? 0 : static_cast<std::size_t>(it - chain_.begin()) - 1;
  std::size_t back = e;
  while (back > 0 && chain_[back].count == 0) --back;
  if (chain_[back].count > 0) return back;
  while (e + 1 < chain_.size() && chain_[e].count == 0) ++e;
  return e;
}

// The slot of the first record whose key is >= key in the entry's block; `found` tells whether
// that record's key is equal.
std::optional<std::size_t> ParadoxTable::SlotOfKey(std::size_t entry, std::string_view key, bool* found) const {
  const std::size_t rs = schema_->RecordSize();
  const std::size_t count = chain_[entry].count;
  *found = false;
  if (count == 0) return 0;
  const std::string& block = cache_->Read(chain_[entry].number);
  std::size_t lo = 0, hi = count;
  while (lo < hi) {
    std::size_t mid = (lo + hi) / 2;
    std::string_view k(block.data() + BlockHead::kSize + mid * rs, key.size());
    if (CompareKeys(k, key) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo < count) *found = CompareKeys(std::string_view(block.data() + BlockHead::kSize + lo * rs, key.size()), key) == 0;
  return lo;
}

bool ParadoxTable::ChainHasKey(std::string_view key) const {
  if (chain_.empty()) return false;
  bool found = false;
  SlotOfKey(EntryForKey(key), key, &found);
  return found;
}

std::optional<std::uint32_t> ParadoxTable::FindKey(const Record& key) const {
  if (schema_->KeyFieldCount() == 0) RaiseDatabaseError("Table has no primary key");
  PlaceStaged();
  if (chain_.empty()) return std::nullopt;
  const std::size_t e = EntryForKey(key.Key());
  bool found = false;
  const std::size_t slot = *SlotOfKey(e, key.Key(), &found);
  if (!found) return std::nullopt;
  return PositionOf(e, slot);
}

// ---------------------------------------------------------------------------------------
// Writing

std::optional<std::string> ParadoxTable::WriteRefusal() const {
  if (mode_ != OpenMode::kExclusive) return "the table is open for reading only";
  if (!secondaryIndexes_.empty() && !maintainer_)
    return "the table has secondary indexes (" + text::PathToUtf8(secondaryIndexes_.front().filename()) + ") this engine does not maintain";
  if (header_.level < 5) return "tables of level " + std::to_string(header_.level) + " are read only";
  if (schema_->KeyFieldCount() > 0 && !schema_->Definition().driver.bytewiseOrder) {
    for (unsigned i = 0; i < schema_->KeyFieldCount(); ++i)
      if (schema_->Field(i).type == FieldType::kAlpha)
        return "the text order of language driver '" + schema_->Definition().driver.sortOrderName + "' is not known";
  }
  return std::nullopt;
}

void ParadoxTable::RequireWritable() const {
  if (!db_) RaiseDatabaseError("Table is closed");
  if (auto why = WriteRefusal())
    RaiseEngineError(EngineMessage::kReadOnly, *why, PathText(path_));
}

std::uint16_t ParadoxTable::AllocateBlock() {
  if (!freeBlocks_.empty()) {
    std::uint16_t b = freeBlocks_.front();
    freeBlocks_.erase(freeBlocks_.begin());
    header_.firstFreeBlock = freeBlocks_.empty() ? 0 : freeBlocks_.front();
    return b;
  }
  if (header_.fileBlocks >= MaxBlocks(schema_->KeyFieldCount() > 0))
    RaiseEngineError(EngineMessage::kTableFull, {}, PathText(path_));
  return ++header_.fileBlocks;
}

void ParadoxTable::FreeBlock(std::uint16_t number) {
  SetHead(cache_->Replace(number), BlockHead::For(header_.firstFreeBlock, 0, 0, header_.recordSize));
  freeBlocks_.insert(freeBlocks_.begin(), number);
  header_.firstFreeBlock = number;
}

ParadoxTable::ChangeScope ParadoxTable::BeginChange() {
  if (!changeCounted_) {
    ++header_.changeCount;
    changeCounted_ = true;
  }
  if (!marked_) {
    // The mark reaches the disk before any block changes.
    WriteHeader(true);
    db_->Sync();
    marked_ = true;
  }
  return ChangeScope(failed_);
}

void ParadoxTable::WriteHeader(bool modified) {
  FileHeader& h = header_;
  h.blocksInUse = static_cast<std::uint16_t>(chain_.size());
  h.firstBlock = chain_.empty() ? 0 : chain_.front().number;
  h.lastBlock = chain_.empty() ? 0 : chain_.back().number;
  h.recordCount = 0;
  for (const auto& e : chain_) h.recordCount += e.count;
  h.modified = modified ? 1 : 0;
  h.fileBlocksAgain = h.fileBlocks;
  h.Encode(headerBytes_);
  // Only the fixed part changes while a table is open.
  db_->Write(0, headerBytes_.substr(0, kVariablePartShort));
}

std::vector<IndexEntry> ParadoxTable::PrimaryIndexEntries() const {
  PlaceStaged();
  std::vector<IndexEntry> entries;
  for (const auto& e : chain_)
    if (e.count) entries.push_back({e.firstKey, e.number, e.count});
  return entries;
}

void ParadoxTable::WritePrimaryIndex() {
  if (schema_->KeyFieldCount() == 0) return;
  PrimaryIndexInfo info;
  info.keyFields.assign(schema_->Fields().begin(), schema_->Fields().begin() + schema_->KeyFieldCount());
  info.keySize = schema_->KeySize();
  info.level = header_.level;
  info.sortOrder = schema_->Definition().driver.sortOrder;
  info.tableChangeCount = header_.changeCount;
  info.tableStructureChanges = header_.structureChanges;
  info.tableName = storedName_;
  WritePrimaryIndexFile(FamilyMemberPath(path_, ".PX"), info, PrimaryIndexEntries(), true);
}

void ParadoxTable::ReleaseBlobs(std::string_view recordBytes) {
  if (!mb_) return;
  for (std::size_t f = 0; f < schema_->FieldCount(); ++f) {
    if (!IsBlobType(schema_->Field(f).type)) continue;
    std::string_view raw = recordBytes.substr(schema_->FieldOffset(f), schema_->FieldSize(f));
    const std::uint32_t ptr = BlobTail::Decode(raw).pointer;
    if (ptr != 0) mb_->FreeBlob(ptr);
  }
}

namespace {

void SetBlockHead(std::string& block, std::uint16_t next, std::uint16_t prev, std::size_t count, std::size_t recordSize) {
  SetHead(block, BlockHead::For(next, prev, count, recordSize));
}

void SetCount(std::string& block, std::size_t count, std::size_t recordSize) {
  BlockHead h = HeadOf(block);
  h.addDataSize = BlockHead::AddDataSize(count, recordSize);
  SetHead(block, h);
}

void SetNext(std::string& block, std::uint16_t next) {
  BlockHead h = HeadOf(block);
  h.next = next;
  SetHead(block, h);
}

void SetPrevious(std::string& block, std::uint16_t previous) {
  BlockHead h = HeadOf(block);
  h.previous = previous;
  SetHead(block, h);
}

}  // namespace

void ParadoxTable::RefreshEmptyKeys(std::size_t entry) {
  if (schema_->KeyFieldCount() == 0) return;
  std::string key;
  for (std::size_t i = entry + 1; i-- > 0;)
    if (chain_[i].count > 0) {
      key = chain_[i].firstKey;
      break;
    }
  for (std::size_t i = entry; i < chain_.size() && (i == entry || chain_[i].count == 0); ++i)
    if (chain_[i].count == 0) chain_[i].firstKey = key;
}

// The record's bytes as they will be stored: schema checked, autoincrement values given.
void ParadoxTable::PrepareBytes(const Record& record, std::string& bytes) {
  const TableSchema& s = *schema_;
  // A record made by this table (the usual case) needs no comparison field by field.
  if (&record.Schema() != &s) {
    if (record.Schema().RecordSize() != s.RecordSize() || record.Schema().FieldCount() != s.FieldCount())
      RaiseDatabaseError("Record does not belong to table " + PathText(path_));
    for (std::size_t f = 0; f < s.FieldCount(); ++f)
      if (record.Schema().Field(f).type != s.Field(f).type || record.Schema().FieldSize(f) != s.FieldSize(f))
        RaiseDatabaseError("Record does not belong to table " + PathText(path_));
  }
  if (recordCount_ == 0xFFFFFFFFu) RaiseEngineError(EngineMessage::kTableFull, {}, PathText(path_));
  bytes.assign(record.Bytes());
  for (std::size_t f : autoIncrementFields_) {
    auto v = DecodeLong(std::string_view(bytes).substr(s.FieldOffset(f), 4));
    if (!v) bytes.replace(s.FieldOffset(f), 4, EncodeLong(static_cast<std::int32_t>(header_.autoIncrement + 1)));
  }
}

// Writes the record's blobs to new space of the .MB (nothing refers to it until the record is
// stored) and puts their pointers into `bytes`; the autoincrement counter takes the record's value.
void ParadoxTable::CompleteBytes(const Record& record, std::string& bytes) {
  const TableSchema& s = *schema_;
  for (std::size_t f : blobFields_) {
    const std::string& value = record.BlobBytes(f);
    const std::size_t size = s.FieldSize(f), leader = BlobTail::LeaderSize(size);
    std::string& raw = blobField_;
    raw.assign(size, '\0');
    if (!value.empty()) {
      raw.replace(0, std::min(leader, value.size()), value.substr(0, leader));
      BlobTail tail;
      tail.length = static_cast<std::uint32_t>(value.size());
      if (value.size() > leader) {
        if (!mb_) RaiseEngineError(EngineMessage::kMemoNotFound, {}, PathText(path_));
        tail.modification = mb_->NextModification();
        tail.pointer = mb_->WriteBlob(value, tail.modification);
      }
      tail.Encode(raw);
    }
    bytes.replace(s.FieldOffset(f), size, raw);
  }
  for (std::size_t f : autoIncrementFields_) {
    auto v = DecodeLong(std::string_view(bytes).substr(s.FieldOffset(f), 4));
    if (v && *v > 0 && static_cast<std::uint32_t>(*v) > header_.autoIncrement) header_.autoIncrement = static_cast<std::uint32_t>(*v);
  }
}

ParadoxTable::Placed ParadoxTable::PlaceRecord(std::string_view bytes) {
  const Spot spot = SpotFor(bytes);
  if (spot.taken) RaiseEngineError(EngineMessage::kKeyViolation, {}, PathText(path_));
  return PlaceAt(spot, bytes);
}

// Where a record goes: after the last one in an unkeyed table, else at its key's place.
ParadoxTable::Spot ParadoxTable::SpotFor(std::string_view bytes) const {
  if (chain_.empty()) return {};
  Spot spot{chain_.size() - 1, chain_.back().count, false};
  if (schema_->KeyFieldCount() > 0) {
    const std::string_view key = bytes.substr(0, schema_->KeySize());
    spot.entry = EntryForKey(key);
    spot.slot = *SlotOfKey(spot.entry, key, &spot.taken);
  }
  return spot;
}

ParadoxTable::Placed ParadoxTable::PlaceAt(const Spot& spot, std::string_view bytes) {
  if (chain_.empty()) {
    const std::uint16_t nb = AllocateBlock();
    std::string& b = cache_->Replace(nb);
    SetBlockHead(b, 0, 0, 1, bytes.size());
    b.replace(BlockHead::kSize, bytes.size(), bytes);
    chain_.push_back({nb, 1, std::string(bytes.substr(0, schema_->KeySize()))});
    prefixValid_ = false;
    return {0, 0, nb};
  }
  if (chain_[spot.entry].count < RecordsPerBlock()) return PlaceInBlock(spot.entry, spot.slot, bytes);
  return SplitBlock(spot.entry, spot.slot, bytes);
}

ParadoxTable::Placed ParadoxTable::PlaceInBlock(std::size_t entry, std::size_t slot, std::string_view bytes) {
  const std::size_t rs = bytes.size();
  BlockEntry& e = chain_[entry];
  std::string& block = cache_->Modify(e.number);
  char* records = block.data() + BlockHead::kSize;
  std::memmove(records + (slot + 1) * rs, records + slot * rs, (e.count - slot) * rs);
  std::memcpy(records + slot * rs, bytes.data(), rs);
  ++e.count;
  SetCount(block, e.count, rs);
  if (slot == 0 && schema_->KeyFieldCount() > 0) {
    e.firstKey.assign(bytes.substr(0, schema_->KeySize()));
    RefreshEmptyKeys(entry);
  }
  prefixValid_ = false;
  return {entry, slot, e.number};
}

// A full block: an append at the very end starts a new block (a load in key order fills its
// blocks); otherwise the upper half moves to a new block.
ParadoxTable::Placed ParadoxTable::SplitBlock(std::size_t entry, std::size_t slot, std::string_view bytes) {
  const std::size_t rs = bytes.size(), ks = schema_->KeySize();
  const BlockEntry old = chain_[entry];
  const std::size_t total = old.count + 1u;
  const bool atEnd = slot == old.count && entry + 1 == chain_.size();
  const std::size_t keep = atEnd ? old.count : total / 2;
  const std::uint16_t nb = AllocateBlock();
  if (atEnd) return StartBlockAfter(entry, nb, bytes);
  std::string recs;
  std::uint16_t next = 0, prev = 0;
  {
    std::string& left = cache_->Modify(old.number);
    const BlockHead lh = HeadOf(left);
    next = lh.next;
    prev = lh.previous;
    recs = left.substr(BlockHead::kSize, old.count * rs);
    recs.insert(slot * rs, bytes);
    SetBlockHead(left, nb, prev, keep, rs);
    left.replace(BlockHead::kSize, keep * rs, recs, 0, keep * rs);
    std::fill(left.begin() + static_cast<std::ptrdiff_t>(BlockHead::kSize + keep * rs), left.end(), '\0');
  }
  {
    std::string& right = cache_->Replace(nb);
    SetBlockHead(right, next, old.number, total - keep, rs);
    right.replace(BlockHead::kSize, (total - keep) * rs, recs, keep * rs, (total - keep) * rs);
  }
  if (next != 0) SetPrevious(cache_->Modify(next), nb);
  const bool keyed = schema_->KeyFieldCount() > 0;
  chain_[entry].count = static_cast<std::uint16_t>(keep);
  if (keyed) chain_[entry].firstKey = recs.substr(0, ks);
  BlockEntry ne{nb, static_cast<std::uint16_t>(total - keep), keyed ? recs.substr(keep * rs, ks) : std::string()};
  chain_.insert(chain_.begin() + static_cast<std::ptrdiff_t>(entry) + 1, std::move(ne));
  prefixValid_ = false;
  if (slot < keep) return {entry, slot, old.number};
  return {entry + 1, slot - keep, nb};
}

// The record after the last one when the last block is full: a new block of its own, and the
// full block keeps its records where they are (what SplitBlock would do, with nothing to move).
ParadoxTable::Placed ParadoxTable::StartBlockAfter(std::size_t entry, std::uint16_t nb, std::string_view bytes) {
  const std::size_t rs = bytes.size();
  const BlockEntry old = chain_[entry];
  std::uint16_t next = 0;
  {
    std::string& left = cache_->Modify(old.number);
    const BlockHead lh = HeadOf(left);
    next = lh.next;
    SetBlockHead(left, nb, lh.previous, old.count, rs);
    std::fill(left.begin() + static_cast<std::ptrdiff_t>(BlockHead::kSize + old.count * rs), left.end(), '\0');
  }
  {
    std::string& right = cache_->Replace(nb);
    SetBlockHead(right, next, old.number, 1, rs);
    right.replace(BlockHead::kSize, rs, bytes);
  }
  if (next != 0) SetPrevious(cache_->Modify(next), nb);
  const bool keyed = schema_->KeyFieldCount() > 0;
  chain_.push_back({nb, 1, keyed ? std::string(bytes.substr(0, schema_->KeySize())) : std::string()});
  prefixValid_ = false;
  return {entry + 1, 0, nb};
}

void ParadoxTable::NotifyInserted(std::string_view bytes, std::uint16_t block) {
  if (!maintainer_) return;
  // Without its blobs: no index covers a blob field, and reading them back from the memo file
  // would cost a read for every record stored.
  if (!notified_) notified_ = std::make_unique<Record>(schema_);
  notified_->SetBytes(bytes);
  maintainer_->AfterInsert(*notified_, block);
}

std::uint32_t ParadoxTable::Insert(const Record& record) {
  RequireWritable();
  PlaceStaged();
  std::string& bytes = recordBytes_;
  PrepareBytes(record, bytes);
  // Found once: the checks and the blobs written below do not change the chain.
  const Spot spot = SpotFor(bytes);
  if (spot.taken) RaiseEngineError(EngineMessage::kKeyViolation, {}, PathText(path_));
  if (maintainer_) maintainer_->BeforeInsert(record);
  auto change = BeginChange();
  CompleteBytes(record, bytes);
  const Placed p = PlaceAt(spot, bytes);
  ++recordCount_;
  const std::uint32_t position = PositionOf(p.entry, p.slot);
  NotifyInserted(bytes, p.block);
  return position;
}

void ParadoxTable::Stage(Record& record) {
  RequireWritable();
  const std::size_t ks = schema_->KeySize();
  std::string& bytes = recordBytes_;
  PrepareBytes(record, bytes);
  if (ks == 0) {
    // Unkeyed: the record goes after the last one, which needs no search.
    if (maintainer_) maintainer_->BeforeInsert(record);
    auto change = BeginChange();
    CompleteBytes(record, bytes);
    const Placed p = PlaceRecord(bytes);
    ++recordCount_;
    NotifyInserted(bytes, p.block);
  } else {
    const std::string_view key = std::string_view(bytes).substr(0, ks);
    const bool inOrder = inOrder_.active ? CompareKeys(key, inOrder_.lastKey) > 0 : StartsInOrderLoad();
    // A key past every placed one cannot be there already; nothing is staged during such a load.
    if (!inOrder && ((staged_ && staged_->ContainsKey(key)) || ChainHasKey(key)))
      RaiseEngineError(EngineMessage::kKeyViolation, {}, PathText(path_));
    CheckRoomToStage();
    if (maintainer_) maintainer_->BeforeInsert(record);
    auto change = BeginChange();
    CompleteBytes(record, bytes);
    if (inOrder) {
      if (!inOrder_.active) inOrder_ = {true, header_.fileBlocks, {}};
      // After the last record: where PlaceRecord would find for a key past every other.
      PlaceAt(chain_.empty() ? Spot{} : Spot{chain_.size() - 1, chain_.back().count, false}, bytes);
      inOrder_.lastKey.assign(bytes, 0, ks);
    } else {
      if (inOrder_.active) StageInOrderLoad();
      StagedBuffer(bytes.size()).Add(bytes);
    }
    ++recordCount_;
    prefixValid_ = false;
    record.SetStoredBytes(bytes);
    // Where it lies is not settled until the load ends: a record that arrives out of order
    // sends the ones placed before it back to be placed with it.
    if (maintainer_) maintainer_->AfterInsert(record, 0);
    return;
  }
  // The blobs stay as they were: they are what the .MB or the leader now holds.
  record.SetStoredBytes(bytes);
}

// A load in key order into a table that holds no record and has no free block: it fills fresh
// blocks in turn, exactly as placing the staged records in key order at the end would.
bool ParadoxTable::StartsInOrderLoad() const {
  return chain_.empty() && freeBlocks_.empty() && (!staged_ || staged_->Count() == 0);
}

// Staged records are placed later, so the table's room is checked now: full blocks in an empty
// table (a load in key order fills them), half blocks once records lie between which new ones
// must go (a block splits at half).
void ParadoxTable::CheckRoomToStage() const {
  const bool fromEmpty = chain_.empty() || inOrder_.active;
  const std::uint16_t usedBlocks = inOrder_.active ? inOrder_.fileBlocksBefore : header_.fileBlocks;
  const std::uint64_t perBlock = fromEmpty ? RecordsPerBlock() : std::max<std::size_t>(1, RecordsPerBlock() / 2);
  const std::uint64_t room =
      static_cast<std::uint64_t>(MaxBlocks(true) - std::min<unsigned>(usedBlocks, MaxBlocks(true)) + freeBlocks_.size()) *
      perBlock;
  const std::uint64_t waiting = (staged_ ? staged_->Count() : 0) + (inOrder_.active ? recordCount_ : 0);
  if (waiting + 1 > room) RaiseEngineError(EngineMessage::kTableFull, {}, PathText(path_));
}

StagedRecords& ParadoxTable::StagedBuffer(std::size_t recordSize) {
  if (!staged_) {
    fs::path work = path_;
    work.replace_filename(text::PathFromUtf8(TableBaseName(text::PathToUtf8(path_.filename())) + "~ST.TMP"));
    staged_ = std::make_unique<StagedRecords>(work, recordSize, schema_->KeySize(), kStagedMemoryBytes);
  }
  return *staged_;
}

// A record out of order ends a load in key order: the records it placed leave the chain for the
// staged ones, and the blocks they took are handed out again in the same order, so the table
// ends as if every record had been staged.
void ParadoxTable::StageInOrderLoad() {
  const std::size_t rs = schema_->RecordSize();
  StagedRecords& staged = StagedBuffer(rs);
  for (const BlockEntry& e : chain_) {
    const std::string_view block = cache_->Read(e.number);
    for (std::size_t i = 0; i < e.count; ++i) staged.Add(block.substr(BlockHead::kSize + i * rs, rs));
  }
  chain_.clear();
  header_.fileBlocks = inOrder_.fileBlocksBefore;
  inOrder_.active = false;
  prefixValid_ = false;
}

std::size_t ParadoxTable::StagedCount() const { return staged_ ? staged_->Count() : 0; }

void ParadoxTable::PlaceAll() {
  inOrder_.active = false;
  if (!staged_ || staged_->Count() == 0) return;
  auto change = BeginChange();
  staged_->Drain([&](std::string_view bytes) { PlaceRecord(bytes); });
}

void ParadoxTable::RemoveAt(std::size_t entry, std::uint32_t slot) {
  const std::size_t rs = schema_->RecordSize();
  BlockEntry& e = chain_[entry];
  if (e.count == 1) {
    std::uint16_t next = 0, prev = 0;
    {
      const BlockHead bh = HeadOf(cache_->Read(e.number));
      next = bh.next;
      prev = bh.previous;
    }
    if (prev != 0) SetNext(cache_->Modify(prev), next);
    if (next != 0) SetPrevious(cache_->Modify(next), prev);
    const std::uint16_t number = e.number;
    chain_.erase(chain_.begin() + static_cast<std::ptrdiff_t>(entry));
    FreeBlock(number);
    if (entry > 0) RefreshEmptyKeys(entry - 1);
  } else {
    std::string& block = cache_->Modify(e.number);
    char* records = block.data() + BlockHead::kSize;
    std::memmove(records + slot * rs, records + (slot + 1) * rs, (e.count - slot - 1u) * rs);
    std::memset(records + (e.count - 1u) * rs, 0, rs);
    --e.count;
    SetCount(block, e.count, rs);
    if (slot == 0 && schema_->KeyFieldCount() > 0) {
      e.firstKey.assign(records, schema_->KeySize());
      RefreshEmptyKeys(entry);
    }
  }
  --recordCount_;
  prefixValid_ = false;
}

void ParadoxTable::Delete(std::uint32_t position) {
  RequireWritable();
  if (position >= recordCount_) RaiseDatabaseError("Record position " + std::to_string(position) + " is past the last record");
  PlaceStaged();
  Record oldRecord = ReadRecord(position);
  auto [entry, slot] = Locate(position);
  auto change = BeginChange();
  RemoveAt(entry, slot);
  ReleaseBlobs(oldRecord.Bytes());
  if (maintainer_) maintainer_->AfterDelete(oldRecord);
}

std::uint32_t ParadoxTable::Update(std::uint32_t position, const Record& record) {
  RequireWritable();
  if (position >= recordCount_) RaiseDatabaseError("Record position " + std::to_string(position) + " is past the last record");
  PlaceStaged();
  Record current = ReadRecord(position);
  std::string bytes;
  PrepareBytes(record, bytes);
  const std::size_t ks = schema_->KeySize();
  if (ks > 0 && current.Key() != std::string_view(bytes).substr(0, ks)) {
    // A new key: the record is stored at its new place first; only then does the old one go.
    // The old record's values leave the indexes' reckoning first, so that a unique value it
    // keeps does not count against itself.
    if (maintainer_) maintainer_->AfterDelete(current);
    std::uint32_t stored = 0;
    try {
      stored = Insert(record);
    } catch (...) {
      if (maintainer_) maintainer_->AfterInsert(current, 0);
      throw;
    }
    const std::uint32_t old = *FindKey(current);
    auto [oldEntry, oldSlot] = Locate(old);
    auto change = BeginChange();
    RemoveAt(oldEntry, oldSlot);
    ReleaseBlobs(current.Bytes());
    return old < stored ? stored - 1 : stored;
  }
  // The same key: the record is written over itself.
  auto [entry, slot] = Locate(position);
  if (maintainer_) {
    maintainer_->AfterDelete(current);
    try {
      maintainer_->BeforeInsert(record);
    } catch (...) {
      maintainer_->AfterInsert(current, chain_[entry].number);
      throw;
    }
  }
  auto change = BeginChange();
  CompleteBytes(record, bytes);
  std::string& block = cache_->Modify(chain_[entry].number);
  block.replace(BlockHead::kSize + slot * schema_->RecordSize(), bytes.size(), bytes);
  ReleaseBlobs(current.Bytes());
  NotifyInserted(bytes, chain_[entry].number);
  return position;
}

// ---------------------------------------------------------------------------------------
// Creating

void ParadoxTable::Create(const fs::path& dataFile, const TableDefinition& definition) {
  TableDefinition def = definition;
  unsigned need = 3;
  for (const auto& f : def.fields) need = std::max(need, MinimumLevel(f.type));
  std::uint8_t minLevel = need >= 5 ? 0x0B : 0x09;  // 4.x at least: the code page needs the long header
  if (def.level < minLevel) def.level = minLevel;
  if (def.level > kLevel7) def.level = kLevel7;
  unsigned bs = def.blockSizeKiB;
  if (!IsValidBlockSizeKiB(bs))
    RaiseEngineError(EngineMessage::kInvalidParameter, "block size of " + std::to_string(bs) + " KiB");
  TableSchema schema(def);
  // Block numbers are 16 bits (15 where the .PX holds them): a table of many records needs
  // larger blocks.
  auto holds = [&](unsigned kib) {
    const std::size_t perBlock = schema.RecordSize() > kib * 1024u - BlockHead::kSize ? 0 : (kib * 1024u - BlockHead::kSize) / schema.RecordSize();
    return static_cast<std::uint64_t>(MaxBlocks(def.keyFieldCount > 0)) * perBlock >= def.expectedRecords;
  };
  while (bs < 32 && !holds(bs)) bs = bs < 4 ? 4 : bs * 2;
  if (bs > 4 && def.level < 0x0A) def.level = 0x0A;  // blocks above 4 KiB came with level 5
  if (schema.RecordSize() > bs * 1024u - BlockHead::kSize)
    RaiseEngineError(EngineMessage::kRecordTooBig, {}, PathText(dataFile));

  // An existing table is replaced, but not while another program holds it, nor while a
  // replacement that names it is pending: settling that would then find the wrong table.
  fs::path dir = dataFile.parent_path();
  std::string fileName = text::PathToUtf8(dataFile.filename());
  const std::string base = TableBaseName(fileName);
  if (SwapPendingFor(dir, base) || RestructurePendingFor(dir, base))
    RaiseEngineError(EngineMessage::kReplacementPending, {}, PathText(dataFile));
  if (auto existing = FindDataFile(dir, fileName)) {
    BinaryFile::Open(*existing, FileAccess::kReadWriteExclusive);
  }
  RemoveFamily(dir, fileName);

  FileHeader h;
  h.level = def.level;
  h.blockSizeKiB = static_cast<std::uint8_t>(bs);
  h.changeCount = 1;
  h.structureChanges = def.keyFieldCount > 0 ? 2 : 1;
  if (schema.HasBlobs()) {
    auto mb = BinaryFile::Open(FamilyMemberPath(dataFile, ".MB"), FileAccess::kCreateExclusive);
    MemoFile::InitializeEmpty(*mb);
    mb->Sync();
  }
  if (def.keyFieldCount > 0) {
    PrimaryIndexInfo info;
    info.keyFields.assign(def.fields.begin(), def.fields.begin() + def.keyFieldCount);
    info.keySize = schema.KeySize();
    info.level = h.level;
    info.sortOrder = def.driver.sortOrder;
    info.tableChangeCount = h.changeCount;
    info.tableStructureChanges = h.structureChanges;
    info.tableName = fileName;
    WritePrimaryIndexFile(FamilyMemberPath(dataFile, ".PX"), info, {});
  }
  // The data file comes last: until it exists there is no table. One whose header did not reach
  // the disk goes again, or it would pass for a table of that name.
  auto db = BinaryFile::Open(dataFile, FileAccess::kCreateExclusive);
  try {
    db->Write(0, BuildTableHeader(schema, h, fileName));
    db->Sync();
  } catch (const EDBEngineError&) {
    db.reset();
    RemoveFileIfPossible(dataFile);
    throw;
  }
}

}  // namespace paradox
