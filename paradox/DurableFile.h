#pragma once
// Whole-file writes that a crash cannot leave half done, and the renames, deletions and folder
// creation of the engine's files. Each passes the fault gate (paradox/FaultInjection.h).

#include <filesystem>
#include <string>

namespace paradox {

// Writes `bytes` to `path` + ".tmp", flushes it to the disk, then renames it over `path`.
// EDBEngineError kIoError on failure (the old file is then unchanged and the ".tmp" gone).
void WriteFileDurably(const std::filesystem::path& path, const std::string& bytes);

// Renames `from` to `to`, replacing `to` if it exists, in one step of the file system
// (rename(2); MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
// EDBEngineError kIoError "Cannot rename file." on failure.
void ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes the file `path`; one that is not there is no error. EDBEngineError kIoError
// "Cannot delete file." on failure.
void RemoveFile(const std::filesystem::path& path);

// The same for work files whose staying behind does no harm: false when it is still there.
bool RemoveFileIfPossible(const std::filesystem::path& path) noexcept;

// Creates the folder `path` (its parent must exist); false when it is not there afterwards.
bool MakeFolder(const std::filesystem::path& path);

// Flushes the directory entry changes of `dir` (POSIX; a no-op on Windows, where
// MOVEFILE_WRITE_THROUGH already waits for the rename). EDBEngineError kIoError when the
// system reports that the entries could not be written.
void SyncDirectory(const std::filesystem::path& dir);

}  // namespace paradox
