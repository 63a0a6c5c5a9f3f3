#include "os/FaultInjection.h"

#include <cassert>
#include <cerrno>
#include <utility>

namespace os {

FaultState gFaultState;

namespace {

constexpr unsigned long kWin32AccessDenied = 5;
constexpr unsigned long kWin32SharingViolation = 32;
constexpr unsigned long kWin32DiskFull = 112;

}  // namespace

const char* FileOperationName(FileOperation op) {
  switch (op) {
    case FileOperation::kOpen: return "open";
    case FileOperation::kRead: return "read";
    case FileOperation::kWrite: return "write";
    case FileOperation::kTruncate: return "truncate";
    case FileOperation::kSync: return "sync";
    case FileOperation::kRename: return "rename";
    case FileOperation::kDelete: return "delete";
    case FileOperation::kCopy: return "copy";
    case FileOperation::kMakeFolder: return "make folder";
    case FileOperation::kList: return "list";
  }
  return "?";
}

const char* InjectedFaultName(InjectedFault fault) {
  switch (fault) {
    case InjectedFault::kDiskFull: return "disk full";
    case InjectedFault::kAccessDenied: return "access denied";
    case InjectedFault::kSharingViolation: return "sharing violation";
  }
  return "?";
}

bool CanMeet(FileOperation op, InjectedFault fault) {
  if (op == FileOperation::kList) return fault == InjectedFault::kAccessDenied;
  if (fault != InjectedFault::kSharingViolation) return true;
  return op == FileOperation::kOpen || op == FileOperation::kRename || op == FileOperation::kDelete ||
         op == FileOperation::kCopy;
}

void ArmFault(const FaultPlan& plan) {
  assert(plan.nth >= 1);
  assert(!plan.kind || CanMeet(*plan.kind, plan.fault));
  ResetFileOperationCounts();
  gFaultState.plan = plan;
  gFaultState.seen = 0;
  gFaultState.fired = 0;
  gFaultState.firedAt.reset();
}

void DisarmFault() { gFaultState.plan.reset(); }

void ResetFileOperationCounts() {
  gFaultState.counts.fill(0);
  gFaultState.creatingOpens = 0;
}

std::uint64_t FileOperationCount(FileOperation op) { return gFaultState.counts[static_cast<std::size_t>(op)]; }

std::uint64_t FileOperationCount() {
  std::uint64_t total = 0;
  for (std::uint64_t c : gFaultState.counts) total += c;
  return total;
}

std::uint64_t FaultsFired() { return gFaultState.fired; }

void SetChangeHook(ChangeHook hook) {
  gFaultState.changeHook = std::move(hook);
  gFaultState.changesSeen = 0;
}

void ClearChangeHook() { gFaultState.changeHook = nullptr; }

bool ChangesDisk(FileOperation op, bool mayCreate) {
  switch (op) {
    case FileOperation::kOpen: return mayCreate;
    case FileOperation::kRead:
    case FileOperation::kSync:
    case FileOperation::kList: return false;
    default: return true;
  }
}

std::uint64_t DiskChangingOperationCount() {
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < kFileOperationKinds; ++i)
    if (ChangesDisk(static_cast<FileOperation>(i), false)) total += gFaultState.counts[i];
  return total + gFaultState.creatingOpens;
}

std::optional<FileOperation> LastFaultedOperation() { return gFaultState.firedAt; }

namespace detail {

void StepTowardsCrash(FileOperation op, bool mayCreate) {
  if (ChangesDisk(op, mayCreate)) gFaultState.changeHook(++gFaultState.changesSeen);
}

std::optional<InjectedFault> MatchArmedPlan(FileOperation op) {
  const FaultPlan& plan = *gFaultState.plan;
  if (plan.kind ? *plan.kind != op : !CanMeet(op, plan.fault)) return std::nullopt;
  const std::uint64_t at = ++gFaultState.seen;
  if (at < plan.nth || (at > plan.nth && !plan.persistent)) return std::nullopt;
  ++gFaultState.fired;
  gFaultState.firedAt = op;
  return plan.fault;
}

}  // namespace detail

int FaultErrno(InjectedFault fault, FileOperation op) {
  switch (fault) {
    case InjectedFault::kDiskFull: return ENOSPC;
    case InjectedFault::kAccessDenied: return EACCES;
    case InjectedFault::kSharingViolation: return op == FileOperation::kOpen ? EWOULDBLOCK : EBUSY;
  }
  return EIO;
}

unsigned long FaultWin32Error(InjectedFault fault) {
  switch (fault) {
    case InjectedFault::kDiskFull: return kWin32DiskFull;
    case InjectedFault::kAccessDenied: return kWin32AccessDenied;
    case InjectedFault::kSharingViolation: return kWin32SharingViolation;
  }
  return kWin32AccessDenied;
}

}  // namespace os
