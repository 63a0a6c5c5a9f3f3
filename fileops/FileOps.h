#pragma once
// The update run's and the migration's file work: entries of a folder found by name, a table's
// files copied to its backup, folders tested, made and deleted, a file written whole, the
// readme opened. Paths are UTF-8 and built with "\" separators; folders are given without a
// trailing backslash. Failures are reported as results or as FolderListError, never as an
// error of the layers above.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fileops {

using FileNameList = std::vector<std::string>;

// Attribute bits as the file enumeration reports them.
constexpr std::uint32_t kFaReadOnly = 0x01;
constexpr std::uint32_t kFaHidden = 0x02;
constexpr std::uint32_t kFaDirectory = 0x10;
constexpr std::uint32_t kFaReparsePoint = 0x400;  // junctions and links: never recursed into
constexpr std::uint16_t kFaAnyFile = 63;  // read-only, hidden, system, volume, directory, archive

// The system's text for an error code, as the platform words it: on Windows the system
// message and " (error <n>)", natively the C library's text.
std::string SystemErrorText(const std::error_code& error);

// A folder that could not be listed, or whose listing broke off. `Folder()` ends with "\";
// `Detail()` is SystemErrorText of the code.
class FolderListError : public std::system_error {
 public:
  FolderListError(std::error_code error, std::string folder);
  const std::string& Folder() const { return folder_; }
  const std::string& Detail() const { return detail_; }

 private:
  std::string folder_;
  std::string detail_;
};

// Collects entries of `folder` that pass the attribute test and match `names` by `mode`:
//   "fFile"  the names up to their last "." are equal (ASCII case ignored);
//   "fExt"   the extensions are equal (see FileOps.cpp); only names with a ".";
//   "fAll"   every candidate.
// An entry is a candidate when its attributes are not exactly the directory bit and either
// share a bit with `attributeMask`, or, with `takeBare`, hold none of the six bits of
// kFaAnyFile: 0, or only bits such as "normal" (0x80), "not content indexed", "compressed" or
// "offline", which is what a file shows once backup software has cleared its archive bit.
// With `clearAttributes`, the read-only and hidden bits of every entry are removed; with
// `recurse`, subfolders are searched too (not those reached through a junction or link).
// Appended paths are `folder` + "\" + entry name, never with a trailing "\".
// A missing folder yields nothing; one that cannot be listed raises FolderListError (the
// listing passes the fault gate as os::FileOperation::kList).
void FindFiles(const std::string& folder, std::uint16_t attributeMask, bool takeBare,
               const FileNameList& names, std::string_view mode, bool clearAttributes,
               bool addBackslash, bool recurse, FileNameList& found, bool clearFound);

// Copies every file of `sourceFolder` whose name up to its last "." equals that of `fileName`
// (TOVO.DB: TOVO.DB, tovo.px, TOVO.X02, TOVO; not TOVO_SEIBI.DB) into `targetFolder`,
// replacing files there. Failed copies are not reported (the caller compares the copies); a
// folder that cannot be listed raises FolderListError, as in FindFiles.
void CopyMatchingFiles(const std::string& sourceFolder, const std::string& targetFolder,
                       const std::string& fileName);

// True when `path` names an existing directory; anything unreadable counts as absent.
bool FolderExists(const std::string& path);

// The pieces of the logic above that need no file system.
bool IsFindCandidate(std::uint32_t attributes, std::uint16_t attributeMask, bool takeBare);
// How many times `entryName` is appended for `names` under `mode` (once per matching item).
int CountNameMatches(std::string_view entryName, const FileNameList& names, std::string_view mode);
// A ".htm" command line with its document placeholder taken out: a quoted "%1" with the
// character before it, else a bare %1 with the character before it; one at the very start
// stays. Positions count UTF-16 characters, as the platform's strings do.
std::string RemoveDocumentPlaceholder(std::string_view command);

#ifdef _WIN32
// How writing a whole file ended.
struct WriteResult {
  enum class Stage { kDone, kCreate, kWrite };
  Stage stage = Stage::kDone;
  std::uint32_t written = 0;  // bytes written before a write failed
  DWORD error = 0;            // the system's error code of the failed step
  explicit operator bool() const { return stage == Stage::kDone; }
};

// Creates or replaces `path` and writes `bytes` to it in one write. The open passes the fault
// gate as kOpen, the write as kWrite.
WriteResult WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Creates the folder `path`, one level. False, with the system's error code set, when it
// cannot, an existing folder included: true means that this call made it.
bool CreateOneFolder(const std::string& path);

// Deletes the file `path`. False, with the system's error code set, when it cannot.
bool DeleteOneFile(const std::string& path);

// Deletes `path` with everything in it through the shell, without asking and without the
// recycle bin; the shell's own progress and error windows may appear. Nothing is reported.
void DeleteFolder(HWND owner, const std::string& path);

// Opens `document` with the shell; when the shell cannot, starts the program registered for
// ".htm" with the document appended to its command line. Nothing is reported.
void OpenDocument(const std::string& document, int showCommand);

// Reads the default value of HKEY_CLASSES_ROOT\`keyPath` into `value` (empty when the key has
// none that is text). Returns whether the key could be opened; `value` is untouched if not.
bool ReadClassesRootDefault(const std::string& keyPath, std::string& value);
#endif

}  // namespace fileops
