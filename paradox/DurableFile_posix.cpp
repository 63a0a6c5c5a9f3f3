#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"

namespace paradox {

namespace {

// The system call's result, or the gate's fault as the call would have reported it.
int Gated(os::FileOperation op, int (*call)(const char*, const char*), const char* a, const char* b) {
  if (auto fault = os::FaultGate(op)) {
    errno = os::FaultErrno(*fault, op);
    return -1;
  }
  return call(a, b);
}

int Unlink(const char* path, const char*) { return ::unlink(path); }
int Rename(const char* from, const char* to) { return std::rename(from, to); }
int MakeDir(const char* path, const char*) { return ::mkdir(path, 0777); }

}  // namespace

void ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (Gated(os::FileOperation::kRename, Rename, from.c_str(), to.c_str()) != 0)
    RaiseEngineError(EngineMessage::kCannotRename, std::strerror(errno), PathText(from));
}

void RemoveFile(const std::filesystem::path& path) {
  if (Gated(os::FileOperation::kDelete, Unlink, path.c_str(), nullptr) != 0 && errno != ENOENT)
    RaiseEngineError(EngineMessage::kCannotDelete, std::strerror(errno), PathText(path));
}

bool RemoveFileIfPossible(const std::filesystem::path& path) noexcept {
  return Gated(os::FileOperation::kDelete, Unlink, path.c_str(), nullptr) == 0 || errno == ENOENT;
}

bool MakeFolder(const std::filesystem::path& path) {
  if (Gated(os::FileOperation::kMakeFolder, MakeDir, path.c_str(), nullptr) == 0) return true;
  struct stat st {};
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SyncDirectory(const std::filesystem::path& dir) {
  int fd = -1;
  if (auto fault = os::FaultGate(os::FileOperation::kOpen)) errno = os::FaultErrno(*fault, os::FileOperation::kOpen);
  else fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A folder that cannot be opened cannot be flushed: its entries may not be on the disk.
  if (fd < 0 && errno == EWOULDBLOCK) RaiseEngineError(EngineMessage::kTableBusy, {}, PathText(dir));
  if (fd < 0) RaiseEngineError(EngineMessage::kCannotOpen, std::strerror(errno), PathText(dir));
  int rc = 0;
  if (auto fault = os::FaultGate(os::FileOperation::kSync)) {
    errno = os::FaultErrno(*fault, os::FileOperation::kSync);
    rc = -1;
  } else {
    rc = ::fsync(fd);
  }
  const int e = errno;
  ::close(fd);
  // Some file systems cannot sync a directory at all (EINVAL); that says nothing about the entries.
  if (rc != 0 && e != EINVAL && e != ENOTSUP)
    RaiseEngineError(EngineMessage::kIoError, std::string("flush failed: ") + std::strerror(e), PathText(dir));
}

}  // namespace paradox
