#include "app/ProgramFiles.h"

#include <algorithm>
#include <sstream>
#include <system_error>

#include "framework/SysUtils.h"
#include "lha/ArchiveReader.h"
#include "lha/ArchiveSource.h"
#include "lha/Crc16.h"
#include "lha/MemberPath.h"
// The engine's gated files and durable writer: the kept copies and their list survive a power
// cut as the tables do, and the check reads a file in use exactly as the table check does.
#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"

namespace programfiles {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 1 << 20;
constexpr char kProbeName[] = "~SETUPPROBE.TMP";
// "\TempData\" and a rebuilt table's family file such as "NewTOVO_SYOUSAI.X02.tmp".
constexpr std::size_t kLongestBelowAlias = 10 + 23;
// The extraction library writes each member to a temporary file beside its target first
// ("~unlha<process>_<n>.tmp"); a folder where that name does not fit cannot take the member.
constexpr std::size_t kExtractionTempNameLength = 24;

fs::path RollbackFolder(const fs::path& installed) { return installed / kRollbackFolderName; }
fs::path KeptList(const fs::path& installed) { return RollbackFolder(installed) / kKeptListName; }
fs::path KeptCopy(const fs::path& installed, std::size_t entry) {
  return RollbackFolder(installed) / (std::to_string(entry) + kKeptCopyExtension);
}
fs::path Target(const fs::path& installed, const std::string& name) { return installed / text::PathFromUtf8(name); }

std::string Shown(const fs::path& p) { return text::PathToUtf8(p); }

// The entries of the list: kind 'K' (kept, with the size of its copy) or 'N' (no old file).
struct KeptEntry {
  char kind = 'N';
  std::uint64_t size = 0;
  std::string name;
};

std::string FormatList(const std::vector<KeptEntry>& entries) {
  std::string s = std::string(kKeptListMagic) + "\r\n";
  for (const KeptEntry& e : entries)
    s += e.kind == 'K' ? "K " + std::to_string(e.size) + " " + e.name + "\r\n" : "N " + e.name + "\r\n";
  return s + "END " + std::to_string(entries.size()) + "\r\n";
}

// The list's entries, or std::nullopt when it is not one this program wrote whole.
std::optional<std::vector<KeptEntry>> ParseList(const std::string& bytes) {
  std::vector<std::string> lines;
  std::istringstream in(bytes);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (lines.size() < 2 || lines.front() != kKeptListMagic) return std::nullopt;
  std::vector<KeptEntry> entries;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::string& l = lines[i];
    KeptEntry e;
    if (l.rfind("N ", 0) == 0 && l.size() > 2) {
      e.name = l.substr(2);
    } else if (l.rfind("K ", 0) == 0) {
      const std::size_t space = l.find(' ', 2);
      if (space == std::string::npos || space == 2 || space + 1 >= l.size()) return std::nullopt;
      const std::string digits = l.substr(2, space - 2);
      if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) || digits.size() > 19)
        return std::nullopt;
      e.kind = 'K';
      e.size = std::stoull(digits);
      e.name = l.substr(space + 1);
    } else {
      return std::nullopt;
    }
    entries.push_back(std::move(e));
  }
  if (lines.back() != "END " + std::to_string(entries.size())) return std::nullopt;
  return entries;
}

std::string ReadWhole(const fs::path& path) {
  auto file = paradox::BinaryFile::Open(path, paradox::FileAccess::kReadShared);
  return file->Read(0, static_cast<std::size_t>(file->Size()));
}

// Size and CRC-16 of a file, read piece by piece.
std::pair<std::uint64_t, std::uint16_t> SizeAndCrc(const fs::path& path) {
  auto file = paradox::BinaryFile::Open(path, paradox::FileAccess::kReadShared);
  const std::uint64_t size = file->Size();
  std::uint16_t crc = 0;
  std::string piece;
  for (std::uint64_t at = 0; at < size; at += piece.size()) {
    file->Read(at, static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at)), piece);
    crc = lha::UpdateCrc16(crc, std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
  }
  return {size, crc};
}

// Copies `from` to `to` through a flushed temporary file renamed over `to`: `to` is either
// what it was or the whole copy.
void CopyDurably(const fs::path& from, const fs::path& to) {
  auto source = paradox::BinaryFile::Open(from, paradox::FileAccess::kReadShared);
  const std::uint64_t size = source->Size();
  paradox::DurableFileWriter writer(to);
  std::string piece;
  for (std::uint64_t at = 0; at < size; at += piece.size()) {
    source->Read(at, static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at)), piece);
    writer.Append(piece);
  }
  source.reset();
  writer.Commit();
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  auto fa = paradox::BinaryFile::Open(a, paradox::FileAccess::kReadShared);
  auto fb = paradox::BinaryFile::Open(b, paradox::FileAccess::kReadShared);
  const std::uint64_t size = fa->Size();
  if (fb->Size() != size) return false;
  std::string pa, pb;
  for (std::uint64_t at = 0; at < size; at += pa.size()) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at));
    fa->Read(at, n, pa);
    fb->Read(at, n, pb);
    if (pa != pb) return false;
  }
  return true;
}

enum class Entry { kAbsent, kFile, kOther };

Entry EntryAt(const fs::path& p) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(p, ec);
  if (ec || status.type() == fs::file_type::not_found) return Entry::kAbsent;
  return fs::is_regular_file(status) ? Entry::kFile : Entry::kOther;
}

// Removes the copies, the list's temporary file and the folder itself; false when anything
// stays. The list must already be gone.
bool RemoveRollbackFolder(const fs::path& installed) {
  const fs::path folder = RollbackFolder(installed);
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) files.push_back(it->path());
  if (ec) return false;
  bool removed = true;
  for (const fs::path& f : files) removed &= paradox::RemoveFileIfPossible(f);
  if (!removed) return false;
  if (os::FaultGate(os::FileOperation::kDelete)) return false;
  fs::remove(folder, ec);
  return !ec;
}

std::string PutBackOne(const fs::path& installed, const KeptEntry& e, std::size_t index) {
  const fs::path target = Target(installed, e.name);
  const Entry now = EntryAt(target);
  if (e.kind == 'N') {
    if (now == Entry::kAbsent) return e.name + ": had no old file and is not there";
    if (now == Entry::kOther) return e.name + ": had no old file; a folder of that name is left as it is";
    paradox::RemoveFile(target);
    return e.name + ": had no old file; the new one is removed";
  }
  const fs::path copy = KeptCopy(installed, index);
  if (EntryAt(copy) != Entry::kFile || fs::file_size(copy) != e.size)
    throw Exception("the kept copy " + Shown(copy) + " is missing or not of its recorded size " + std::to_string(e.size));
  if (now == Entry::kFile && SameBytes(target, copy)) return e.name + ": the old file, unchanged";
  if (now == Entry::kOther) throw Exception("a folder stands where the old file was");
  CopyDurably(copy, target);
  return e.name + ": the old file is put back";
}

}  // namespace

std::vector<MemberTarget> ReadMemberTargets(std::span<const std::uint8_t> archive) {
  lha::MemorySource source(archive);
  std::vector<MemberTarget> targets;
  lha::ArchiveReader reader(source);
  while (std::optional<lha::MemberHeader> m = reader.Next()) {
    if (m->method == lha::Method::Directory) continue;
    const std::vector<std::string> parts = lha::SafeDestination(m->path, false);
    targets.push_back({parts.back(), m->originalSize, m->hasDataCrc ? std::optional(m->dataCrc) : std::nullopt});
  }
  return targets;
}

std::vector<MemberTarget> ReadMemberTargets(const fs::path& archive) {
  const std::string bytes = ReadWhole(archive);
  return ReadMemberTargets(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::vector<std::string> KeepProgramFiles(const fs::path& installed, const std::vector<MemberTarget>& members) {
  const fs::path folder = RollbackFolder(installed);
  if (EntryAt(KeptList(installed)) != Entry::kAbsent)
    throw Exception("The kept files of an earlier run are still in " + Shown(folder));
  // A folder without a list is a keep that was cut short; nothing of it is needed.
  if (EntryAt(folder) != Entry::kAbsent && !RemoveRollbackFolder(installed))
    throw Exception("Cannot remove the rollback folder " + Shown(folder) + " left by an earlier run");
  if (!paradox::MakeFolder(folder)) throw Exception("Cannot create the rollback folder " + Shown(folder));
  std::vector<std::string> lines;
  try {
    std::vector<KeptEntry> entries;
    for (const MemberTarget& m : members) {
      const fs::path target = Target(installed, m.name);
      switch (EntryAt(target)) {
        case Entry::kAbsent:
          entries.push_back({'N', 0, m.name});
          lines.push_back(m.name + ": no old file");
          break;
        case Entry::kFile:
          CopyDurably(target, KeptCopy(installed, entries.size() + 1));
          entries.push_back({'K', fs::file_size(target), m.name});
          lines.push_back(m.name + ": kept as " + Shown(KeptCopy(installed, entries.size())));
          break;
        case Entry::kOther:
          lines.push_back(m.name + ": a folder or other entry of that name; not kept, not removed");
          break;
      }
    }
    paradox::WriteFileDurably(KeptList(installed), FormatList(entries));
    paradox::SyncDirectory(folder);
    paradox::SyncDirectory(installed);
  } catch (...) {
    paradox::RemoveFileIfPossible(KeptList(installed));
    RemoveRollbackFolder(installed);
    throw;
  }
  return lines;
}

std::vector<TargetCheck> VerifyTargets(const fs::path& installed, const std::vector<MemberTarget>& members) {
  std::vector<TargetCheck> checks;
  for (const MemberTarget& m : members) {
    TargetCheck c{m.name, TargetState::kAsArchived, {}};
    const fs::path target = Target(installed, m.name);
    const Entry entry = EntryAt(target);
    if (entry == Entry::kAbsent) {
      c.state = TargetState::kMissing;
    } else if (entry == Entry::kOther) {
      c.state = TargetState::kNotAFile;
    } else {
      try {
        const auto [size, crc] = SizeAndCrc(target);
        if (size != m.size) {
          c.state = TargetState::kOtherSize;
          c.detail = std::to_string(size) + " bytes, the archive's " + std::to_string(m.size);
        } else if (m.crc && crc != *m.crc) {
          c.state = TargetState::kOtherCrc;
          c.detail = "CRC " + std::to_string(crc) + ", the archive's " + std::to_string(*m.crc);
        }
      } catch (const std::exception& e) {
        c.state = TargetState::kUnreadable;
        c.detail = e.what();
      }
    }
    checks.push_back(std::move(c));
  }
  return checks;
}

PutBackReport PutBackKeptFiles(const fs::path& installed) {
  PutBackReport report;
  const fs::path folder = RollbackFolder(installed);
  if (EntryAt(folder) == Entry::kAbsent) return report;
  report.found = true;
  if (EntryAt(KeptList(installed)) == Entry::kAbsent) {
    report.complete = RemoveRollbackFolder(installed);
    report.lines.push_back(Shown(folder) + " holds no list: no program file was replaced yet; the folder " +
                           (report.complete ? "is removed" : "could not be removed"));
    return report;
  }
  std::optional<std::vector<KeptEntry>> entries;
  try {
    entries = ParseList(ReadWhole(KeptList(installed)));
  } catch (const std::exception& e) {
    report.complete = false;
    report.lines.push_back("Cannot read " + Shown(KeptList(installed)) + ": " + e.what());
    return report;
  }
  if (!entries) {
    report.complete = false;
    report.lines.push_back(Shown(KeptList(installed)) + " is not a list this program wrote; nothing is put back");
    return report;
  }
  for (std::size_t i = 0; i < entries->size(); ++i) {
    const KeptEntry& e = (*entries)[i];
    try {
      report.lines.push_back(PutBackOne(installed, e, i + 1));
    } catch (const std::exception& ex) {
      report.complete = false;
      report.lines.push_back(e.name + ": could not be put back (" + std::string(ex.what()) + "); the kept copy stays in " +
                             Shown(folder));
    }
  }
  if (!report.complete) return report;
  // Every target is as before: from here on the list is no longer needed.
  if (!paradox::RemoveFileIfPossible(KeptList(installed)) || !RemoveRollbackFolder(installed)) {
    report.complete = false;
    report.lines.push_back("Every program file is as before, but " + Shown(folder) + " could not be removed");
    return report;
  }
  report.lines.push_back("Every program file is as before; " + Shown(folder) + " is removed");
  return report;
}

InstallOutcome CompleteInstall(const fs::path& installed, const std::vector<MemberTarget>& members,
                               std::optional<int> libraryResult) {
  InstallOutcome outcome;
  bool allMatch = true;
  for (const TargetCheck& c : VerifyTargets(installed, members)) {
    static const char* const kStates[] = {"as in the archive", "missing", "not a file", "of another size",
                                          "of another CRC", "unreadable"};
    allMatch &= c.state == TargetState::kAsArchived;
    outcome.lines.push_back("Verified " + c.name + ": " + kStates[static_cast<int>(c.state)] +
                            (c.detail.empty() ? "" : " (" + c.detail + ")"));
  }
  const bool libraryOk = libraryResult && *libraryResult == 0;
  if (libraryOk && allMatch) {
    // Removing the list is the commit: before it a power cut puts the old files back, after it
    // the new ones stand.
    if (paradox::RemoveFileIfPossible(KeptList(installed))) {
      outcome.installed = true;
      if (!RemoveRollbackFolder(installed))
        outcome.lines.push_back("The program files are installed; " + Shown(RollbackFolder(installed)) +
                                " could not be removed and holds only copies of the old files");
      return outcome;
    }
    outcome.lines.push_back("Cannot remove " + Shown(KeptList(installed)) + "; the old files are put back");
  } else {
    outcome.lines.push_back(std::string("The program files are not installed: ") +
                            (!libraryResult ? "the extraction did not run"
                             : !libraryOk   ? "the library reported " + std::to_string(*libraryResult)
                                            : "a target differs from the archive") +
                            "; the old files are put back");
  }
  PutBackReport back = PutBackKeptFiles(installed);
  outcome.lines.insert(outcome.lines.end(), back.lines.begin(), back.lines.end());
  return outcome;
}

bool InstallAllOrNothing(const fs::path& installed, const fs::path& archive,
                         const std::function<std::optional<int>()>& extract,
                         const std::function<void(const std::string&)>& log) {
  const std::vector<MemberTarget> members = ReadMemberTargets(archive);
  for (const std::string& line : KeepProgramFiles(installed, members)) log("Kept before the extraction: " + line);
  std::optional<int> result;
  try {
    result = extract();
  } catch (...) {
    log("The extraction failed; the old files are put back");
    for (const std::string& line : PutBackKeptFiles(installed).lines) log(line);
    throw;
  }
  const InstallOutcome outcome = CompleteInstall(installed, members, result);
  for (const std::string& line : outcome.lines) log(line);
  if (outcome.installed) log("Every program file is installed as in the archive");
  return outcome.installed;
}

std::size_t SystemPathLength(const std::string& path) { return text::Utf8ToUtf16(path).size(); }

bool AliasFolderFits(const std::string& folder) { return SystemPathLength(folder) + kLongestBelowAlias < kMaxPath; }

std::optional<InstallProblem> CheckProgramFiles(const fs::path& installed, const std::vector<MemberTarget>& members) {
  using Kind = InstallProblem::Kind;
  // The longest name the run writes there besides the targets: a kept copy in the rollback folder.
  const std::string longestOwn = Shown(RollbackFolder(installed) / kKeptListName) + ".tmp";
  if (SystemPathLength(longestOwn) >= kMaxPath) return InstallProblem{Kind::kPathTooLong, Shown(installed), {}};
  for (const MemberTarget& m : members) {
    const fs::path target = Target(installed, m.name);
    if (SystemPathLength(Shown(target)) >= kMaxPath ||
        SystemPathLength(Shown(installed)) + 1 + kExtractionTempNameLength >= kMaxPath) return InstallProblem{Kind::kPathTooLong, Shown(target), {}};
    if (EntryAt(target) != Entry::kFile) continue;
    std::error_code ec;
    const fs::perms perms = fs::status(target, ec).permissions();
    if (!ec && (perms & fs::perms::owner_write) == fs::perms::none)
      return InstallProblem{Kind::kReadOnly, Shown(target), {}};
    try {
      paradox::BinaryFile::Open(target, paradox::FileAccess::kReadWriteExclusive);
    } catch (const EDBEngineError& e) {
      const Kind kind = e.Code() == EngineErrorCode::kFileLocked ? Kind::kInUse : Kind::kNotWritable;
      return InstallProblem{kind, Shown(target), e.what()};
    }
  }
  const fs::path probe = installed / kProbeName;
  try {
    paradox::BinaryFile::Open(probe, paradox::FileAccess::kCreateExclusive).reset();
    paradox::RemoveFile(probe);
  } catch (const EDBEngineError& e) {
    paradox::RemoveFileIfPossible(probe);
    return InstallProblem{Kind::kFolderNotWritable, Shown(installed), e.what()};
  }
  return std::nullopt;
}

}  // namespace programfiles
