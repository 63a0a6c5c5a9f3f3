#pragma once
// A file opened for the engine, with the share mode that keeps other programs out.
// Windows: CreateFileW share modes (exclusive = no sharing; shared = read sharing, and
// refused while someone holds it exclusively). Elsewhere: flock() locks on the open file
// description (exclusive = LOCK_EX, shared = LOCK_SH), held until the file is closed; these
// work between processes and are not dropped when another descriptor of the same file closes.
//
// Since no other writer can exist while a file is open (a shared open admits readers only, an
// exclusive one nobody), the file keeps what it has learnt: its size, and a window of the bytes
// it last read. The engine reads in small pieces (a block header, a memo slot, a blob), mostly
// one after another; the window turns a run of them into one system call. It starts at one
// page around the piece asked for and grows (to 64 KiB, then fourfold) while reads go on where
// it ends, up to 2 MiB: a scan costs a system call per two megabytes, a jump one page. Writes
// update the bytes of the window they cover, so it never holds stale data.
//
// A file written mostly at its end (the memo file) may gather writes (GatherWrites): a write
// that continues the one before is held in memory, and the run goes to the file as one write
// once it is large enough, or before anything else touches the file: another write, a read of
// those bytes, a size change, a flush. Gathered bytes not yet written when the file is
// destroyed are dropped: an owner that needs them on the disk calls Sync().
//
// Every Read, Truncate and Sync passes the fault gate (FaultInjection.h), also a read answered
// from the window: a fault planned for the nth read meets the same read whether its bytes came
// from the disk or from memory. A write passes it when it goes to the file: a gathered run
// once, as the one write the disk sees.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "os/FaultInjection.h"

namespace paradox {

enum class FileAccess { kReadShared, kReadWriteExclusive, kCreateExclusive };

class BinaryFile {
 public:
  // Fails with EDBEngineError: kFileNotFound, kFileLocked ("Table is busy."), kIoError.
  static std::unique_ptr<BinaryFile> Open(const std::filesystem::path& path, FileAccess access);
  virtual ~BinaryFile() = default;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  std::uint64_t Size() const;
  // Reads exactly `size` bytes at `offset`; a short read is kCorruptFile ("file ends early").
  std::string Read(std::uint64_t offset, std::size_t size) const;
  // The same into `into`, whose memory is reused: for callers that read piece after piece.
  void Read(std::uint64_t offset, std::size_t size, std::string& into) const;
  void Write(std::uint64_t offset, const std::string& bytes);
  void Truncate(std::uint64_t size);
  void Sync();
  // From now on, writes that continue one another are gathered into runs of `runBytes`.
  void GatherWrites(std::size_t runBytes);
  const std::filesystem::path& Path() const { return path_; }

 protected:
  explicit BinaryFile(std::filesystem::path p) : path_(std::move(p)) {}

  // The platform's side. Each throws the engine's kIoError with the system's reason.
  virtual std::uint64_t SystemSize() const = 0;
  // Reads up to `size` bytes into `into`; fewer only where the file ends.
  virtual std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) const = 0;
  virtual void WriteAt(std::uint64_t offset, const std::string& bytes) = 0;
  virtual void SetSize(std::uint64_t size) = 0;
  virtual void SyncToDisk() = 0;
  // Raises the error that the system's own failure of `op` would give, for a fault of the gate.
  [[noreturn]] virtual void FailWith(os::InjectedFault fault, os::FileOperation op, std::optional<std::uint64_t> at) const = 0;
  // The words of an I/O error of `op` ("read failed").
  static const char* FailureText(os::FileOperation op);

  std::filesystem::path path_;

 private:
  void PassGate(os::FileOperation op, std::optional<std::uint64_t> at = std::nullopt) const;
  bool InWindow(std::uint64_t offset, std::size_t size) const;
  void FillWindow(std::uint64_t offset, std::size_t size) const;
  [[noreturn]] void EndsEarly(std::uint64_t at) const;
  void PatchWindow(std::uint64_t offset, const std::string& bytes);
  void WriteThrough(std::uint64_t offset, const std::string& bytes);
  bool Gathers(std::uint64_t offset) const;
  void WriteGathered() const;

  mutable std::optional<std::uint64_t> size_;  // unknown after a failed write
  mutable std::string window_;
  mutable std::uint64_t windowAt_ = 0;
  std::size_t gatherBytes_ = 0;  // 0: every write goes to the file at once
  mutable std::string gathered_;
  mutable std::uint64_t gatheredAt_ = 0;
};

// UTF-8 form of a path for messages.
std::string PathText(const std::filesystem::path& p);

}  // namespace paradox
