#include "paradox/BlockCache.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "paradox/BinaryFile.h"

namespace paradox {

namespace {
// Neighbouring changed blocks are gathered into writes of about this size.
constexpr std::size_t kWriteRunBytes = 1u << 20;

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
  for (auto& [number, slot] : slots_) spares.Give(blockSize_, std::move(slot.bytes));
  if (!spare_.empty()) spares.Give(blockSize_, std::move(spare_.mapped().bytes));
}

BlockCache::Slot& BlockCache::Fetch(std::uint16_t number, bool load) {
  auto it = slots_.find(number);
  if (it != slots_.end()) {
    ages_.splice(ages_.begin(), ages_, it->second.age);
    return it->second;
  }
  MakeRoom();
  Slots::node_type node = std::move(spare_);
  if (node.empty()) {
    // A map node is made by putting an entry in and taking it out again.
    node = slots_.extract(slots_.emplace(number, Slot{}).first);
    node.mapped().bytes = SpareBlocks::Shared().Take(blockSize_);
  }
  node.key() = number;
  Slot& slot = node.mapped();
  slot.dirty = false;
  if (load) {
    try {
      file_->Read(firstBlockAt_ + static_cast<std::uint64_t>(number - 1) * blockSize_, blockSize_, slot.bytes);
    } catch (...) {
      spare_ = std::move(node);
      throw;
    }
  }
  if (spareAge_.empty()) spareAge_.push_front(number);
  ages_.splice(ages_.begin(), spareAge_, spareAge_.begin());
  ages_.front() = number;
  slot.age = ages_.begin();
  return slots_.insert(std::move(node)).position->second;
}

void BlockCache::MakeRoom() {
  while (slots_.size() >= capacity_) {
    const std::uint16_t oldest = ages_.back();
    Slot& s = slots_.at(oldest);
    if (s.dirty) WriteNeighbours(oldest);
    spareAge_.splice(spareAge_.begin(), ages_, s.age);
    spare_ = slots_.extract(oldest);
  }
}

// A table filled in order leaves a long run of changed blocks behind its end, each of which
// would otherwise leave the cache in a write of its own. They go out together with the one
// leaving, and stay as clean copies. The block last asked for is left out: it is likely the
// one still being filled.
void BlockCache::WriteNeighbours(std::uint16_t number) {
  const std::size_t most = std::max<std::size_t>(1, kWriteRunBytes / blockSize_);
  auto joins = [&](std::uint32_t n) {
    if (n == 0 || n > 0xFFFF || n == ages_.front()) return false;
    auto it = slots_.find(static_cast<std::uint16_t>(n));
    return it != slots_.end() && it->second.dirty;
  };
  std::uint32_t first = number, last = number;
  while (last - first + 1 < most && joins(first - 1)) --first;
  while (last - first + 1 < most && joins(last + 1)) ++last;
  std::string& run = run_;
  run.clear();
  for (std::uint32_t n = first; n <= last; ++n) run += slots_.at(static_cast<std::uint16_t>(n)).bytes;
  WriteRun(static_cast<std::uint16_t>(first), run);
  for (std::uint32_t n = first; n <= last; ++n) slots_.at(static_cast<std::uint16_t>(n)).dirty = false;
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
  for (auto& [number, slot] : slots_)
    if (slot.dirty) dirty.push_back(number);
  std::sort(dirty.begin(), dirty.end());
  std::string& run = run_;
  run.clear();
  std::size_t runFirst = 0;
  for (std::size_t i = 0; i < dirty.size(); ++i) {
    if (run.empty()) runFirst = i;
    run += slots_.at(dirty[i]).bytes;
    const bool last = i + 1 == dirty.size() || dirty[i + 1] != dirty[i] + 1 || run.size() >= kWriteRunBytes;
    if (!last) continue;
    WriteRun(dirty[runFirst], run);
    // Only a block that reached the file is clean: after a failed write the rest stay dirty, so
    // a later flush still knows the table is not whole.
    for (std::size_t j = runFirst; j <= i; ++j) slots_.at(dirty[j]).dirty = false;
    dirtyCount_ -= i + 1 - runFirst;
    run.clear();
  }
}

void BlockCache::Clear() {
  slots_.clear();
  ages_.clear();
  dirtyCount_ = 0;
}

}  // namespace paradox
