#pragma once
// The program files installed all or nothing. Before the extraction library runs, every target
// it is about to replace in the installed folder is copied into a rollback folder of its own
// there (same drive: putting back is a copy and a rename, never a trip across volumes), and the
// list of what was kept is written and flushed. After the library, every target is compared with
// the archive (size and CRC-16, read with our own archive reader, whichever library did the
// work). Anything short of every target matching puts every kept file back and removes the
// targets that had no old file. A power cut anywhere leaves the list behind; the next run puts
// the kept files back before it does anything else.
//
// The rollback folder, in the installed folder:
//   KEPT.LST   the list, UTF-8, CR LF lines, written durably (a complete file or none):
//                NORVEX-KEPT 1
//                K <size> <target name>   an old file, copied as <n>.KEP (n counts every entry from 1)
//                N <target name>          a target that had no old file: removed on putting back
//                END <entries>
//   <n>.KEP    the kept copies
// A folder without a list is what a keep cut short left: no target was touched yet.
//
// Every open, read, write, flush, rename, deletion and folder creation passes the fault gate
// (os/FaultInjection.h); looking at an entry's type and size does not. Paths are UTF-8
// std::filesystem paths; target names are single components, as the extraction command "e"
// writes them (the archive's folders dropped).

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace programfiles {

inline constexpr char kRollbackFolderName[] = "SetupRollback";
inline constexpr char kKeptListName[] = "KEPT.LST";
inline constexpr char kKeptListMagic[] = "NORVEX-KEPT 1";
inline constexpr char kKeptCopyExtension[] = ".KEP";

// The longest path the system's ANSI file functions take, in UTF-16 characters with the
// terminating zero; the extraction library and the shop's program use them.
inline constexpr std::size_t kMaxPath = 260;

// A file member of the payload as its target in the installed folder must hold it.
struct MemberTarget {
  std::string name;                  // UTF-8, one component
  std::uint64_t size = 0;
  std::optional<std::uint16_t> crc;  // absent when the archive keeps none for the member
};

// The file members of an archive (folders skipped), read with our own reader. Throws
// lha::ELhaError when the archive cannot be read, and for a member name that the extraction
// would refuse.
std::vector<MemberTarget> ReadMemberTargets(std::span<const std::uint8_t> archive);
std::vector<MemberTarget> ReadMemberTargets(const std::filesystem::path& archive);

// Copies every target that exists as a file into the rollback folder and writes the list.
// Returns one line per target for SETUP.LOG. A target that is a folder is neither kept nor
// removed later: the extraction cannot replace it, and the verification reports it. On any
// failure the rollback folder is removed again as far as it can be, no target has been touched,
// and the engine's EDBEngineError (or Exception when an earlier run's list is still there)
// propagates.
std::vector<std::string> KeepProgramFiles(const std::filesystem::path& installedFolder,
                                          const std::vector<MemberTarget>& members);

enum class TargetState { kAsArchived, kMissing, kNotAFile, kOtherSize, kOtherCrc, kUnreadable };

struct TargetCheck {
  std::string name;
  TargetState state = TargetState::kAsArchived;
  std::string detail;  // for SETUP.LOG: the sizes, the CRCs, or the engine's text
};

// Each target compared with the archive, in the archive's order. Writes nothing.
std::vector<TargetCheck> VerifyTargets(const std::filesystem::path& installedFolder,
                                       const std::vector<MemberTarget>& members);

struct PutBackReport {
  bool found = false;     // the installed folder held a rollback folder
  bool complete = true;   // every target is its old file again (or absent where it had none)
                          // and the rollback folder is gone
  std::vector<std::string> lines;  // for SETUP.LOG: each file and its state
};

// Puts every kept file back (a target already equal to its kept copy is left as it is), removes
// the targets that had no old file, then removes the rollback folder. A rollback folder without
// a list is only removed. When something cannot be put back, the list and the copies stay for
// the next run and `complete` is false. Never throws for a file operation's failure.
PutBackReport PutBackKeptFiles(const std::filesystem::path& installedFolder);

struct InstallOutcome {
  bool installed = false;  // every target as in the archive; the rollback folder is gone
  std::vector<std::string> lines;
};

// After the extraction: `libraryResult` is the library's result code, std::nullopt when it did
// not run. Installed when the result is 0 and every target matches; the list is then removed
// first (from that moment the new files stand), then the copies. Otherwise, or when the list
// cannot be removed, the kept files are put back.
InstallOutcome CompleteInstall(const std::filesystem::path& installedFolder, const std::vector<MemberTarget>& members,
                               std::optional<int> libraryResult);

// The whole installation: the member targets read from `archive`, kept, `extract` run (it
// returns the library's result code, std::nullopt when the library did not run), then
// CompleteInstall. When `extract` throws, the kept files are put back and the exception
// propagates. Every line for SETUP.LOG goes to `log`. True when the program files are installed.
bool InstallAllOrNothing(const std::filesystem::path& installedFolder, const std::filesystem::path& archive,
                         const std::function<std::optional<int>()>& extract,
                         const std::function<void(const std::string&)>& log);

// What the check before changes found wrong with the program files.
struct InstallProblem {
  enum class Kind { kPathTooLong, kReadOnly, kInUse, kNotWritable, kFolderNotWritable };
  Kind kind = Kind::kPathTooLong;
  std::string path;    // UTF-8, as the message names it
  std::string reason;  // the engine's text, when there is one
};

// Every target that exists as a file must be writable and not in use (opened sharing nothing:
// a sharing violation means another program has it), no target path may be longer than
// kMaxPath allows, and the installed folder must take a new file (a probe file is made and
// removed). The first problem, or std::nullopt. Changes nothing else.
std::optional<InstallProblem> CheckProgramFiles(const std::filesystem::path& installedFolder,
                                                const std::vector<MemberTarget>& members);

// UTF-16 length of a UTF-8 path, as the system counts it.
std::size_t SystemPathLength(const std::string& path);

// Whether an alias folder leaves room within kMaxPath for the longest path the migration
// writes below it (a rebuilt table's family file in the backup folder).
bool AliasFolderFits(const std::string& folder);

}  // namespace programfiles
