#include "paradox/Restructure.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "paradox/FileHeader.h"
#include "paradox/ParadoxFormat.h"
#include "paradox/ParadoxTable.h"
#include "paradox/Record.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableFamily.h"
#include "text/Ascii.h"
#include "text/Utf8Path.h"

namespace paradox {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNewSuffix = "~RT";
constexpr std::string_view kOldSuffix = "~RO";
constexpr std::string_view kJournalSuffix = "~RS.JNL";
constexpr std::string_view kLockSuffix = "~RS.LCK";


// ".DB", ".X06" as the file has it.
std::string Extension(const fs::path& p) { return text::PathToUtf8(p.extension()); }

[[noreturn]] void Refuse(const std::string& why) {
  RaiseEngineError(EngineMessage::kInvalidField, why);
}

// Whether `p` exists; a system that cannot tell is an error, not a "no".
bool Exists(const fs::path& p) {
  std::error_code ec;
  const bool there = fs::exists(p, ec);
  if (ec) RaiseEngineError(EngineMessage::kIoError, ec.message(), PathText(p));
  return there;
}

struct Journal {
  std::string base;                      // the table's base name as its data file spells it
  std::vector<std::string> oldMembers;   // extensions as on disk (".DB" first)
  std::vector<std::string> newMembers;   // extensions of the NAME~RT files (".DB" last)
};

fs::path JournalPath(const fs::path& dir, std::string_view base) {
  return dir / text::PathFromUtf8(std::string(base) + std::string(kJournalSuffix));
}

void WriteJournal(const fs::path& dir, const Journal& j) {
  std::ostringstream s;
  s << "base " << j.base << "\n";
  for (const auto& e : j.oldMembers) s << "old " << e << "\n";
  for (const auto& e : j.newMembers) s << "new " << e << "\n";
  WriteFileDurably(JournalPath(dir, j.base), s.str());
  SyncDirectory(dir);
}

std::optional<Journal> ReadJournal(const fs::path& path) {
  if (!Exists(path)) return std::nullopt;
  std::string text;
  {
    auto f = BinaryFile::Open(path, FileAccess::kReadShared);
    text = f->Read(0, static_cast<std::size_t>(f->Size()));
  }
  Journal j;
  std::istringstream s(text);
  std::string line;
  while (std::getline(s, line)) {
    if (line.rfind("base ", 0) == 0) j.base = line.substr(5);
    if (line.rfind("old ", 0) == 0) j.oldMembers.push_back(line.substr(4));
    if (line.rfind("new ", 0) == 0) j.newMembers.push_back(line.substr(4));
  }
  if (j.base.empty()) return std::nullopt;
  return j;
}

bool SameExtension(std::string_view a, std::string_view b) { return text::AsciiUpper(a) == text::AsciiUpper(b); }

// The name a new member takes: the old member's spelling of that extension, when there was one.
std::string FinalExtension(const Journal& j, const std::string& newExt) {
  for (const auto& e : j.oldMembers)
    if (SameExtension(e, newExt)) return e;
  return newExt;
}

fs::path Member(const fs::path& dir, const std::string& base, std::string_view suffix, const std::string& ext) {
  return dir / text::PathFromUtf8(base + std::string(suffix) + ext);
}

void RemoveIfThere(const fs::path& p) { RemoveFileIfPossible(p); }

// Every file of the folder whose name starts with `base` + `suffix` + "." (members, and the
// ".tmp" files of writes that did not finish). Returns how many there were.
std::size_t RemoveWorkFiles(const fs::path& dir, const std::string& base, std::string_view suffix) {
  const std::string want = text::AsciiUpper(base + std::string(suffix) + ".");
  std::vector<fs::path> doomed;
  for (const FolderEntry& e : ListFolder(dir))
    if (text::AsciiUpper(text::PathToUtf8(e.path.filename())).rfind(want, 0) == 0) doomed.push_back(e.path);
  for (const auto& p : doomed) RemoveIfThere(p);
  return doomed.size();
}

// Puts the directory back into one whole family under `j.base`: the new one when its data file
// had already moved (kCompleted), else the old one (kUndone).
Settled Settle(const fs::path& dir, const Journal& j) {
  const std::string& base = j.base;
  const bool committed = !Exists(Member(dir, base, kNewSuffix, ".DB")) &&
                         std::any_of(j.newMembers.begin(), j.newMembers.end(),
                                     [](const std::string& e) { return SameExtension(e, ".DB"); }) &&
                         Exists(Member(dir, base, "", FinalExtension(j, ".DB")));
  if (committed) {
    for (const auto& e : j.newMembers) {
      // A member still under the temporary name cannot be left behind the committed data file.
      fs::path t = Member(dir, base, kNewSuffix, e);
      if (Exists(t)) ReplaceFileAtomically(t, Member(dir, base, "", FinalExtension(j, e)));
    }
    for (const auto& e : j.oldMembers) RemoveIfThere(Member(dir, base, kOldSuffix, e));
  } else {
    for (const auto& e : j.newMembers) {
      const std::string fin = FinalExtension(j, e);
      const bool hadOld = std::any_of(j.oldMembers.begin(), j.oldMembers.end(),
                                      [&](const std::string& o) { return SameExtension(o, e); });
      fs::path at = Member(dir, base, "", fin);
      // Under the final name and gone from the temporary one: it is a new member that moved.
      if (!Exists(Member(dir, base, kNewSuffix, e)) && Exists(at) &&
          (!hadOld || Exists(Member(dir, base, kOldSuffix, fin))))
        ReplaceFileAtomically(at, Member(dir, base, kNewSuffix, e));
    }
    for (const auto& e : j.oldMembers) {
      fs::path o = Member(dir, base, kOldSuffix, e);
      if (Exists(o)) ReplaceFileAtomically(o, Member(dir, base, "", e));
    }
    RemoveWorkFiles(dir, base, kNewSuffix);
  }
  SyncDirectory(dir);
  RemoveIfThere(JournalPath(dir, base));
  SyncDirectory(dir);
  return committed ? Settled::kCompleted : Settled::kUndone;
}

// Held for the whole of a restructure, so that settling started by another program never
// touches a restructure that is still running. The system
// drops the lock of a program that died, which is when recovery is due.
class RestructureLock {
 public:
  RestructureLock(const fs::path& dir, const std::string& base) : path_(dir / text::PathFromUtf8(base + std::string(kLockSuffix))) {
    file_ = BinaryFile::Open(path_, FileAccess::kCreateExclusive);
  }
  ~RestructureLock() {
    file_.reset();
    RemoveIfThere(path_);
  }
  RestructureLock(const RestructureLock&) = delete;
  RestructureLock& operator=(const RestructureLock&) = delete;

 private:
  fs::path path_;
  std::unique_ptr<BinaryFile> file_;
};

// Settles what an interrupted restructure left; the caller holds the lock.
Settled SettleInterrupted(const fs::path& dir, const std::string& base) {
  auto j = ReadJournal(JournalPath(dir, base));
  if (!j) {
    // Without a journal the old table was never touched: a new one begun beside it is dropped.
    const std::size_t removed = RemoveWorkFiles(dir, base, kNewSuffix);
    RemoveIfThere(dir / text::PathFromUtf8(base + std::string(kJournalSuffix) + ".tmp"));
    return removed > 0 ? Settled::kUndone : Settled::kNothing;
  }
  return Settle(dir, *j);
}

std::string StoredBase(const fs::path& dir, std::string_view tableName) {
  // Work files are named after the data file's spelling of the base name.
  if (auto data = FindDataFile(dir, tableName)) return text::PathToUtf8(data->stem());
  return TableBaseName(tableName);
}

// The secondary-index entries of the records, gathered as the copy stores them, so that no
// index needs a pass of its own over the new table. The old chain is in key order: each record
// goes after the last and stays in the block it went into. A record out of order (a damaged
// old table) may split a block and move records whose entries were already made; the entries
// are then dropped and each index collected from the finished table instead.
class EntriesAsStored final : public IndexMaintainer {
 public:
  EntriesAsStored(const TableSchema& schema, const std::vector<SecondaryIndexDef>& defs, std::size_t records)
      : keySize_(schema.KeySize()), recordSize_(schema.RecordSize()) {
    for (const auto& def : defs) {
      entries_.emplace_back(schema, def);
      entries_.back().Reserve(records);
    }
  }
  // Whether the entries of `records` records fit the memory that index entries may take at once.
  static bool Fit(const TableSchema& schema, const std::vector<SecondaryIndexDef>& defs, std::size_t records) {
    std::size_t bytes = 0;
    for (const auto& def : defs) bytes += MakeIndexRecordLayout(schema, def).recordSize;
    return !defs.empty() && bytes * records <= kIndexEntriesTogetherBytes;
  }
  void AfterInsert(const Record& record, std::uint16_t block) override {
    if (!whole_) return;
    const std::string_view key = record.Key();
    if (count_ > 0 && keySize_ > 0 && key <= std::string_view(lastKey_)) return Drop();
    slot_ = count_ > 0 && block == lastBlock_ ? slot_ + 1 : 0;
    ++count_;
    lastBlock_ = block;
    lastKey_.assign(key);
    // As CollectEntries numbers them: records from 1, offsets within the block.
    for (auto& e : entries_) e.AppendStored(record.Bytes(), block, count_, static_cast<std::uint16_t>(slot_ * recordSize_));
  }
  void AfterDelete(const Record&) override { Drop(); }
  // Whether the entries are those of the table as written, or must be collected afresh.
  bool Whole() const { return whole_; }
  // The sorted entries of index `i` (while Whole()).
  IndexEntries Take(std::size_t i) {
    assert(whole_);
    IndexEntries taken = std::move(entries_.at(i));
    taken.Sort();
    return taken;
  }

 private:
  void Drop() {
    whole_ = false;
    entries_.clear();
  }
  std::size_t keySize_, recordSize_;
  std::vector<IndexEntries> entries_;
  bool whole_ = true;
  std::uint32_t count_ = 0;
  std::size_t slot_ = 0;
  std::uint16_t lastBlock_ = 0;
  std::string lastKey_;
};

}  // namespace

bool ConvertField(const Record& from, std::size_t fromField, Record& to, std::size_t toField) {
  const FieldDef& a = from.Schema().Field(fromField);
  const FieldDef& b = to.Schema().Field(toField);
  // A NULL value of a fixed-size field is all zero bytes, which the copies below carry across
  // as they are; only where no copy applies, or a blob may be attached, is it looked for, since
  // looking reads every byte of every field of every record.
  auto emptied = [&] {
    if (!from.IsNull(fromField)) return false;
    to.Clear(toField);
    return true;
  };
  if (a.type != b.type) return emptied();
  if (IsBlobType(a.type)) {
    if (!emptied()) to.SetBlob(toField, from.BlobBytes(fromField));
    return true;
  }
  if (a.type == FieldType::kAlpha) {
    std::string_view v = from.Raw(fromField);
    v = v.substr(0, v.find('\0'));
    if (v.size() > b.size) return false;
    to.SetAlpha(toField, v);
    return true;
  }
  std::string_view raw = from.Raw(fromField);
  if (a.type == FieldType::kBytes) {
    if (raw.size() > b.size) {
      // Only trailing zero bytes may be dropped.
      if (raw.substr(b.size).find_first_not_of('\0') != std::string_view::npos) return false;
      raw = raw.substr(0, b.size);
    }
    std::string v(raw);
    v.resize(b.size, '\0');
    to.SetRaw(toField, v);
    return true;
  }
  if (a.size != b.size) return emptied();  // BCD decimals: the digits would have to move
  to.SetRaw(toField, raw);
  return true;
}

RecordConverter::RecordConverter(const TableSchema& from, const TableSchema& to) {
  for (std::size_t f = 0; f < from.FieldCount(); ++f) {
    const FieldDef& a = from.Field(f);
    const FieldDef& b = to.Field(f);
    Copy copy = Copy::kByField;
    if (a.type == b.type && !IsBlobType(a.type)) {
      // What ConvertField does for these, without looking at the values: an alpha value ends at
      // its first NUL and the rest of the new field is zero; bytes are padded with zeros; every
      // other type keeps its size and its bytes.
      if (a.type == FieldType::kAlpha && b.size >= a.size) copy = Copy::kAlpha;
      else if (a.type == FieldType::kBytes ? b.size >= a.size : a.type != FieldType::kAlpha && a.size == b.size)
        copy = Copy::kBytes;
    }
    steps_.push_back({copy, f, from.FieldOffset(f), from.FieldSize(f), to.FieldOffset(f), to.FieldSize(f)});
  }
}

void RecordConverter::Convert(const Record& from, Record& to) {
  const std::string_view in = from.Bytes();
  // Fields converted one by one below are written into `to` after these bytes go in, so what
  // the buffer holds at their place does not matter.
  bytes_.resize(to.Bytes().size());
  char* out = bytes_.data();
  for (const Step& s : steps_) {
    const char* field = in.data() + s.fromOffset;
    if (s.copy == Copy::kByField) continue;
    std::size_t used = s.fromSize;
    if (s.copy == Copy::kAlpha)
      if (const void* nul = std::memchr(field, '\0', s.fromSize)) used = static_cast<std::size_t>(static_cast<const char*>(nul) - field);
    std::memcpy(out + s.toOffset, field, used);
    std::memset(out + s.toOffset + used, 0, s.toSize - used);
  }
  to.SetBytes(bytes_);
  for (const Step& s : steps_)
    if (s.copy == Copy::kByField) ConvertField(from, s.field, to, s.field);
}

bool TakesEveryValue(const FieldDef& from, const FieldDef& to) {
  if (from.type != to.type) return false;
  if (IsBlobType(from.type)) return true;
  if (from.type == FieldType::kAlpha || from.type == FieldType::kBytes) return to.size >= from.size;
  return to.size == from.size;
}

Settled SettleRestructure(const fs::path& dir, std::string_view tableName) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Settled::kNothing;
  std::string base = StoredBase(dir, tableName);
  // A journal whose data file has moved away is found by the name the caller gave.
  if (!Exists(JournalPath(dir, base)) && Exists(JournalPath(dir, TableBaseName(tableName))))
    base = TableBaseName(tableName);
  const bool leftovers =
      Exists(JournalPath(dir, base)) || Exists(dir / text::PathFromUtf8(base + std::string(kNewSuffix) + ".DB"));
  // A lock file alone is what a finished restructure leaves when the system refused to delete
  // it; taking it and letting it go removes it. Nothing at all: nothing is written (the folder
  // may be read only).
  const bool staleLock = !leftovers && Exists(dir / text::PathFromUtf8(base + std::string(kLockSuffix)));
  if (!leftovers && !staleLock) return Settled::kNothing;
  std::optional<RestructureLock> lock;
  try {
    lock.emplace(dir, base);  // a restructure that is running: kFileLocked
  } catch (const EDBEngineError& e) {
    if (staleLock && e.Code() != EngineErrorCode::kFileLocked) return Settled::kNothing;  // it holds nothing
    throw;
  }
  if (staleLock) return Settled::kNothing;
  return SettleInterrupted(dir, base);
}

bool RestructurePendingFor(const fs::path& dir, std::string_view base) {
  const std::string want = text::AsciiUpper(std::string(base) + std::string(kJournalSuffix));
  for (const FolderEntry& e : ListFolder(dir))
    if (text::AsciiUpper(text::PathToUtf8(e.path.filename())) == want) return true;
  return false;
}

namespace {

void Report(const RestructureProbe& probe, RestructureStep step, const fs::path& file) {
  if (probe) probe(step, text::PathToUtf8(file.filename()));
}

// The new table's definition: the old one with `fields`, at least the old file's level and with
// its block size. Refused when a field would change its type or a record outgrow a block.
TableDefinition NewDefinition(const ParadoxTable& old, const std::vector<FieldDef>& fields) {
  const TableSchema& schema = old.Schema();
  if (fields.size() != schema.FieldCount())
    Refuse("a restructure gives " + std::to_string(fields.size()) + " fields for a table of " +
           std::to_string(schema.FieldCount()));
  TableDefinition def = schema.Definition();
  def.fields = fields;
  def.level = std::max<std::uint8_t>(def.level, old.Header().level);
  def.blockSizeKiB = old.Header().blockSizeKiB;
  def.expectedRecords = old.RecordCount();
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].type != schema.Field(i).type)
      Refuse("field " + schema.Field(i).name + " cannot change its type");
  return def;
}

// A first pass only reads: a value the new definition cannot take refuses the restructure
// before anything is written. The copy converts each record again as it goes, so memory holds a
// few blocks, never the table. A blob goes across whatever it holds, so this pass need not read
// the blobs; where no field is narrowed it need not run at all.
void CheckValuesFit(const ParadoxTable& old, const std::vector<FieldDef>& fields,
                    const std::shared_ptr<const TableSchema>& newSchema) {
  const TableSchema& schema = old.Schema();
  std::optional<std::string> refusal;
  std::uint32_t checked = 0;
  bool takesAll = true;
  for (std::size_t f = 0; f < fields.size(); ++f) takesAll = takesAll && TakesEveryValue(schema.Field(f), fields[f]);
  if (!takesAll) old.ForEachRecord([&](const Record& r) {
    Record n(newSchema);
    ++checked;
    for (std::size_t f = 0; f < fields.size(); ++f)
      if (!ConvertField(r, f, n, f)) {
        refusal = "field " + schema.Field(f).name + " cannot hold the value of record " + std::to_string(checked);
        return false;
      }
    return true;
  }, ParadoxTable::Blobs::kSkip);
  if (refusal) Refuse(*refusal);
}

// The old table's secondary indexes, rebuilt on the new table under the same extensions.
struct IndexesToBuild {
  std::vector<SecondaryIndexDef> defs;
  std::vector<std::string> extensions;
};

IndexesToBuild IndexesOf(const ParadoxTable& old) {
  IndexesToBuild out;
  for (const auto& i : ReadSecondaryIndexes(old)) {
    out.defs.push_back(i.def);
    out.extensions.push_back(i.extension);
  }
  return out;
}

// Copies every record of `old` into the new table `newData`, gathering the index entries as
// they are stored where they fit the memory. Returns the schema the new table stored.
std::shared_ptr<const TableSchema> CopyRecords(const ParadoxTable& old, const fs::path& newData,
                                               const IndexesToBuild& indexes, std::optional<EntriesAsStored>& gathered) {
  // The old chain is in key order: every record goes after the last, into blocks filled in
  // turn, which the block cache writes out as they fill.
  auto t = ParadoxTable::Open(newData, OpenMode::kExclusive);
  std::shared_ptr<const TableSchema> storedSchema = t->NewRecord().SchemaPtr();
  if (EntriesAsStored::Fit(*storedSchema, indexes.defs, old.RecordCount())) {
    gathered.emplace(*storedSchema, indexes.defs, old.RecordCount());
    t->SetIndexMaintainer(&*gathered);
  }
  // Made by the new table: it takes the record without comparing layouts field by field.
  Record n(storedSchema);
  RecordConverter convert(old.Schema(), *storedSchema);
  old.ForEachRecord([&](const Record& r) {
    convert.Convert(r, n);
    t->Insert(n);
    return true;
  });
  t->Close();
  return storedSchema;
}

// The last value handed out goes across: numbers of records deleted before must not come back
// (CUSTOMER's counter stands at 44 over 20 records).
void CarryAutoIncrement(const fs::path& newData, std::uint32_t oldCounter) {
  auto f = BinaryFile::Open(newData, FileAccess::kReadWriteExclusive);
  std::string fixed = f->Read(0, format::kVariablePartShort);
  FileHeader h = FileHeader::Decode(fixed, PathText(newData));
  if (h.autoIncrement < oldCounter) {
    h.autoIncrement = oldCounter;
    h.Encode(fixed);
    f->Write(0, fixed);
    f->Sync();
  }
}

// Writes each index of the new table beside it. Each keeps its file name: its .XGn number is
// its identity for other programs.
void BuildIndexes(const fs::path& dir, const std::string& base, const fs::path& newData, const TableSchema& storedSchema,
                  const IndexesToBuild& indexes, std::optional<EntriesAsStored>& gathered) {
  const FileHeader newHeader = FileHeader::Decode(ReadDataHeader(newData), PathText(newData));
  IndexFileStamps stamps;
  stamps.storedBase = base + std::string(kNewSuffix);
  stamps.dbStamp = newHeader.indexStamp;
  stamps.pxStamp = newHeader.structureChanges;
  stamps.ownStamp = newHeader.structureChanges;
  stamps.writeTime = static_cast<std::uint32_t>(std::time(nullptr));
  const auto writeIndex = [&](std::size_t i, IndexEntries&& collected) {
    const IndexEntries entries = std::move(collected);
    const std::string& ext = indexes.extensions[i];
    WriteIndexFiles(Member(dir, base, kNewSuffix, "." + ext), Member(dir, base, kNewSuffix, "." + IndexExtensionY(ext)),
                    storedSchema, newHeader, indexes.defs[i], entries, ext, stamps);
  };
  if (gathered && gathered->Whole())
    for (std::size_t i = 0; i < indexes.defs.size(); ++i) writeIndex(i, gathered->Take(i));
  else
    CollectEntriesInBatches(*ParadoxTable::Open(newData, OpenMode::kShared), indexes.defs, writeIndex);
}

// Members that are not rebuilt (validity checks, the desktop tools' settings) go across as they
// are: a restructure that only modifies fields keeps every field number.
void CopyKeptMembers(const fs::path& dataFile, const fs::path& dir, const std::string& base) {
  for (const auto& p : FindFamilyFiles(dataFile)) {
    auto kind = ClassifyFamilyExtension(Extension(p));
    if (kind == FamilyMember::kValidity || kind == FamilyMember::kOther) {
      auto in = BinaryFile::Open(p, FileAccess::kReadShared);
      WriteFileDurably(Member(dir, base, kNewSuffix, Extension(p)), in->Read(0, static_cast<std::size_t>(in->Size())));
    }
  }
}

// The copy stores every record it reads; a count that differs means a record went astray.
void CheckRecordCount(const fs::path& newData, std::uint32_t oldCount) {
  if (const std::uint32_t newCount = ParadoxTable::Open(newData, OpenMode::kShared)->RecordCount(); newCount != oldCount)
    RaiseEngineError(EngineMessage::kRecordCountDiffers, std::to_string(newCount) + " of " + std::to_string(oldCount),
                     PathText(newData));
}

// Records the members of both tables in the journal `j` and writes it.
void WriteSwapJournal(const fs::path& dir, Journal& j, const std::vector<fs::path>& oldFamily,
                      const std::vector<fs::path>& newFamily, const fs::path& newData) {
  for (const auto& p : oldFamily) j.oldMembers.push_back(Extension(p));
  for (const auto& p : newFamily)
    if (!SameExtension(Extension(p), ".DB")) j.newMembers.push_back(Extension(p));
  j.newMembers.push_back(Extension(newData));
  WriteJournal(dir, j);
}

// Moves the old members aside and the new ones into their names; `committed` turns true when
// the new data file is in place.
void SwapMembers(const fs::path& dir, const Journal& j, bool& committed, const RestructureProbe& probe) {
  for (const auto& e : j.oldMembers) {
    ReplaceFileAtomically(Member(dir, j.base, "", e), Member(dir, j.base, kOldSuffix, e));
    Report(probe, RestructureStep::kOldMemberMoved, Member(dir, j.base, "", e));
  }
  SyncDirectory(dir);
  for (const auto& e : j.newMembers) {
    ReplaceFileAtomically(Member(dir, j.base, kNewSuffix, e), Member(dir, j.base, "", FinalExtension(j, e)));
    // The data file moves last: from then on the new table is the table.
    if (SameExtension(e, ".DB")) committed = true;
    Report(probe, RestructureStep::kNewMemberMoved, Member(dir, j.base, "", FinalExtension(j, e)));
  }
  SyncDirectory(dir);
}

// After a failure: a committed restructure is cleaned up as recovery would (and counts as
// done); otherwise the journal, if written, undoes what moved, else the work files go.
// Returns whether the failure is to be raised.
bool Unwind(const fs::path& dir, const Journal& j, bool committed) {
  if (committed) {
    // The new table is in place: what is left is clean-up, which recovery also does.
    try {
      Settle(dir, j);
    } catch (...) {
    }
    return false;
  }
  if (Exists(JournalPath(dir, j.base))) {
    Settle(dir, j);
  } else {
    RemoveWorkFiles(dir, j.base, kNewSuffix);
  }
  return true;
}

}  // namespace

void RestructureTable(const fs::path& dataFile, const std::vector<FieldDef>& fields, const RestructureProbe& probe) {
  const fs::path dir = dataFile.parent_path();
  RestructureLock lock(dir, text::PathToUtf8(dataFile.stem()));
  SettleInterrupted(dir, text::PathToUtf8(dataFile.stem()));
  // Old members that an earlier restructure could not remove once it had committed (its
  // journal is gone, so nothing needs them); left, they would mislead a later recovery.
  RemoveWorkFiles(dir, text::PathToUtf8(dataFile.stem()), kOldSuffix);

  // The old table stays open exclusively while it is read, so no one changes it meanwhile.
  auto old = ParadoxTable::Open(dataFile, OpenMode::kExclusive);
  const std::uint32_t oldCount = old->RecordCount();
  const TableDefinition def = NewDefinition(*old, fields);
  auto newSchema = std::make_shared<const TableSchema>(def);  // names, sizes, record size
  if (newSchema->RecordSize() > def.blockSizeKiB * 1024u - 6) Refuse("record too long for a block");
  CheckValuesFit(*old, fields, newSchema);
  const IndexesToBuild indexes = IndexesOf(*old);

  Journal j;
  j.base = text::PathToUtf8(dataFile.stem());
  const fs::path newData = Member(dir, j.base, kNewSuffix, ".DB");
  RemoveWorkFiles(dir, j.base, kNewSuffix);
  bool committed = false;
  try {
    ParadoxTable::Create(newData, def);
    Report(probe, RestructureStep::kNewTableCreated, newData);
    std::optional<EntriesAsStored> gathered;
    const std::shared_ptr<const TableSchema> storedSchema = CopyRecords(*old, newData, indexes, gathered);
    CarryAutoIncrement(newData, old->Header().autoIncrement);
    Report(probe, RestructureStep::kRecordsCopied, newData);
    BuildIndexes(dir, j.base, newData, *storedSchema, indexes, gathered);
    Report(probe, RestructureStep::kIndexesBuilt, newData);
    CopyKeptMembers(dataFile, dir, j.base);
    // Every member is on the disk already: the table's close flushed what it wrote, and the
    // index and copied files were written durably. Their names are not, until this.
    std::vector<fs::path> newFamily = FindFamilyFiles(newData);
    SyncDirectory(dir);
    Report(probe, RestructureStep::kNewTableFlushed, newData);
    CheckRecordCount(newData, oldCount);

    std::vector<fs::path> oldFamily = FindFamilyFiles(dataFile);  // data file first
    old->Close();
    old.reset();
    WriteSwapJournal(dir, j, oldFamily, newFamily, newData);
    Report(probe, RestructureStep::kJournalWritten, JournalPath(dir, j.base));
    SwapMembers(dir, j, committed, probe);
    Report(probe, RestructureStep::kCommitted, dataFile);
  } catch (...) {
    old.reset();
    if (!Unwind(dir, j, committed)) return;
    throw;
  }
  Settle(dir, j);
}

}  // namespace paradox
