#pragma once
// The blocks of one file in the .DB layout, held in memory up to a fixed number of bytes.
//
// Changed blocks are written back when they leave the cache or at WriteBack(), never one write
// per change: a run of records stored into one block costs one block write, and the blocks a
// flush writes go out in block order, neighbours in one write. A changed block that leaves
// takes its changed neighbours along in the same write. The least recently used block
// leaves first; the block last asked for never leaves during the next request, so a reference
// from Read() or Modify() stays valid until the cache is used again.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

class BinaryFile;

class BlockCache {
 public:
  // Block n (from 1) lies at `firstBlockAt` + (n - 1) × `blockSize`.
  BlockCache(BinaryFile& file, std::uint64_t firstBlockAt, std::size_t blockSize, std::size_t capacityBytes);
  ~BlockCache();  // the blocks' memory goes to the next cache (see BlockCache.cpp)
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;

  std::size_t BlockSize() const { return blockSize_; }
  // The block's bytes; a short file is kCorruptFile.
  const std::string& Read(std::uint16_t number);
  // The block's bytes, to be changed in place; it is written back later.
  std::string& Modify(std::uint16_t number);
  // A block that is new, or whose old content does not matter: not read from the file.
  std::string& Replace(std::uint16_t number);
  // Writes every changed block, in block order.
  void WriteBack();
  bool HasChanges() const { return dirtyCount_ > 0; }
  // Forgets every block (after WriteBack, or when the changes are to be dropped).
  void Clear();

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  // A fixed pool of slots, found by block number and kept in age order by a list through the
  // slots themselves: a block coming and going costs no allocation and no hashing, which
  // matters when a table outgrows the cache and blocks come and go by the thousand.
  struct Slot {
    std::string bytes;
    std::uint16_t number = 0;
    bool dirty = false;
    std::uint32_t newer = kNone, older = kNone;
  };
  Slot* Find(std::uint16_t number);
  Slot& Fetch(std::uint16_t number, bool load);
  std::uint32_t TakeSlot();
  void Unlink(std::uint32_t i);
  void MakeNewest(std::uint32_t i);
  void WriteNeighbours(std::uint16_t number);
  void WriteRun(std::uint16_t first, const std::string& bytes);

  BinaryFile* file_;
  std::uint64_t firstBlockAt_;
  std::size_t blockSize_;
  std::size_t capacity_;                 // in blocks, at least 4
  std::vector<Slot> slots_;              // up to capacity_
  std::vector<std::uint32_t> unused_;    // slots that hold no block
  std::vector<std::uint32_t> where_;     // by block number: slot + 1, 0 = not held; grows as needed
  std::uint32_t newest_ = kNone, oldest_ = kNone;
  std::size_t dirtyCount_ = 0;
  std::string run_;  // neighbours gathered into one write, its memory kept
};

}  // namespace paradox
