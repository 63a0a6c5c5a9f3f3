// How a file reads ahead and gathers writes: against a file kept in memory that counts and
// records each call it gets from the system side, so that the number and size of the calls
// can be checked, and every answer against a plain copy of the bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "os/FaultInjection.h"
#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"

using namespace paradox;

namespace {

struct Disarm {
  ~Disarm() { os::DisarmFault(); }
};

// What the system side of a file was asked, in order.
struct SystemCall {
  char kind;  // 'r' read, 'w' write, 't' size change, 's' flush
  std::uint64_t offset;
  std::size_t size;
};

class MemoryFile final : public BinaryFile {
 public:
  explicit MemoryFile(std::string bytes = {}) : BinaryFile("memory.bin"), bytes_(std::move(bytes)) {}
  const std::string& Bytes() const { return bytes_; }
  std::vector<SystemCall> calls;
  std::size_t Count(char kind) const {
    return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const SystemCall& c) { return c.kind == kind; }));
  }

 protected:
  std::uint64_t SystemSize() const override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) const override {
    const_cast<MemoryFile*>(this)->calls.push_back({'r', offset, size});
    if (offset >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::size_t>(size, bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(into, bytes_.data() + offset, n);
    return n;
  }
  void WriteAt(std::uint64_t offset, const std::string& bytes) override {
    calls.push_back({'w', offset, bytes.size()});
    if (bytes_.size() < offset + bytes.size()) bytes_.resize(static_cast<std::size_t>(offset + bytes.size()), '\0');
    bytes_.replace(static_cast<std::size_t>(offset), bytes.size(), bytes);
  }
  void SetSize(std::uint64_t size) override {
    calls.push_back({'t', size, 0});
    bytes_.resize(static_cast<std::size_t>(size), '\0');
  }
  void SyncToDisk() override { calls.push_back({'s', 0, 0}); }
  [[noreturn]] void FailWith(os::InjectedFault, os::FileOperation op, std::optional<std::uint64_t> at) const override {
    RaiseEngineError(EngineMessage::kIoError, FailureText(op), PathText(path_), at);
  }

 private:
  std::string bytes_;
};

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

constexpr std::size_t kBlock = 2048;
constexpr std::size_t kPage = 4096;

// A table scan: block after block to the end of a file of 9 MiB and a bit. Each block agrees
// with the file, the system is asked in runs of at least 64 KiB once the scan is under way, and
// the piece past the end is a file that ends early, not bytes made up.
TEST(FileReadAhead, AScanReadsInLargeRunsAndStopsAtTheEnd) {
  const std::string content = RandomBytes(9 * 1024 * 1024 + 1234, 31);
  MemoryFile f(content);
  std::uint64_t at = 0x800;
  for (; at + kBlock <= content.size(); at += kBlock) ASSERT_EQ(f.Read(at, kBlock), content.substr(at, kBlock)) << at;
  EXPECT_THROW(f.Read(at, kBlock), EDBEngineError);
  const std::size_t scanReads = f.Count('r');
  EXPECT_LE(scanReads, 12u) << "one call per 2 MiB, a few to grow the window, one at the end";
  for (std::size_t i = 2; i + 1 < f.calls.size(); ++i)
    EXPECT_GE(f.calls[i].size, 64u * 1024u) << "call " << i << " at " << f.calls[i].offset;
  // A jump elsewhere asks for one page, not a run.
  ASSERT_EQ(f.Read(3 * kBlock, kBlock), content.substr(3 * kBlock, kBlock));
  ASSERT_EQ(f.Count('r'), scanReads + 1);
  EXPECT_EQ(f.calls.back().size, kPage);
}

// Writes after the window was filled, ahead of the reading and past the end, are what later
// reads see; a size change forgets what lay beyond it.
TEST(FileReadAhead, ReadsAfterWritesAndSizeChangesAgreeWithTheFile) {
  std::string model = RandomBytes(3 * 1024 * 1024 + 77, 5);
  MemoryFile f(model);
  std::mt19937 rng(17);
  for (std::uint64_t at = 0; at + kBlock <= model.size(); at += kBlock) {
    ASSERT_EQ(f.Read(at, kBlock), model.substr(at, kBlock)) << at;
    if (rng() % 50 == 0) {
      // Ahead of the reading, inside what the window holds or past the file's end.
      const std::uint64_t to = at + kBlock * (1 + rng() % 600);
      const std::string bytes = RandomBytes(1 + rng() % 5000, static_cast<unsigned>(at));
      f.Write(to, bytes);
      if (model.size() < to + bytes.size()) model.resize(static_cast<std::size_t>(to + bytes.size()), '\0');
      model.replace(static_cast<std::size_t>(to), bytes.size(), bytes);
      ASSERT_EQ(f.Size(), model.size());
    }
  }
  EXPECT_EQ(f.Bytes(), model);
  f.Truncate(model.size() / 2);
  model.resize(model.size() / 2);
  EXPECT_EQ(f.Read(model.size() - 100, 100), model.substr(model.size() - 100));
  EXPECT_THROW(f.Read(model.size() - 100, 101), EDBEngineError);
}

// Blocks appended one after another reach the system as one write per run, all of them before
// the flush; Size and reads see them while they are still in memory.
TEST(GatheredWrites, AppendsGoOutInRunsAndAllBeforeTheFlush) {
  MemoryFile f(std::string(kPage, 'h'));
  f.GatherWrites(1u << 20);
  std::string model = f.Bytes();
  for (int i = 0; i < 300; ++i) {
    const std::string block = RandomBytes(kPage, static_cast<unsigned>(i));
    f.Write(model.size(), block);
    model += block;
    ASSERT_EQ(f.Size(), model.size());
  }
  EXPECT_EQ(f.Count('w'), 1u) << "256 blocks make the first megabyte";
  EXPECT_EQ(f.calls.front().size, 1u << 20);
  // A read of bytes still gathered sees them (they are written first).
  EXPECT_EQ(f.Read(model.size() - 10, 10), model.substr(model.size() - 10));
  EXPECT_EQ(f.Count('w'), 2u);
  f.Write(model.size(), "tail");
  model += "tail";
  f.Sync();
  ASSERT_EQ(f.calls.back().kind, 's');
  EXPECT_EQ(f.calls[f.calls.size() - 2].kind, 'w') << "the gathered tail goes out before the flush";
  EXPECT_EQ(f.Bytes(), model);
}

// A write elsewhere (a header, a freed slot inside the run) never overtakes the gathered run:
// the system sees the writes in the order they were made, so the later bytes win.
TEST(GatheredWrites, AWriteElsewhereFollowsTheGatheredRun) {
  MemoryFile f(std::string(kPage, '\0'));
  f.GatherWrites(1u << 20);
  std::string model = f.Bytes();
  auto write = [&](std::uint64_t at, const std::string& bytes) {
    f.Write(at, bytes);
    if (model.size() < at + bytes.size()) model.resize(static_cast<std::size_t>(at + bytes.size()), '\0');
    model.replace(static_cast<std::size_t>(at), bytes.size(), bytes);
  };
  write(kPage, std::string(kPage, 'a'));
  write(2 * kPage, std::string(kPage, 'b'));
  write(0, "header");                  // before the run
  write(kPage + 100, "slot cleared");  // inside it
  write(2 * kPage + 10, std::string(kPage, 'c'));
  f.Truncate(f.Size());
  ASSERT_GE(f.Count('w'), 3u);
  EXPECT_EQ(f.calls[0].offset, kPage);
  EXPECT_EQ(f.calls[0].size, 2 * kPage) << "the two appended blocks as one write";
  EXPECT_EQ(f.calls[1].offset, 0u);
  EXPECT_EQ(f.Bytes(), model);
}

// The gate sees the write the system is asked for: a fault planned for it reaches the caller
// at the flush, and the bytes that did not reach the file are not answered from memory.
TEST(GatheredWrites, AFailedRunIsReportedAndNotReadBack) {
  MemoryFile f(std::string(kPage, 'h'));
  f.GatherWrites(1u << 20);
  Disarm disarm;
  os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite, 1, false});
  f.Write(kPage, std::string(kPage, 'x'));
  f.Write(2 * kPage, std::string(kPage, 'y'));
  EXPECT_EQ(os::FaultsFired(), 0u) << "nothing was written yet";
  EXPECT_THROW(f.Sync(), EDBEngineError);
  EXPECT_EQ(os::FaultsFired(), 1u);
  EXPECT_EQ(f.Count('s'), 0u) << "no flush after a failed write";
  EXPECT_EQ(f.Size(), kPage);
  EXPECT_THROW(f.Read(kPage, 10), EDBEngineError);
}

}  // namespace
