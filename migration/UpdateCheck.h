#pragma once
// What the update checks before it changes anything on disk, so that a shop never gets the
// new program files over tables the migration would then fail on: both alias folders exist;
// every table the migration opens exclusively is there in both, can be opened exclusively with
// every file of its family (none read-only, none held by another program) and passes the
// engine's own check; new files can be made in both folders and in an existing backup folder;
// each drive has room for the backup and the rebuilt tables.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace updatecheck {

struct AliasFolder {
  std::string alias;
  std::string path;  // UTF-8, no trailing backslash
};

// A full path with its drive or server: "C:\Data", "\\server\share\Data". Not "",
// "\Data" (the root of whatever drive is current) nor "Data" or "C:Data".
bool IsAbsoluteFolder(const std::string& path);

// The tables that the field widening and the rebuilds open exclusively in both folders, in the
// order the migration first opens them.
const std::vector<std::string>& MigratedTables();
// Of those, the ones rebuilt: their files are copied to the backup folder of the live alias
// and written anew.
const std::vector<std::string>& RebuiltTables();

// Bytes the migration may need on the drive of `folder`: the rebuilt tables written anew, each
// widened table rewritten once, and for the live folder (`withBackup`) the backup copies.
std::uint64_t EstimatedNeed(const std::string& folder, bool withBackup);

// The first problem, as the message to show; std::nullopt when the update may go on. The first
// folder is the live one. Changes nothing: the file made to try a folder is removed at once.
// Run after settling (migration/SettleInterrupted.h): `settled` is what settling did, and a
// refusal then ends with those lines instead of "nothing was changed".
std::optional<std::string> CheckBeforeUpdate(const std::vector<AliasFolder>& folders,
                                             const std::vector<std::string>& settled = {});

// A table of a folder with its record count, or the engine's text when it cannot be read.
struct TableCount {
  std::string table;
  std::optional<int> records;
  std::string error;
};
// Every Paradox table (*.db) in `folder`, by name.
std::vector<TableCount> CountRecords(const std::string& folder);

}  // namespace updatecheck
