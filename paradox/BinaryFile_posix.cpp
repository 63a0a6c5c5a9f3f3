#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"

namespace paradox {

namespace {

class PosixFile final : public BinaryFile {
 public:
  PosixFile(std::filesystem::path p, int fd) : BinaryFile(std::move(p)), fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

 protected:
  std::uint64_t SystemSize() const override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("cannot read the file size");
    return static_cast<std::uint64_t>(st.st_size);
  }

  std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) const override {
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::pread(fd_, into + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail(FailureText(os::FileOperation::kRead), offset + done);
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  void WriteAt(std::uint64_t offset, const std::string& bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail(FailureText(os::FileOperation::kWrite), offset);
      done += static_cast<std::size_t>(n);
    }
  }

  void SetSize(std::uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail(FailureText(os::FileOperation::kTruncate));
  }

  void SyncToDisk() override {
    if (::fsync(fd_) != 0) Fail(FailureText(os::FileOperation::kSync));
  }

  [[noreturn]] void FailWith(os::InjectedFault fault, os::FileOperation op, std::optional<std::uint64_t> at) const override {
    errno = os::FaultErrno(fault, op);
    Fail(FailureText(op), at);
  }

 private:
  [[noreturn]] void Fail(const char* what, std::optional<std::uint64_t> at = std::nullopt) const {
    RaiseEngineError(EngineMessage::kIoError, std::string(what) + ": " + std::strerror(errno), PathText(path_), at);
  }
  int fd_;
};

// An existing file first, so that one this call makes can be told from one another program
// holds: a made file that cannot be locked is removed again.
int OpenOrMake(const std::filesystem::path& path, int flags, bool& made) {
  made = false;
  if ((flags & O_CREAT) == 0) return ::open(path.c_str(), flags, 0666);
  for (;;) {
    int fd = ::open(path.c_str(), flags & ~O_CREAT, 0666);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = ::open(path.c_str(), flags | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST) {
      made = fd >= 0;
      return fd;
    }
  }
}

}  // namespace

std::unique_ptr<BinaryFile> BinaryFile::Open(const std::filesystem::path& path, FileAccess access) {
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::kReadShared: flags |= O_RDONLY; break;
    case FileAccess::kReadWriteExclusive: flags |= O_RDWR; break;
    // Emptied only once locked: O_TRUNC would cut a file that another program holds.
    case FileAccess::kCreateExclusive: flags |= O_RDWR | O_CREAT; break;
  }
  // A sharing violation is what another holder's lock gives, so it comes at the lock below.
  const std::optional<os::InjectedFault> fault = os::FaultGate(os::FileOperation::kOpen, access == FileAccess::kCreateExclusive);
  int fd = -1;
  bool made = false;
  if (fault && *fault != os::InjectedFault::kSharingViolation) errno = os::FaultErrno(*fault, os::FileOperation::kOpen);
  else fd = OpenOrMake(path, flags, made);
  if (fd < 0) {
    int e = errno;
    if (e == ENOENT)
      RaiseEngineError(EngineMessage::kTableNotFound, {}, PathText(path));
    RaiseEngineError(EngineMessage::kCannotOpen, std::strerror(e), PathText(path));
  }
  const int op = (access == FileAccess::kReadShared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  for (;;) {
    const int rc = fault ? -1 : ::flock(fd, op);
    if (fault) errno = os::FaultErrno(*fault, os::FileOperation::kOpen);
    if (rc == 0) break;
    if (errno == EINTR) continue;
    const int e = errno;
    ::close(fd);
    if (made) ::unlink(path.c_str());
    if (e == EWOULDBLOCK)
      RaiseEngineError(EngineMessage::kTableBusy, {}, PathText(path));
    RaiseEngineError(EngineMessage::kCannotLock, std::strerror(e), PathText(path));
  }
  auto file = std::make_unique<PosixFile>(path, fd);
  if (access == FileAccess::kCreateExclusive && !made) file->Truncate(0);
  return file;
}

}  // namespace paradox
