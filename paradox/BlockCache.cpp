#include "paradox/BlockCache.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "paradox/BinaryFile.h"

namespace paradox {

namespace {
// Neighbouring changed blocks are gathered into writes of about this size.
constexpr std::size_t kWriteRunBytes = 2u << 20;

// Block buffers of caches that were destroyed, handed to the caches made after them. A table
// is opened and closed many times over (a restructure reads one table and writes another, then
// the next), each time filling a cache of megabytes; fresh memory costs the system a page fault
// per page at its first write, and the C library gives freed memory back to the system, so
// every new cache would pay that again. Up to two caches' worth is kept (a restructure holds two).
class SpareBlocks {
 public:
  static constexpr std::size_t kMostBytes = 16u << 20;

  static SpareBlocks& Shared() {
    static SpareBlocks spares;
    return spares;
  }
  // A buffer kept for blocks of `size` bytes, or an empty string.
  std::string Take(std::size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = kept_.find(size);
    if (it == kept_.end() || it->second.empty()) return {};
    std::string block = std::move(it->second.back());
    it->second.pop_back();
    bytes_ -= size;
    return block;
  }
  void Give(std::size_t size, std::string block) {
    if (block.capacity() < size) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (bytes_ + size > kMostBytes) return;
    kept_[size].push_back(std::move(block));
    bytes_ += size;
  }

 private:
  std::mutex mutex_;
  std::map<std::size_t, std::vector<std::string>> kept_;  // by block size
  std::size_t bytes_ = 0;
};
}  // namespace

BlockCache::BlockCache(BinaryFile& file, std::uint64_t firstBlockAt, std::size_t blockSize, std::size_t capacityBytes)
    : file_(&file), firstBlockAt_(firstBlockAt), blockSize_(blockSize), capacity_(std::max<std::size_t>(4, capacityBytes / blockSize)) {}

BlockCache::~BlockCache() {
  SpareBlocks& spares = SpareBlocks::Shared();
  for (Slot& slot : slots_) spares.Give(blockSize_, std::move(slot.bytes));
}

BlockCache::Slot* BlockCache::Find(std::uint16_t number) {
  if (number >= where_.size() || where_[number] == 0) return nullptr;
  return &slots_[where_[number] - 1];
}

void BlockCache::Unlink(std::uint32_t i) {
  Slot& s = slots_[i];
  (s.newer == kNone ? newest_ : slots_[s.newer].older) = s.older;
  (s.older == kNone ? oldest_ : slots_[s.older].newer) = s.newer;
  s.newer = s.older = kNone;
}

void BlockCache::MakeNewest(std::uint32_t i) {
  Slot& s = slots_[i];
  s.older = newest_;
  s.newer = kNone;
  if (newest_ != kNone) slots_[newest_].newer = i;
  newest_ = i;
  if (oldest_ == kNone) oldest_ = i;
}

// A slot for a block about to come in: an unused one, a new one while the pool is not full,
// else the oldest, whose block leaves (written first when changed).
std::uint32_t BlockCache::TakeSlot() {
  if (!unused_.empty()) {
    const std::uint32_t i = unused_.back();
    unused_.pop_back();
    return i;
  }
  if (slots_.size() < capacity_) {
    slots_.emplace_back();
    slots_.back().bytes = SpareBlocks::Shared().Take(blockSize_);
    return static_cast<std::uint32_t>(slots_.size() - 1);
  }
  const std::uint32_t i = oldest_;
  Slot& s = slots_[i];
  if (s.dirty) WriteNeighbours(s.number);
  Unlink(i);
  where_[s.number] = 0;
  return i;
}

BlockCache::Slot& BlockCache::Fetch(std::uint16_t number, bool load) {
  if (Slot* held = Find(number)) {
    const auto i = static_cast<std::uint32_t>(held - slots_.data());
    if (newest_ != i) {
      Unlink(i);
      MakeNewest(i);
    }
    return *held;
  }
  const std::uint32_t i = TakeSlot();
  Slot& s = slots_[i];
  s.dirty = false;
  if (load) {
    try {
      file_->Read(firstBlockAt_ + static_cast<std::uint64_t>(number - 1) * blockSize_, blockSize_, s.bytes);
    } catch (...) {
      unused_.push_back(i);
      throw;
    }
  }
  s.number = number;
  if (number >= where_.size()) where_.resize(std::max<std::size_t>(number + 1u, where_.size() * 2), 0);
  where_[number] = i + 1;
  MakeNewest(i);
  return s;
}

// A table filled in order leaves a long run of changed blocks behind its end, each of which
// would otherwise leave the cache in a write of its own. They go out together with the one
// leaving, and stay as clean copies. The block last asked for is left out: it is likely the
// one still being filled.
void BlockCache::WriteNeighbours(std::uint16_t number) {
  const std::size_t most = std::max<std::size_t>(1, kWriteRunBytes / blockSize_);
  const std::uint16_t lastAsked = newest_ == kNone ? 0 : slots_[newest_].number;
  auto joins = [&](std::uint32_t n) {
    if (n == 0 || n > 0xFFFF || n == lastAsked) return false;
    const Slot* s = Find(static_cast<std::uint16_t>(n));
    return s && s->dirty;
  };
  std::uint32_t first = number, last = number;
  while (last - first + 1 < most && joins(first - 1)) --first;
  while (last - first + 1 < most && joins(last + 1)) ++last;
  std::string& run = run_;
  run.clear();
  for (std::uint32_t n = first; n <= last; ++n) run += Find(static_cast<std::uint16_t>(n))->bytes;
  WriteRun(static_cast<std::uint16_t>(first), run);
  for (std::uint32_t n = first; n <= last; ++n) Find(static_cast<std::uint16_t>(n))->dirty = false;
  dirtyCount_ -= last - first + 1;
}

const std::string& BlockCache::Read(std::uint16_t number) { return Fetch(number, true).bytes; }

std::string& BlockCache::Modify(std::uint16_t number) {
  Slot& s = Fetch(number, true);
  if (!s.dirty) ++dirtyCount_;
  s.dirty = true;
  return s.bytes;
}

std::string& BlockCache::Replace(std::uint16_t number) {
  Slot& s = Fetch(number, false);
  if (!s.dirty) ++dirtyCount_;
  s.dirty = true;
  s.bytes.assign(blockSize_, '\0');
  return s.bytes;
}

void BlockCache::WriteRun(std::uint16_t first, const std::string& bytes) {
  file_->Write(firstBlockAt_ + static_cast<std::uint64_t>(first - 1) * blockSize_, bytes);
}

void BlockCache::WriteBack() {
  if (dirtyCount_ == 0) return;
  std::vector<std::uint16_t> dirty;
  for (const Slot& slot : slots_)
    if (slot.dirty) dirty.push_back(slot.number);
  std::sort(dirty.begin(), dirty.end());
  std::string& run = run_;
  run.clear();
  std::size_t runFirst = 0;
  for (std::size_t i = 0; i < dirty.size(); ++i) {
    if (run.empty()) runFirst = i;
    run += Find(dirty[i])->bytes;
    const bool last = i + 1 == dirty.size() || dirty[i + 1] != dirty[i] + 1 || run.size() >= kWriteRunBytes;
    if (!last) continue;
    WriteRun(dirty[runFirst], run);
    // Only a block that reached the file is clean: after a failed write the rest stay dirty, so
    // a later flush still knows the table is not whole.
    for (std::size_t j = runFirst; j <= i; ++j) Find(dirty[j])->dirty = false;
    dirtyCount_ -= i + 1 - runFirst;
    run.clear();
  }
}

void BlockCache::Clear() {
  unused_.clear();
  for (std::uint32_t i = 0; i < slots_.size(); ++i) {
    Slot& s = slots_[i];
    if (Find(s.number) == &s) where_[s.number] = 0;
    s.dirty = false;
    s.newer = s.older = kNone;
    unused_.push_back(i);
  }
  newest_ = oldest_ = kNone;
  dirtyCount_ = 0;
}

}  // namespace paradox
