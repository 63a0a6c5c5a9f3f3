#include "paradox/TableSwap.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
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

struct Journal {
  std::string newBase;
  std::string oldBase;
};

std::string Upper(std::string_view s) { return text::AsciiUpper(s); }

// "NAME.EXT" split at the last dot; the extension keeps its dot.
std::pair<std::string, std::string> SplitName(const std::string& name) {
  auto dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {name, ""};
  return {name.substr(0, dot), name.substr(dot)};
}

// The file of `dir` named `name` in any letter case.
std::optional<fs::path> FindFile(const fs::path& dir, std::string_view name) {
  std::error_code ec;
  const std::string want = Upper(name);
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (Upper(text::PathToUtf8(it->path().filename())) == want) return it->path();
  return std::nullopt;
}

}  // namespace

std::vector<fs::path> FamilyFilesByBase(const fs::path& dir, std::string_view base) {
  std::vector<fs::path> found;
  std::error_code ec;
  const std::string want = Upper(base);
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e2;
    if (!it->is_regular_file(e2)) continue;
    auto [stem, ext] = SplitName(text::PathToUtf8(it->path().filename()));
    if (Upper(stem) != want || !ClassifyFamilyExtension(ext)) continue;
    found.push_back(it->path());
  }
  std::stable_partition(found.begin(), found.end(), [](const fs::path& p) {
    return ClassifyFamilyExtension(text::PathToUtf8(p.extension())) == FamilyMember::kData;
  });
  return found;
}

namespace {

bool HasDataFile(const fs::path& dir, std::string_view base) {
  return FindFile(dir, std::string(base) + ".DB").has_value();
}

fs::path JournalPath(const fs::path& dir, std::string_view finalBase) {
  if (auto existing = FindFile(dir, std::string(finalBase) + std::string(kJournalSuffix))) return *existing;
  return dir / text::PathFromUtf8(std::string(finalBase) + std::string(kJournalSuffix));
}

void WriteJournal(const fs::path& path, const Journal& j) {
  std::ostringstream s;
  s << kNewLine << j.newBase << "\n" << kOldLine << j.oldBase << "\n";
  WriteFileDurably(path, s.str());
  SyncDirectory(path.parent_path());
}

std::optional<Journal> ReadJournal(const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return std::nullopt;
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
  }
  // A journal cut short by a crash was never in force: WriteFileDurably renames it into place
  // only once it is whole.
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

// Steps 2 to 4 from wherever an earlier attempt stopped. The presence of the new data file
// under its own name says whether the renames have begun.
void Finish(const fs::path& dir, const fs::path& journal, const Journal& j, std::string_view finalBase,
            const SwapProbe& probe) {
  if (HasDataFile(dir, j.newBase)) {
    for (const fs::path& p : FamilyFilesByBase(dir, j.oldBase)) RemoveFile(p, probe);
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

}  // namespace

void SwapInTable(const fs::path& dir, std::string_view oldName, std::string_view newName, std::string_view finalName,
                 const SwapProbe& probe) {
  const std::string finalBase = TableBaseName(finalName);
  const Journal j{TableBaseName(newName), TableBaseName(oldName)};
  if (!HasDataFile(dir, j.newBase))
    RaiseEngineError(EngineMessage::kTableNotFound, {}, PathText(dir / text::PathFromUtf8(j.newBase + ".DB")));
  SwapLock lock(dir, finalBase);
  const fs::path journal = JournalPath(dir, finalBase);
  WriteJournal(journal, j);
  Probe(probe, journal);
  try {
    Finish(dir, journal, j, finalBase, probe);
  } catch (const EDBEngineError&) {
    // A file that would not go the first time may go now (a scanner let go of it, say); what
    // is still left waits for the next open.
    try {
      Finish(dir, journal, j, finalBase, {});
      return;
    } catch (const EDBEngineError&) {
    }
    throw;
  }
}

bool RecoverTableSwap(const fs::path& dir, std::string_view tableName) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return false;
  const std::string finalBase = TableBaseName(tableName);
  auto journalFile = FindFile(dir, finalBase + std::string(kJournalSuffix));
  if (!journalFile) return false;
  std::optional<SwapLock> lock;
  try {
    lock.emplace(dir, finalBase);
  } catch (const EDBEngineError& e) {
    if (e.Code() == EngineErrorCode::kFileLocked) return false;  // a swap is running
    throw;
  }
  std::optional<Journal> j = ReadJournal(*journalFile);
  if (!j) {
    RemoveFile(*journalFile, {});
    return false;
  }
  // The final name keeps the spelling the swap gave it, whatever name the table is opened by.
  std::string spelled = text::PathToUtf8(journalFile->filename());
  spelled.resize(spelled.size() - kJournalSuffix.size());
  Finish(dir, *journalFile, *j, spelled, {});
  return true;
}

}  // namespace paradox
