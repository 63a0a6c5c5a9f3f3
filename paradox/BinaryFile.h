#pragma once
// A file opened for the engine, with the share mode that keeps other programs out.
// Windows: CreateFileW share modes (exclusive = no sharing; shared = read sharing, and
// refused while someone holds it exclusively). Elsewhere: flock() locks on the open file
// description (exclusive = LOCK_EX, shared = LOCK_SH), held until the file is closed; these
// work between processes and are not dropped when another descriptor of the same file closes.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace paradox {

enum class FileAccess { kReadShared, kReadWriteExclusive, kCreateExclusive };

class BinaryFile {
 public:
  // Fails with EDBEngineError: kFileNotFound, kFileLocked ("Table is busy."), kIoError.
  static std::unique_ptr<BinaryFile> Open(const std::filesystem::path& path, FileAccess access);
  virtual ~BinaryFile() = default;

  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; a short read is kCorruptFile ("file ends early").
  virtual std::string Read(std::uint64_t offset, std::size_t size) const = 0;
  virtual void Write(std::uint64_t offset, const std::string& bytes) = 0;
  virtual void Truncate(std::uint64_t size) = 0;
  virtual void Sync() = 0;
  const std::filesystem::path& Path() const { return path_; }

 protected:
  explicit BinaryFile(std::filesystem::path p) : path_(std::move(p)) {}
  std::filesystem::path path_;
};

// UTF-8 form of a path for messages.
std::string PathText(const std::filesystem::path& p);

}  // namespace paradox
