#include "paradox/StagedRecords.h"

#include <algorithm>
#include <cstring>
#include <queue>

#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/KeyOrder.h"
#include "paradox/MemoryAdvice.h"

namespace paradox {

namespace {

constexpr std::size_t kMergeBufferBytes = 256u * 1024u;

std::uint64_t HashKey(std::string_view key) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : key) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h ^ (h >> 29);
}

// A spilled run read front to back through a buffer of a few records.
class RunReader {
 public:
  RunReader(BinaryFile& file, std::uint64_t offset, std::size_t count, std::size_t recordSize)
      : file_(&file), next_(offset), left_(count), recordSize_(recordSize),
        batch_(std::max<std::size_t>(1, kMergeBufferBytes / recordSize)) {
    Refill();
  }
  bool Done() const { return at_ >= buffer_.size(); }
  std::string_view Current() const { return std::string_view(buffer_).substr(at_, recordSize_); }
  void Advance() {
    at_ += recordSize_;
    if (Done()) Refill();
  }

 private:
  void Refill() {
    at_ = 0;
    buffer_.clear();  // keeps its memory for the next batch
    if (left_ == 0) return;
    const std::size_t n = std::min(batch_, left_);
    file_->Read(next_, n * recordSize_, buffer_);
    next_ += n * recordSize_;
    left_ -= n;
  }
  BinaryFile* file_;
  std::uint64_t next_;
  std::size_t left_, recordSize_, batch_;
  std::string buffer_;
  std::size_t at_ = 0;
};

}  // namespace

StagedRecords::StagedRecords(std::filesystem::path workFile, std::size_t recordSize, std::size_t keySize,
                             std::size_t memoryBytes)
    : workPath_(std::move(workFile)), recordSize_(recordSize), keySize_(keySize),
      memoryBytes_(std::max(memoryBytes, recordSize * 64)) {}

StagedRecords::~StagedRecords() { Reset(); }

std::string_view StagedRecords::KeyAt(std::uint32_t ordinal) const {
  return std::string_view(keys_).substr(static_cast<std::size_t>(ordinal) * keySize_, keySize_);
}

bool StagedRecords::ContainsKey(std::string_view key) const {
  if (table_.empty()) return false;
  const std::size_t mask = table_.size() - 1;
  for (std::size_t i = HashKey(key) & mask;; i = (i + 1) & mask) {
    if (table_[i] == 0) return false;
    if (KeyAt(table_[i] - 1) == key) return true;
  }
}

void StagedRecords::IndexKey(std::uint32_t ordinal) {
  const std::size_t mask = table_.size() - 1;
  std::size_t i = HashKey(KeyAt(ordinal)) & mask;
  while (table_[i] != 0) i = (i + 1) & mask;
  table_[i] = ordinal + 1;
}

void StagedRecords::Rehash(std::size_t slots) {
  table_.assign(slots, 0);
  for (std::uint32_t o = 0; o < count_; ++o) IndexKey(o);
}

void StagedRecords::Add(std::string_view record) {
  if ((count_ + 1) * 2 > table_.size()) Rehash(std::max<std::size_t>(1024, table_.size() * 2));
  keys_.append(record.substr(0, keySize_));
  IndexKey(static_cast<std::uint32_t>(count_));
  ++count_;
  // The buffer fills to its budget before it spills: made that size at once, its growth copies
  // nothing (pages the budget does not reach are never touched).
  if (buffer_.capacity() < memoryBytes_) {
    buffer_.reserve(memoryBytes_);
    AdviseLargePages(buffer_.data(), buffer_.capacity());
  }
  buffer_.append(record);
  if (buffer_.size() + recordSize_ > memoryBytes_) Spill();
}

std::vector<std::uint32_t> StagedRecords::SortedBuffer() const {
  const char* base = buffer_.data();
  const std::size_t rs = recordSize_;
  return OrderByKey(static_cast<std::uint32_t>(buffer_.size() / rs), keySize_,
                    [&](std::uint32_t i) { return base + static_cast<std::size_t>(i) * rs; });
}

void StagedRecords::Spill() {
  if (buffer_.empty()) return;
  if (!work_) {
    work_ = BinaryFile::Open(workPath_, FileAccess::kCreateExclusive);
    workSize_ = 0;
  }
  // Written in pieces, so that the sorted copy never needs as much memory as the buffer.
  const std::size_t perPiece = std::max<std::size_t>(1, kMergeBufferBytes / recordSize_);
  const Run run{workSize_, buffer_.size() / recordSize_};
  const std::vector<std::uint32_t> order = SortedBuffer();
  std::string piece;
  piece.reserve(perPiece * recordSize_);
  for (std::size_t k = 0; k < order.size(); ++k) {
    piece.append(buffer_, order[k] * recordSize_, recordSize_);
    if (piece.size() / recordSize_ < perPiece && k + 1 < order.size()) continue;
    work_->Write(workSize_, piece);
    workSize_ += piece.size();
    piece.clear();
  }
  runs_.push_back(run);
  buffer_.clear();
}

void StagedRecords::Drain(const std::function<void(std::string_view)>& visit) {
  if (runs_.empty()) {
    for (std::uint32_t i : SortedBuffer()) visit(std::string_view(buffer_).substr(i * recordSize_, recordSize_));
    Reset();
    return;
  }
  Spill();
  std::vector<RunReader> readers;
  readers.reserve(runs_.size());
  for (const Run& r : runs_) readers.emplace_back(*work_, r.offset, r.count, recordSize_);
  auto later = [&](std::size_t a, std::size_t b) {
    return std::memcmp(readers[a].Current().data(), readers[b].Current().data(), keySize_) > 0;
  };
  std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heap(later);
  for (std::size_t i = 0; i < readers.size(); ++i)
    if (!readers[i].Done()) heap.push(i);
  while (!heap.empty()) {
    const std::size_t i = heap.top();
    heap.pop();
    visit(readers[i].Current());
    readers[i].Advance();
    if (!readers[i].Done()) heap.push(i);
  }
  readers.clear();
  Reset();
}

void StagedRecords::Reset() {
  count_ = 0;
  keys_.clear();
  keys_.shrink_to_fit();
  table_.clear();
  table_.shrink_to_fit();
  buffer_.clear();
  buffer_.shrink_to_fit();
  runs_.clear();
  if (work_) {
    work_.reset();
    RemoveFileIfPossible(workPath_);
  }
}

}  // namespace paradox
