#pragma once
// File-level work of the update run and the migration: the payload resource written out, the
// temporary folder deleted, a table's files backed up, the readme opened. Paths are UTF-8 and
// built with "\" separators; folders are given without a trailing backslash.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/SysUtils.h"

#ifdef _WIN32
#include <windows.h>
#endif

// The class library's stream and resource errors. Messages name the file or resource and, for
// the platform's failures, its error text.
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EResNotFound : public Exception {
 public:
  using Exception::Exception;
};

using FileNameList = std::vector<std::string>;

// Attribute bits as the file enumeration reports them.
constexpr std::uint32_t kFaReadOnly = 0x01;
constexpr std::uint32_t kFaHidden = 0x02;
constexpr std::uint32_t kFaDirectory = 0x10;
constexpr std::uint32_t kFaReparsePoint = 0x400;  // junctions and links: never recursed into
constexpr std::uint16_t kFaAnyFile = 63;  // read-only, hidden, system, volume, directory, archive

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
// A missing folder yields nothing; one that cannot be listed raises EDBEngineError.
void FindFiles(const std::string& folder, std::uint16_t attributeMask, bool takeBare,
               const FileNameList& names, std::string_view mode, bool clearAttributes,
               bool addBackslash, bool recurse, FileNameList& found, bool clearFound);

// Copies every file of `sourceFolder` whose name up to its last "." equals that of `fileName`
// (TOVO.DB: TOVO.DB, tovo.px, TOVO.X02, TOVO; not TOVO_SEIBI.DB) into `targetFolder`,
// replacing files there. Failed copies are not reported (the caller compares the copies); a
// folder that cannot be listed raises EDBEngineError, as in FindFiles.
void CopyMatchingFiles(const std::string& sourceFolder, const std::string& targetFolder,
                       const std::string& fileName);

// The pieces of the logic above that need no file system.
bool IsFindCandidate(std::uint32_t attributes, std::uint16_t attributeMask, bool takeBare);
// How many times `entryName` is appended for `names` under `mode` (once per matching item).
int CountNameMatches(std::string_view entryName, const FileNameList& names, std::string_view mode);
// A ".htm" command line with its document placeholder taken out: a quoted "%1" with the
// character before it, else a bare %1 with the character before it; one at the very start
// stays. Positions count UTF-16 characters, as the platform's strings do.
std::string RemoveDocumentPlaceholder(std::string_view command);

#ifdef _WIN32
// The bytes of the program's own RCDATA resource "PGM", mapped with the program's image.
// Throws EResNotFound.
std::span<const std::uint8_t> PayloadResourceBytes();

// Writes the program's own RCDATA resource "PGM" to `folder` + "\" + `fileName`, creating or
// replacing it. Throws EResNotFound or EFCreateError/EStreamError.
void SavePayloadResource(const std::string& folder, const std::string& fileName);

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
