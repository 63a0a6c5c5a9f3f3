#include "paradox/TableSwap.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "paradox/TableFamily.h"
#include "text/Ascii.h"
#include "text/Utf8Path.h"

namespace paradox {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kJournalSuffix = "~RB.JNL";
constexpr std::string_view kLockSuffix = "~RB.LCK";
constexpr std::string_view kNewLine = "new ";
constexpr std::string_view kOldLine = "old ";
constexpr std::string_view kFileLine = "file ";

struct Journal {
  std::string newBase;
  std::string oldBase;
  // The old table's files; std::nullopt in the journals of earlier versions, which named none.
  std::optional<std::vector<ListedFile>> oldFiles;
};

std::string Upper(std::string_view s) { return text::AsciiUpper(s); }

bool IsDataName(const std::string& name) {
  return ClassifyFamilyExtension(SplitName(name).second) == FamilyMember::kData;
}

// The entry of `dir` named `name` in any letter case.
std::optional<fs::path> FindFile(const fs::path& dir, std::string_view name) {
  const std::string want = Upper(name);
  for (FolderEntry& e : ListFolder(dir))
    if (Upper(text::PathToUtf8(e.path.filename())) == want) return std::move(e.path);
  return std::nullopt;
}

}  // namespace

std::vector<ListedFile> ListFamily(const fs::path& dir, std::string_view base) {
  std::vector<ListedFile> listed;
  for (const fs::path& p : FamilyFilesByBase(dir, base)) listed.push_back({text::PathToUtf8(p.filename()), FileSizeOf(p)});
  return listed;
}

namespace {

bool HasDataFile(const fs::path& dir, std::string_view base) {
  return FindFile(dir, std::string(base) + ".DB").has_value();
}

fs::path JournalPath(const fs::path& dir, std::string_view finalBase) {
  return dir / text::PathFromUtf8(std::string(finalBase) + std::string(kJournalSuffix));
}

std::optional<fs::path> FindJournal(const fs::path& dir, std::string_view finalBase) {
  return FindFile(dir, std::string(finalBase) + std::string(kJournalSuffix));
}

void WriteJournal(const fs::path& path, const Journal& j) {
  std::ostringstream s;
  s << kNewLine << j.newBase << "\n" << kOldLine << j.oldBase << "\n";
  for (const ListedFile& f : *j.oldFiles) {
    // A line holds one name; a name that would end it cannot be recorded.
    if (f.name.find_first_of("\r\n") != std::string::npos)
      RaiseEngineError(EngineMessage::kInvalidParameter, "file name with a line break", PathText(path));
    s << kFileLine << f.name << " " << f.size << "\n";
  }
  WriteFileDurably(path, s.str());
  SyncDirectory(path.parent_path());
}

// "NAME SIZE": the size after the last space, so that the name may hold spaces.
std::optional<ListedFile> ParseFileLine(std::string_view rest) {
  const std::size_t space = rest.rfind(' ');
  if (space == std::string_view::npos || space == 0) return std::nullopt;
  ListedFile f{std::string(rest.substr(0, space)), 0};
  const std::string_view digits = rest.substr(space + 1);
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), f.size);
  if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) return std::nullopt;
  return f;
}

std::optional<Journal> ReadJournal(const fs::path& path) {
  std::string bytes;
  {
    auto f = BinaryFile::Open(path, FileAccess::kReadShared);
    bytes = f->Read(0, static_cast<std::size_t>(f->Size()));
  }
  Journal j;
  std::istringstream s(bytes);
  std::string line;
  while (std::getline(s, line)) {
    if (line.rfind(kNewLine, 0) == 0) j.newBase = line.substr(kNewLine.size());
    if (line.rfind(kOldLine, 0) == 0) j.oldBase = line.substr(kOldLine.size());
    if (line.rfind(kFileLine, 0) == 0) {
      std::optional<ListedFile> f = ParseFileLine(std::string_view(line).substr(kFileLine.size()));
      // WriteFileDurably puts a journal in place only once it is whole: a line it did not write
      // means the file is not what the swap wrote, and nothing may be removed by it.
      if (!f) RaiseEngineError(EngineMessage::kCorruptData, "swap journal line: " + line, PathText(path));
      if (!j.oldFiles) j.oldFiles.emplace();
      j.oldFiles->push_back(std::move(*f));
    }
  }
  // A journal cut short by a crash was never in force.
  if (j.newBase.empty() || j.oldBase.empty()) return std::nullopt;
  return j;
}

class SwapLock {
 public:
  SwapLock(const fs::path& dir, std::string_view finalBase)
      : path_(dir / text::PathFromUtf8(Upper(finalBase) + std::string(kLockSuffix))) {
    file_ = BinaryFile::Open(path_, FileAccess::kCreateExclusive);
  }
  ~SwapLock() {
    file_.reset();
    RemoveFileIfPossible(path_);
  }
  SwapLock(const SwapLock&) = delete;
  SwapLock& operator=(const SwapLock&) = delete;

 private:
  fs::path path_;
  std::unique_ptr<BinaryFile> file_;
};

void Probe(const SwapProbe& probe, const fs::path& file) {
  if (probe) probe(text::PathToUtf8(file.filename()));
}

void RemoveFile(const fs::path& p, const SwapProbe& probe) {
  paradox::RemoveFile(p);
  Probe(probe, p);
}

// The old table's files that a roll-forward removes, the data file first.
std::vector<fs::path> OldFamily(const fs::path& dir, const Journal& j) {
  if (!j.oldFiles) return FamilyFilesByBase(dir, j.oldBase);
  std::vector<fs::path> files;
  for (const ListedFile& f : *j.oldFiles) files.push_back(dir / text::PathFromUtf8(f.name));
  std::stable_partition(files.begin(), files.end(), [](const fs::path& p) { return IsDataName(text::PathToUtf8(p.filename())); });
  return files;
}

bool OldDataFileThere(const fs::path& dir, const Journal& j) {
  if (!j.oldFiles) return HasDataFile(dir, j.oldBase);
  for (const ListedFile& f : *j.oldFiles)
    if (IsDataName(f.name) && FindFile(dir, f.name)) return true;
  return false;
}

// Nothing irrevocable has happened while both data files are there, the new one under its own
// name (it is the first to move).
bool CanUndo(const fs::path& dir, const Journal& j) { return HasDataFile(dir, j.newBase) && OldDataFileThere(dir, j); }

// The journal goes first: from then on the old table is the table, whatever is left of the new.
void Undo(const fs::path& dir, const fs::path& journal, const Journal& j) {
  RemoveFile(journal, {});
  SyncDirectory(dir);
  for (const fs::path& p : FamilyFilesByBase(dir, j.newBase)) paradox::RemoveFile(p);
  SyncDirectory(dir);
}

// Steps 3 to 5 from wherever an earlier attempt stopped. The presence of the new data file
// under its own name says whether the renames have begun.
void RollForward(const fs::path& dir, const fs::path& journal, const Journal& j, std::string_view finalBase,
                 const SwapProbe& probe) {
  if (HasDataFile(dir, j.newBase)) {
    for (const fs::path& p : OldFamily(dir, j)) RemoveFile(p, probe);
    SyncDirectory(dir);
  }
  for (const fs::path& p : FamilyFilesByBase(dir, j.newBase)) {
    fs::path target = dir / text::PathFromUtf8(std::string(finalBase) + text::PathToUtf8(p.extension()));
    if (auto existing = FindFile(dir, text::PathToUtf8(target.filename())); existing && *existing != target)
      RemoveFile(*existing, {});  // a member of another spelling would shadow the new one
    ReplaceFileAtomically(p, target);
    Probe(probe, target);
  }
  SyncDirectory(dir);
  RemoveFile(journal, probe);
  SyncDirectory(dir);
}

// How the old family found now differs from the one listed, or std::nullopt when it does not.
std::optional<std::string> FamilyDifference(const std::vector<ListedFile>& listed, const std::vector<ListedFile>& found) {
  for (const ListedFile& f : listed) {
    auto it = std::find_if(found.begin(), found.end(), [&](const ListedFile& g) { return g.name == f.name; });
    if (it == found.end()) return f.name + " is gone";
    if (it->size != f.size)
      return f.name + " holds " + std::to_string(it->size) + " bytes, not " + std::to_string(f.size);
  }
  for (const ListedFile& g : found)
    if (std::none_of(listed.begin(), listed.end(), [&](const ListedFile& f) { return f.name == g.name; }))
      return g.name + " was not listed";
  return std::nullopt;
}

}  // namespace

void SwapInTable(const fs::path& dir, std::string_view oldName, std::string_view newName, std::string_view finalName,
                 const std::vector<ListedFile>& oldFiles, const SwapProbe& probe) {
  const std::string finalBase = TableBaseName(finalName);
  const Journal j{TableBaseName(newName), TableBaseName(oldName), oldFiles};
  if (!HasDataFile(dir, j.newBase))
    RaiseEngineError(EngineMessage::kTableNotFound, {}, PathText(dir / text::PathFromUtf8(j.newBase + ".DB")));
  SwapLock lock(dir, finalBase);
  if (auto pending = FindJournal(dir, finalBase)) RaiseEngineError(EngineMessage::kReplacementPending, {}, PathText(*pending));
  const fs::path journal = JournalPath(dir, finalBase);
  std::optional<std::string> difference;
  try {
    WriteJournal(journal, j);
    Probe(probe, journal);
    difference = FamilyDifference(oldFiles, ListFamily(dir, j.oldBase));
    if (!difference) return RollForward(dir, journal, j, finalBase, probe);
    // Another program changed the old table since it was listed (and backed up): neither
    // table is touched.
    RemoveFile(journal, {});
    SyncDirectory(dir);
  } catch (...) {
    try {
      if (CanUndo(dir, j)) {
        Undo(dir, journal, j);
      } else {
        // A file that would not go the first time may go now (a scanner let go of it, say).
        RollForward(dir, journal, j, finalBase, {});
        return;
      }
    } catch (...) {
      // What is still left waits for SettleTableSwap.
    }
    throw;
  }
  RaiseEngineError(EngineMessage::kFamilyChanged, *difference, PathText(dir / text::PathFromUtf8(j.oldBase + ".DB")));
}

Settled SettleTableSwap(const fs::path& dir, std::string_view tableName) {
  const std::string finalBase = TableBaseName(tableName);
  if (!FindJournal(dir, finalBase)) return Settled::kNothing;
  SwapLock lock(dir, finalBase);  // a swap that is running: kFileLocked
  // Looked for again: a swap that held the lock a moment ago may have finished.
  const std::optional<fs::path> journal = FindJournal(dir, finalBase);
  if (!journal) return Settled::kNothing;
  const std::optional<Journal> j = ReadJournal(*journal);
  if (!j) {
    RemoveFile(*journal, {});
    SyncDirectory(dir);
    return Settled::kNothing;
  }
  if (CanUndo(dir, *j)) {
    Undo(dir, *journal, *j);
    return Settled::kUndone;
  }
  // The final name keeps the spelling the swap gave it, whatever name the table is settled by.
  std::string spelled = text::PathToUtf8(journal->filename());
  spelled.resize(spelled.size() - kJournalSuffix.size());
  RollForward(dir, *journal, *j, spelled, {});
  return Settled::kCompleted;
}

bool SwapPendingFor(const fs::path& dir, std::string_view base) {
  const std::string want = Upper(base);
  for (const FolderEntry& e : ListFolder(dir)) {
    const std::string name = Upper(text::PathToUtf8(e.path.filename()));
    if (!e.regularFile || name.size() <= kJournalSuffix.size() ||
        name.compare(name.size() - kJournalSuffix.size(), kJournalSuffix.size(), kJournalSuffix) != 0)
      continue;
    const std::optional<Journal> j = ReadJournal(e.path);
    if (j && (Upper(j->newBase) == want || Upper(j->oldBase) == want)) return true;
  }
  return false;
}

}  // namespace paradox
