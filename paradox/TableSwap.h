#pragma once
// Putting a rebuilt table in the place of the table it replaces, so that a crash at any moment
// leaves every record under one of the two names and the next settling finishes the job.
//
// The new table must be complete and flushed before the swap starts. The caller names the old
// table's files with their sizes as it last saw them (verified in the backup, say). The swap is
// recorded in a journal FINAL~RB.JNL (FINAL the final base name; not a family member):
//   "new NEWBASE", "old OLDBASE", then one "file NAME SIZE" line per old file (the size after
//   the last space, so a name may hold spaces).
//   1. the journal is written and flushed;
//   2. the old family is listed again: one that differs from the journal's (a file more or
//      less, another size) stops the swap with the journal removed and both tables kept;
//   3. exactly the listed files are removed, the data file first;
//   4. every file of the new family takes the final base name, the data file first;
//   5. the journal is removed.
// The old data file decides. While it and the new data file (under its own name) are both
// there, nothing irrevocable has happened: settling undoes the swap, the journal going first,
// then the new table's files; the old table is kept byte for byte, with whatever its program
// wrote to it since. Once the old data file is gone, or the new one has moved (the final name
// differs from the old one only in letter case, so only the new data file's own name tells),
// settling rolls forward. A failing swap undoes itself at once where it can, else tries once
// more to roll forward; what is left then is for SettleTableSwap. A lock file FINAL~RB.LCK,
// held open exclusively for the whole swap, keeps settling out of a live swap.
//
// Journals of earlier versions hold no "file" lines; their old family is every family file of
// OLDBASE.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "paradox/Settled.h"
#include "paradox/TableFamily.h"  // FamilyFilesByBase, which the swap lists families with

namespace paradox {

// Called after each file operation of a swap with the file's name; a throw there is a failure
// (or, in a test, a crash) at that point.
using SwapProbe = std::function<void(std::string_view file)>;

// A file of a table's family as it stood when listed: its name in the folder and its size.
struct ListedFile {
  std::string name;  // UTF-8 file name, as stored in the folder
  std::uint64_t size = 0;
  bool operator==(const ListedFile&) const = default;
};

// The family files of base name `base` in `dir` (any letter case), the data file first, with
// their sizes. A listing that fails raises EDBEngineError; it never yields a short list.
std::vector<ListedFile> ListFamily(const std::filesystem::path& dir, std::string_view base);

// Replaces the table `oldName` of `dir` by the table `newName`, which then bears `finalName`.
// `oldName` and `finalName` have the same base name apart from letter case ("tovo.db", "TOVO").
// `oldFiles` are the old table's files the caller saw (ListFamily); the swap removes those and
// no other, and refuses (kFamilyChanged, nothing removed) when the folder no longer holds
// exactly them. A journal already pending for `finalName` is refused (kReplacementPending).
// EDBEngineError on failure.
void SwapInTable(const std::filesystem::path& dir, std::string_view oldName, std::string_view newName,
                 std::string_view finalName, const std::vector<ListedFile>& oldFiles, const SwapProbe& probe = {});

// Completes or undoes a swap into `tableName` that was interrupted. kNothing only when none is
// pending. A swap that is running (its lock is held) is EDBEngineError kFileLocked; any other
// failure to settle raises too, the journal then staying for a later attempt.
Settled SettleTableSwap(const std::filesystem::path& dir, std::string_view tableName);

// Whether a pending swap journal of `dir` names `base` (any letter case) as its new or its old
// table. Only reads.
bool SwapPendingFor(const std::filesystem::path& dir, std::string_view base);

}  // namespace paradox
