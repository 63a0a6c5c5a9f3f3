// One rebuild pass: a new table built beside the old one, every record copied by the table's
// copy rules, the new table flushed and counted, the live folder's old files copied to the
// backup folder and compared there, and only then the old table replaced through the swap
// journal (paradox/TableSwap.h).

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "engine/Table.h"
#include "fileops/FileOps.h"
#include "migration/MigrationMessages.h"
#include "migration/MigrationPasses.h"
// The rebuild works below the table layer: the backup is compared byte for byte and flushed
// (BinaryFile, DurableFile), the old header read for the record count (FileHeader), the family
// listed and swapped durably (TableFamily, TableSwap), the secondary indexes and the
// restructure run by the engine itself (SecondaryIndex, Restructure); EngineError for its texts.
#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "paradox/FileHeader.h"
#include "paradox/Restructure.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableFamily.h"
#include "paradox/TableSwap.h"
#include "text/Utf8Path.h"

namespace migration {
namespace {

namespace fs = std::filesystem;

// How often the copy loop lets the window system repaint (the UI throttles further).
constexpr int kRecordsPerKeepAlive = 256;
constexpr std::size_t kCompareChunk = 1 << 20;

struct BoundRule {
  const TField* from;
  TField* to;
  CopyKind kind;
};

void CopyDate(const TField& from, TField& to, bool zeroIsEmpty) {
  // An empty date stays empty: the value 0 it reads as would be the day 1899/12/30.
  if (from.IsNull()) {
    to.Clear();
    return;
  }
  const TDateTime value = from.AsDateTime();
  if (zeroIsEmpty && value == 0) to.Clear();
  else to.SetAsDateTime(value);
}

void CopyValue(const BoundRule& rule) {
  switch (rule.kind) {
    case CopyKind::kText:
      // A date's text is in the user's short date format, which need not name the century or
      // may carry an era; between two date fields the value itself is the text's meaning.
      if (rule.from->DataType() == ftDate && rule.to->DataType() == ftDate) CopyDate(*rule.from, *rule.to, false);
      else rule.to->AssignText(*rule.from);
      return;
    case CopyKind::kInteger: rule.to->SetAsInteger(rule.from->AsInteger()); return;
    case CopyKind::kDate: CopyDate(*rule.from, *rule.to, false); return;
    case CopyKind::kZeroDate: CopyDate(*rule.from, *rule.to, true); return;
  }
}

bool HasRule(const RebuildPlan& plan, std::string_view field) {
  return std::any_of(plan.rules.begin(), plan.rules.end(), [&](const CopyRule& r) { return r.field == field; });
}

// How a field the rules leave unset is copied from a source field of its name: only when the
// source's type is the same and every value it can hold fits, as on a table this rebuild made.
std::optional<CopyKind> KeptFieldKind(const FieldLayout& field, const TField& from) {
  if (from.DataType() != field.type) return std::nullopt;
  switch (field.type) {
    case ftString: return from.Size() <= field.size ? std::optional(CopyKind::kText) : std::nullopt;
    case ftMemo: return CopyKind::kText;
    case ftInteger:
    case ftSmallint: return CopyKind::kInteger;
    case ftDate: return CopyKind::kDate;
    default: return std::nullopt;
  }
}

// A missing source field is an error (EDatabaseError) unless the rule allows its absence. A
// field the rules leave unset is new to older tables; a source that has it already (the update
// run again over migrated tables) keeps what the shop has stored in it since.
std::vector<BoundRule> BindRules(const RebuildPlan& plan, TTable& source, TTable& fresh) {
  std::vector<BoundRule> bound;
  for (const CopyRule& rule : plan.rules) {
    const std::string name(rule.field);
    const TField* from = rule.onlyWhenSourceHasIt ? source.FindField(name) : &source.FieldByName(name);
    if (!from) continue;
    bound.push_back({from, &fresh.FieldByName(name), rule.kind});
  }
  for (const FieldLayout& field : plan.fields) {
    if (HasRule(plan, field.name)) continue;
    const std::string name(field.name);
    const TField* from = source.FindField(name);
    if (!from) continue;
    if (const std::optional<CopyKind> kind = KeptFieldKind(field, *from))
      bound.push_back({from, &fresh.FieldByName(name), *kind});
  }
  return bound;
}

// N + 1 appends: each stores the record of the append before it; the last holds a second copy
// of the last source record (the source stays on it) and is dropped when the table closes.
void CopyRecords(MigrationRun& run, const RebuildPlan& plan, TTable& source, TTable& fresh) {
  fresh.Edit();
  source.First();
  const int count = source.RecordCount();
  const std::vector<BoundRule> rules = BindRules(plan, source, fresh);
  for (int pass = 0; pass <= count; ++pass) {
    fresh.Append();
    for (const BoundRule& rule : rules) CopyValue(rule);
    source.Next();
    if (pass % kRecordsPerKeepAlive == 0) run.ui.KeepAlive();
  }
}

[[noreturn]] void CheckFailed(std::string_view what, const fs::path& file) {
  RaiseEngineError(EngineErrorCode::kIoError, std::string(what), paradox::PathText(file));
}

void CheckNewTable(const std::string& folder, const RebuildPlan& plan, int expected) {
  const fs::path dir = text::PathFromUtf8(folder);
  // The table's close flushed each of its files to the disk (and failed if it could not);
  // the names of files it wrote under temporary names are made durable here.
  paradox::SyncDirectory(dir);
  TTable check;
  PrepareTable(check, folder, plan.newTable);
  check.Open();
  const int stored = check.RecordCount();
  check.Close();
  if (stored != expected) CheckFailed(kNewTableCountWrong, dir / text::PathFromUtf8(plan.newTable));
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (!fs::exists(b, ec)) return false;
  const auto fileA = paradox::BinaryFile::Open(a, paradox::FileAccess::kReadShared);
  const auto fileB = paradox::BinaryFile::Open(b, paradox::FileAccess::kReadShared);
  const std::uint64_t size = fileA->Size();
  if (fileB->Size() != size) return false;
  std::string chunkA, chunkB;
  for (std::uint64_t at = 0; at < size; at += kCompareChunk) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kCompareChunk, size - at));
    fileA->Read(at, n, chunkA);
    fileB->Read(at, n, chunkB);
    if (chunkA != chunkB) return false;
  }
  return true;
}

// A folder the backup cannot list fails the rebuild as the engine's other file errors do.
[[noreturn]] void RaiseListingError(const fileops::FolderListError& e) {
  RaiseEngineError(EngineMessage::kCannotList, e.Detail(), e.Folder());
}

// The names of the files in the backup folder that a backup of `plan` would replace: those of
// the table's base name, as CopyMatchingFiles matches them.
std::vector<std::string> EarlierBackup(const MigrationRun& run, const RebuildPlan& plan) {
  fileops::FileNameList found;
  try {
    fileops::FindFiles(run.backupPath, fileops::kFaAnyFile, true, {std::string(plan.backupPattern)}, "fFile", false,
                       false, false, found, true);
  } catch (const fileops::FolderListError& e) {
    RaiseListingError(e);
  }
  std::vector<std::string> names;
  for (const std::string& path : found) {
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    std::error_code ec;
    if (fs::is_regular_file(text::PathFromUtf8(run.backupPath) / text::PathFromUtf8(name), ec)) names.push_back(name);
  }
  return names;
}

// The folder below the backup folder that takes this run's moved copies: named after the run's
// start, with "-2", "-3" ... where that name is taken by another run, or where this run has
// already put a file of one of `names` there (both aliases naming one folder).
fs::path AsideFolder(MigrationRun& run, const std::vector<std::string>& names) {
  const fs::path backupDir = text::PathFromUtf8(run.backupPath);
  std::error_code ec;
  auto holdsNone = [&](const fs::path& dir) {
    for (const std::string& name : names)
      if (fs::exists(dir / text::PathFromUtf8(name), ec)) return false;
    return true;
  };
  if (!run.asideFolder.empty() && holdsNone(backupDir / text::PathFromUtf8(run.asideFolder)))
    return backupDir / text::PathFromUtf8(run.asideFolder);
  for (int n = 1;; ++n) {
    const std::string name = run.startStamp + (n == 1 ? "" : "-" + std::to_string(n));
    const fs::path dir = backupDir / text::PathFromUtf8(name);
    if (fs::exists(dir, ec)) continue;
    if (!paradox::MakeFolder(dir)) CheckFailed(kBackupFolderMissing, dir);
    run.asideFolder = name;
    return dir;
  }
}

// A backup already in the backup folder is an earlier run's copy, maybe the only one of the
// tables as they were before any update: it moves aside instead of being overwritten, with
// every file of its base name, so that none of them is taken for part of this run's copy.
void MoveEarlierBackupAside(MigrationRun& run, const RebuildPlan& plan) {
  const std::vector<std::string> names = EarlierBackup(run, plan);
  if (names.empty()) return;
  const fs::path backupDir = text::PathFromUtf8(run.backupPath);
  const fs::path aside = AsideFolder(run, names);
  for (const std::string& name : names)
    paradox::ReplaceFileAtomically(backupDir / text::PathFromUtf8(name), aside / text::PathFromUtf8(name));
  paradox::SyncDirectory(aside);
  paradox::SyncDirectory(backupDir);
  run.Passed("moved the earlier backup of " + std::string(plan.backupPattern) + " to " + run.asideFolder);
}

// Every file the swap will remove must be in the backup folder, byte for byte, on the disk.
// Returns those files as they were verified: the swap removes exactly these.
std::vector<paradox::ListedFile> BackUpAndVerify(MigrationRun& run, const RebuildPlan& plan, const std::string& folder) {
  // Said as such, rather than as copies that went missing.
  if (!fileops::FolderExists(run.backupPath)) CheckFailed(kBackupFolderMissing, text::PathFromUtf8(run.backupPath));
  MoveEarlierBackupAside(run, plan);
  try {
    fileops::CopyMatchingFiles(folder, run.backupPath, std::string(plan.backupPattern));
  } catch (const fileops::FolderListError& e) {
    RaiseListingError(e);
  }
  run.Passed("backed up " + std::string(plan.backupPattern));
  const fs::path dir = text::PathFromUtf8(folder);
  const fs::path backupDir = text::PathFromUtf8(run.backupPath);
  std::vector<paradox::ListedFile> members = paradox::ListFamily(dir, paradox::TableBaseName(plan.source));
  for (const paradox::ListedFile& member : members) {
    const fs::path copy = backupDir / text::PathFromUtf8(member.name);
    if (!SameBytes(dir / text::PathFromUtf8(member.name), copy)) CheckFailed(kBackupNotVerified, copy);
    paradox::BinaryFile::Open(copy, paradox::FileAccess::kReadWriteExclusive)->Sync();
  }
  paradox::SyncDirectory(backupDir);
  return members;
}

// The records the new table must take, from the source's header: the engine picks a block size
// that holds them, where the configured one would leave a large shop's table full part way.
// No source gives 0, and the copy then reports the missing table as before.
std::uint32_t SourceRecordCount(const std::string& folder, std::string_view table) {
  const auto dataFile = paradox::FindDataFile(text::PathFromUtf8(folder), table);
  if (!dataFile) return 0;
  return paradox::FileHeader::Decode(paradox::ReadDataHeader(*dataFile), text::PathToUtf8(*dataFile)).recordCount;
}

bool CreateNewTable(MigrationRun& run, const RebuildPlan& plan, const std::string& folder, std::uint32_t records,
                    TTable& fresh) {
  try {
    fresh.SetDatabaseName(folder);
    fresh.Close();
    fresh.SetTableName(std::string(plan.newTable));
    fresh.SetTableType(ttParadox);
    fresh.FieldDefs().Clear();
    for (const FieldLayout& f : plan.fields) fresh.FieldDefs().Add(std::string(f.name), f.type, f.size, f.required);
    fresh.IndexDefs().Clear();
    for (const IndexLayout& i : plan.indexes) fresh.IndexDefs().Add(std::string(i.name), std::string(i.fields), i.options);
    fresh.SetExpectedRecordCount(records);
    fresh.CreateTable();
    fresh.Open();
  } catch (const std::exception&) {
    run.ui.ShowMessage(std::string(kCreateTableFailed), MessageKind::Error, kButtonYes);
    return false;
  }
  run.Passed("created " + std::string(plan.newTable) + " in " + folder);
  return true;
}

void CopyAndReplace(MigrationRun& run, const RebuildPlan& plan, const std::string& folder, TTable& source,
                    TTable& fresh) {
  source.Open();
  const int expected = source.RecordCount();
  if (plan.loop == CopyLoop::kAlways || !source.IsEmpty()) CopyRecords(run, plan, source, fresh);
  source.Close();
  fresh.Close();
  run.Passed("copied into " + std::string(plan.newTable));
  CheckNewTable(folder, plan, expected);
  run.Passed("checked " + std::string(plan.newTable));
  const fs::path dir = text::PathFromUtf8(folder);
  // The demo folder has no backup: what the swap may remove is the family as it is now.
  const std::vector<paradox::ListedFile> oldFiles = folder == run.livePath
                                                        ? BackUpAndVerify(run, plan, folder)
                                                        : paradox::ListFamily(dir, paradox::TableBaseName(plan.source));
  paradox::SwapInTable(dir, plan.source, plan.newTable, plan.finalName, oldFiles,
                       [&](std::string_view file) { run.Passed("swap " + std::string(file)); });
}

}  // namespace

bool RebuildTable(MigrationRun& run, const RebuildPlan& plan, const std::string& folder) {
  try {
    // What an earlier run left half done is settled before the new table is built again; what
    // cannot be (another program holds its lock) stops this table.
    paradox::SettleRestructure(text::PathFromUtf8(folder), plan.source);
    paradox::SettleTableSwap(text::PathFromUtf8(folder), plan.finalName);
  } catch (const EDBEngineError& e) {
    run.ui.ShowMessage(RebuildFailureText(plan.failure, e.what()), MessageKind::Plain, kButtonOk);
    return false;
  }
  TTable source;
  PrepareTableOrSay(run, source, folder, plan.source);
  std::uint32_t records = 0;
  try {
    records = SourceRecordCount(folder, plan.source);
  } catch (const EDBEngineError& e) {
    run.ui.ShowMessage(RebuildFailureText(plan.failure, e.what()), MessageKind::Plain, kButtonOk);
    return false;
  }
  TTable fresh;
  if (!CreateNewTable(run, plan, folder, records, fresh)) return false;
  run.ui.StepProgress(kProgressAfterCreate);
  try {
    CopyAndReplace(run, plan, folder, source, fresh);
  } catch (const EDBEngineError& e) {
    run.ui.ShowMessage(RebuildFailureText(plan.failure, e.what()), MessageKind::Plain, kButtonOk);
    return false;
  }
  run.ui.StepProgress(kProgressAfterRebuild);
  return true;
}

}  // namespace migration
