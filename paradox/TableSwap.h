#pragma once
// Putting a rebuilt table in the place of the table it replaces, so that a crash at any moment
// leaves every record under one of the two names, and the next open of the table (or the next
// swap) finishes the job.
//
// The new table must be complete and flushed before the swap starts. The swap is recorded in a
// journal FINAL~RB.JNL (FINAL the final base name; not a family member) before the old table is
// touched:
//   1. the journal is written and flushed: "new NEWBASE" and "old OLDBASE" lines;
//   2. every file of the old table's family is removed, the data file first;
//   3. every file of the new table's family takes the final base name, the data file first;
//   4. the journal is removed.
// While the new data file is still under its own name, step 3 has not begun, so recovery
// removes whatever is left of the old family and renames the whole new one. Once the new data
// file has moved, recovery renames the new members that are left. A lock file FINAL~RB.LCK,
// held open exclusively for the whole swap, keeps a recovery from running into a live swap.

#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

namespace paradox {

// Called after each file operation of a swap with the file's name; a throw there is a failure
// (or, in a test, a crash) at that point.
using SwapProbe = std::function<void(std::string_view file)>;

// Replaces the table `oldName` of `dir` by the table `newName`, which then bears `finalName`.
// `oldName` and `finalName` have the same base name apart from letter case ("tovo.db", "TOVO").
// A failure after the journal is written is completed at once where the files allow; what is
// left then is completed by RecoverTableSwap. EDBEngineError on failure.
void SwapInTable(const std::filesystem::path& dir, std::string_view oldName, std::string_view newName,
                 std::string_view finalName, const SwapProbe& probe = {});

// Completes a swap into `tableName` that was interrupted; nothing when there is none or when
// one is running. Returns true when it completed one.
bool RecoverTableSwap(const std::filesystem::path& dir, std::string_view tableName);

// The family files of base name `base` in `dir` (any letter case), the data file first: what a
// swap removes of the old table.
std::vector<std::filesystem::path> FamilyFilesByBase(const std::filesystem::path& dir, std::string_view base);

}  // namespace paradox
