#pragma once
// Records stored into a keyed table but not yet placed in its block chain.
//
// Placing records one by one in random key order touches a random block each time; once the
// table outgrows memory every record costs a block read and a block write. Records are
// therefore gathered here and placed in key order, which visits each block once. The gathered
// records stay in memory up to a fixed number of bytes; beyond it they are sorted and written
// as runs to a work file beside the table, and merged when they are placed. Their keys stay in
// memory in a hash table, so a duplicate key is refused when the record arrives.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace paradox {

class BinaryFile;

class StagedRecords {
 public:
  // Keys are the records' first `keySize` bytes and compare as unsigned bytes.
  StagedRecords(std::filesystem::path workFile, std::size_t recordSize, std::size_t keySize, std::size_t memoryBytes);
  ~StagedRecords();  // removes the work file
  StagedRecords(const StagedRecords&) = delete;
  StagedRecords& operator=(const StagedRecords&) = delete;

  std::size_t Count() const { return count_; }
  bool ContainsKey(std::string_view key) const;
  void Add(std::string_view record);
  // Visits every record in key order, then holds none.
  void Drain(const std::function<void(std::string_view record)>& visit);

 private:
  struct Run {
    std::uint64_t offset = 0;
    std::size_t count = 0;
  };
  std::string_view KeyAt(std::uint32_t ordinal) const;
  void IndexKey(std::uint32_t ordinal);
  void Rehash(std::size_t slots);
  std::vector<std::uint32_t> SortedBuffer() const;
  void Spill();
  void Reset();

  std::filesystem::path workPath_;
  std::size_t recordSize_, keySize_, memoryBytes_;
  std::size_t count_ = 0;
  std::string keys_;                 // every staged key, in arrival order
  std::vector<std::uint32_t> table_; // open addressing: ordinal + 1, 0 = free
  std::string buffer_;               // records not yet spilled
  std::unique_ptr<BinaryFile> work_;
  std::vector<Run> runs_;
  std::uint64_t workSize_ = 0;
};

}  // namespace paradox
