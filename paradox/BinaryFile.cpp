#include "paradox/BinaryFile.h"

#include <algorithm>
#include <cstring>

#include "paradox/EngineError.h"
#include "text/Utf8Path.h"

namespace paradox {

namespace {

// The window's first size, and the alignment of its start: one page.
constexpr std::size_t kWindowStart = 4096;
// The size it takes at once when reads go on where it ends: a scan is under way.
constexpr std::size_t kWindowOnward = 64 * 1024;
// Its largest size; a read at least this long bypasses it.
constexpr std::size_t kWindowMost = 2 * 1024 * 1024;

}  // namespace

std::string PathText(const std::filesystem::path& p) { return text::PathToUtf8(p); }

const char* BinaryFile::FailureText(os::FileOperation op) {
  switch (op) {
    case os::FileOperation::kRead: return "read failed";
    case os::FileOperation::kWrite: return "write failed";
    case os::FileOperation::kTruncate: return "cannot set the file size";
    case os::FileOperation::kSync: return "flush failed";
    default: return "failed";
  }
}

void BinaryFile::PassGate(os::FileOperation op, std::optional<std::uint64_t> at) const {
  if (auto fault = os::FaultGate(op)) FailWith(*fault, op, at);
}

std::uint64_t BinaryFile::Size() const {
  if (!size_) size_ = SystemSize();
  return *size_;
}

bool BinaryFile::InWindow(std::uint64_t offset, std::size_t size) const {
  return offset >= windowAt_ && offset - windowAt_ <= window_.size() && window_.size() - (offset - windowAt_) >= size;
}

void BinaryFile::FillWindow(std::uint64_t offset, std::size_t size) const {
  const bool onward = !window_.empty() && offset == windowAt_ + window_.size();
  std::size_t want = onward ? std::min(std::max(window_.size() * 4, kWindowOnward), kWindowMost) : kWindowStart;
  const std::uint64_t start = offset / kWindowStart * kWindowStart;
  const std::uint64_t need = offset + size - start;
  // No read-ahead past the end the file is known to have: most tables are far smaller than a
  // window, and each window is a buffer to allocate and fill.
  if (size_ && *size_ > start) want = static_cast<std::size_t>(std::min<std::uint64_t>(want, *size_ - start));
  want = static_cast<std::size_t>(std::max<std::uint64_t>(want, (need + kWindowStart - 1) / kWindowStart * kWindowStart));
  windowAt_ = start;
  window_.resize(want);
  try {
    window_.resize(ReadAt(start, window_.data(), want));
  } catch (...) {
    window_.clear();
    throw;
  }
}

[[noreturn]] void BinaryFile::EndsEarly(std::uint64_t at) const {
  RaiseEngineError(EngineMessage::kCorruptData, "file ends early", PathText(path_), at);
}

std::string BinaryFile::Read(std::uint64_t offset, std::size_t size) const {
  std::string bytes;
  Read(offset, size, bytes);
  return bytes;
}

void BinaryFile::Read(std::uint64_t offset, std::size_t size, std::string& into) const {
  PassGate(os::FileOperation::kRead, offset);
  if (!gathered_.empty() && offset < gatheredAt_ + gathered_.size() && offset + size > gatheredAt_) WriteGathered();
  if (size == 0) {
    into.clear();
    return;
  }
  if (!InWindow(offset, size)) {
    if (size >= kWindowMost) {
      into.resize(size);
      const std::size_t got = ReadAt(offset, into.data(), size);
      if (got < size) EndsEarly(offset + got);
      return;
    }
    FillWindow(offset, size);
    if (!InWindow(offset, size)) EndsEarly(std::max(offset, windowAt_ + window_.size()));
  }
  into.assign(window_, static_cast<std::size_t>(offset - windowAt_), size);
}

void BinaryFile::PatchWindow(std::uint64_t offset, const std::string& bytes) {
  const std::uint64_t windowEnd = windowAt_ + window_.size();
  const std::uint64_t from = std::max(offset, windowAt_), to = std::min(offset + bytes.size(), windowEnd);
  if (from >= to) return;
  std::memcpy(window_.data() + (from - windowAt_), bytes.data() + (from - offset), static_cast<std::size_t>(to - from));
}

void BinaryFile::GatherWrites(std::size_t runBytes) { gatherBytes_ = runBytes; }

bool BinaryFile::Gathers(std::uint64_t offset) const {
  if (gatherBytes_ == 0) return false;
  return gathered_.empty() || offset == gatheredAt_ + gathered_.size();
}

void BinaryFile::Write(std::uint64_t offset, const std::string& bytes) {
  if (!Gathers(offset)) WriteGathered();
  // A run in itself goes straight to the file, not copied first.
  if (!Gathers(offset) || bytes.empty() || (gathered_.empty() && bytes.size() >= gatherBytes_)) {
    WriteThrough(offset, bytes);
    return;
  }
  // The size is learnt before the file lags behind what it will hold.
  if (!size_) size_ = SystemSize();
  if (gathered_.empty()) gatheredAt_ = offset;
  gathered_ += bytes;
  PatchWindow(offset, bytes);
  size_ = std::max<std::uint64_t>(*size_, offset + bytes.size());
  if (gathered_.size() >= gatherBytes_) WriteGathered();
}

void BinaryFile::WriteThrough(std::uint64_t offset, const std::string& bytes) {
  PassGate(os::FileOperation::kWrite, offset);
  try {
    WriteAt(offset, bytes);
  } catch (...) {
    // Part of the bytes may have reached the file.
    size_.reset();
    window_.clear();
    throw;
  }
  PatchWindow(offset, bytes);
  if (size_) size_ = std::max<std::uint64_t>(*size_, offset + bytes.size());
}

// Const for the reads that need the bytes on the disk first; the file's content is unchanged
// by it as far as any caller can tell.
void BinaryFile::WriteGathered() const {
  if (gathered_.empty()) return;
  std::string run;
  run.swap(gathered_);
  // A failed run is dropped: the caller learns of the failure now, and the file is as after
  // any failed write (its size unknown, its window forgotten: both counted the run already).
  try {
    const_cast<BinaryFile*>(this)->WriteThrough(gatheredAt_, run);
  } catch (...) {
    size_.reset();
    window_.clear();
    throw;
  }
  run.clear();
  gathered_.swap(run);  // its memory is kept for the next run
}

void BinaryFile::Truncate(std::uint64_t size) {
  WriteGathered();
  PassGate(os::FileOperation::kTruncate);
  size_.reset();
  window_.clear();
  SetSize(size);
  size_ = size;
}

void BinaryFile::Sync() {
  WriteGathered();
  PassGate(os::FileOperation::kSync);
  SyncToDisk();
}

}  // namespace paradox
