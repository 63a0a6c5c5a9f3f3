#pragma once
// The one gate every file operation of the engine passes before it asks the operating system:
// opens, reads, writes, size changes, flushes, renames, deletions, copies, folder creation and
// folder listings, of table, index, memo, journal, lock and work files alike. Unarmed, the gate only counts.
// Armed, it answers "fail" for one chosen operation (or for it and every later one of its
// kind), and the caller then takes the very path the real error would take, with the error
// code the system itself would have set (FaultErrno / FaultWin32Error): a disk-full write
// comes out as the engine's I/O error, a sharing violation on an open as "Table is busy.".
//
// Which faults an operation can meet:
// | Fault            | POSIX errno          | Windows error             | Operations               |
// |---|---|---|---|
// | kDiskFull        | ENOSPC               | ERROR_DISK_FULL (112)     | every kind but list      |
// | kAccessDenied    | EACCES               | ERROR_ACCESS_DENIED (5)   | every kind               |
// | kSharingViolation| EWOULDBLOCK on flock | ERROR_SHARING_VIOLATION (32) | open, rename, delete, copy |
// A listing (kList) reads a folder's entries; a full disk does not stop it, a denied one does.
// POSIX has no sharing violation on a rename, a deletion or a copy; there it is EBUSY.
//
// One thread: the engine is used from the user-interface thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace os {

enum class FileOperation : std::uint8_t {
  kOpen,
  kRead,
  kWrite,
  kTruncate,
  kSync,
  kRename,
  kDelete,
  kCopy,
  kMakeFolder,
  kList,
};
constexpr std::size_t kFileOperationKinds = 10;

enum class InjectedFault : std::uint8_t { kDiskFull, kAccessDenied, kSharingViolation };

const char* FileOperationName(FileOperation op);
const char* InjectedFaultName(InjectedFault fault);

// Whether `fault` is one that `op` can meet (the table above).
bool CanMeet(FileOperation op, InjectedFault fault);

struct FaultPlan {
  InjectedFault fault = InjectedFault::kDiskFull;
  std::optional<FileOperation> kind;  // std::nullopt: any operation that can meet the fault
  std::uint64_t nth = 1;              // 1 = the first such operation after arming
  bool persistent = false;            // also every later such operation (a disk that stays full)
};

using ChangeHook = std::function<void(std::uint64_t change)>;

struct FaultState {
  std::array<std::uint64_t, kFileOperationKinds> counts{};
  std::optional<FaultPlan> plan;
  std::uint64_t seen = 0;   // operations that matched the plan so far
  std::uint64_t fired = 0;  // faults handed out
  std::optional<FileOperation> firedAt;  // the kind of the last operation that met one
  std::uint64_t creatingOpens = 0;        // of the opens counted, those that may create the file
  ChangeHook changeHook;                  // crash points; empty when none is set
  std::uint64_t changesSeen = 0;          // disk-changing operations since it was set
};

// The process's one gate state; reached through the functions below.
extern FaultState gFaultState;

// Arms the gate and zeroes the counts. The plan's kind must be able to meet its fault.
void ArmFault(const FaultPlan& plan);
void DisarmFault();
void ResetFileOperationCounts();
std::uint64_t FileOperationCount(FileOperation op);
std::uint64_t FileOperationCount();  // all kinds
// How many faults the armed plan has handed out.
std::uint64_t FaultsFired();
std::optional<FileOperation> LastFaultedOperation();

// Crash points, for tests: `hook` is called with the operation's number (1 for the first after
// setting it) just before each operation that changes the disk as a killed program leaves it:
// an open that may create its file, a write, a size change, a rename, a deletion, a copy or a
// folder made. Reads, listings and other opens change nothing, and neither does a flush for a
// program that dies while the system goes on (what a flush guards against, a power cut, is the
// durable-file tests' concern). Every state a killed run can leave is the state before one of
// those operations: the hook may end the process there, or copy the files aside.
void SetChangeHook(ChangeHook hook);
void ClearChangeHook();
bool ChangesDisk(FileOperation op, bool mayCreate);
// The disk-changing operations counted since the counts were last reset.
std::uint64_t DiskChangingOperationCount();

namespace detail {
std::optional<InjectedFault> MatchArmedPlan(FileOperation op);
void StepTowardsCrash(FileOperation op, bool mayCreate);
}

// Called by the file layer just before it performs `op`: the fault to report instead, or
// std::nullopt to go ahead. `mayCreate`: an open that makes its file when it is missing.
inline std::optional<InjectedFault> FaultGate(FileOperation op, bool mayCreate = false) {
  ++gFaultState.counts[static_cast<std::size_t>(op)];
  if (mayCreate) ++gFaultState.creatingOpens;
  if (gFaultState.changeHook) detail::StepTowardsCrash(op, mayCreate);
  if (!gFaultState.plan) return std::nullopt;
  return detail::MatchArmedPlan(op);
}

// The system's own code for a fault met by `op`.
int FaultErrno(InjectedFault fault, FileOperation op);
unsigned long FaultWin32Error(InjectedFault fault);

}  // namespace os
