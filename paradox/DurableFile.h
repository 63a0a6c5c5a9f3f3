#pragma once
// Whole-file writes that a crash cannot leave half done, and the renames, deletions, folder
// creation and folder listings of the engine's files. Each passes the fault gate
// (os/FaultInjection.h).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class EDBEngineError;

namespace paradox {

class BinaryFile;

// Writes `bytes` to `path` + ".tmp", flushes it to the disk, then renames it over `path`.
// EDBEngineError kIoError on failure (the old file is then unchanged and the ".tmp" gone).
void WriteFileDurably(const std::filesystem::path& path, const std::string& bytes);

// The same for a file too large to hold in memory at once, written piece by piece: the pieces
// go to `path` + ".tmp", and Commit() flushes it to the disk and renames it over `path`.
// Destroyed uncommitted (a failure on the way), it removes the ".tmp"; `path` is then unchanged.
class DurableFileWriter {
 public:
  explicit DurableFileWriter(std::filesystem::path path);
  ~DurableFileWriter();
  DurableFileWriter(const DurableFileWriter&) = delete;
  DurableFileWriter& operator=(const DurableFileWriter&) = delete;

  void Append(const std::string& bytes);
  void Commit();

 private:
  void Abandon(const ::EDBEngineError& e);

  std::filesystem::path path_, tmp_;
  std::unique_ptr<BinaryFile> file_;
  std::uint64_t size_ = 0;
};

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

// One entry of a listed folder.
struct FolderEntry {
  std::filesystem::path path;
  bool regularFile = false;
};

// Every entry of `dir`, passing the gate once as a listing. A folder that does not exist lists
// nothing; any other failure, to open the folder, to read on in it or to learn an entry's kind,
// is EDBEngineError kIoError "Cannot list the folder.": a list is never cut short unnoticed.
std::vector<FolderEntry> ListFolder(const std::filesystem::path& dir);

// The size of the file `path`; EDBEngineError kIoError when the system cannot tell it.
std::uint64_t FileSizeOf(const std::filesystem::path& path);

// Flushes the directory entry changes of `dir` (POSIX; a no-op on Windows, where
// MOVEFILE_WRITE_THROUGH already waits for the rename). EDBEngineError kIoError when the
// folder cannot be opened or the system reports that the entries could not be written.
void SyncDirectory(const std::filesystem::path& dir);

}  // namespace paradox
