#pragma once
// Whole-file writes that a crash cannot leave half done, and the rename they rest on.

#include <filesystem>
#include <string>

namespace paradox {

// Writes `bytes` to `path` + ".tmp", flushes it to the disk, then renames it over `path`.
// EDBEngineError kIoError on failure (the old file is then unchanged).
void WriteFileDurably(const std::filesystem::path& path, const std::string& bytes);

// Renames `from` to `to`, replacing `to` if it exists, in one step of the file system
// (rename(2); MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
void ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to);

// Flushes the directory entry changes of `dir` (POSIX; a no-op on Windows, where
// MOVEFILE_WRITE_THROUGH already waits for the rename).
void SyncDirectory(const std::filesystem::path& dir);

}  // namespace paradox
