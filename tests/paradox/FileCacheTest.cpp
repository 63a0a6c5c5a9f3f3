// What the file layer keeps in memory (a file's size, a window of the bytes it last read, the
// memo block being filled, the blocks of a table) must never give an answer the disk would
// not: each is checked here against the file's bytes as the operating system holds them, and
// against the fault gate, which must still see every read and write the engine asks for.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "paradox/BinaryFile.h"
#include "paradox/BlockCache.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableCheck.h"
#include "paradox/StagedRecords.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;
using testing_support::FreshTempDir;
using testing_support::ReadFileBytes;

namespace {

struct Disarm {
  ~Disarm() { os::DisarmFault(); }
};

// Random reads, writes (inside, across and past the end) and truncations, each answer compared
// with a plain copy of the bytes kept beside the file; after them the disk holds the copy.
TEST(FileWindow, ReadsAndSizeAgreeWithTheBytesWrittenWhateverTheOrder) {
  const fs::path dir = FreshTempDir("file-window-model");
  const fs::path path = dir / "model.bin";
  std::string model;
  std::mt19937 rng(8128);
  {
    auto f = BinaryFile::Open(path, FileAccess::kCreateExclusive);
    for (int step = 0; step < 4000; ++step) {
      const unsigned what = rng() % 10;
      const std::uint64_t limit = model.size() + 9000;
      if (what < 5 && !model.empty()) {
        const std::uint64_t at = rng() % model.size();
        const std::size_t size = 1 + rng() % std::min<std::uint64_t>(model.size() - at, rng() % 3 ? 300 : 70000);
        ASSERT_EQ(f->Read(at, size), model.substr(at, size)) << "step " << step << " read " << size << " at " << at;
      } else if (what < 9) {
        const std::uint64_t at = rng() % limit;
        std::string bytes(1 + rng() % (rng() % 4 ? 500 : 9000), '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        f->Write(at, bytes);
        if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), '\0');
        model.replace(at, bytes.size(), bytes);
      } else {
        const std::uint64_t size = model.empty() ? 0 : rng() % model.size();
        f->Truncate(size);
        model.resize(size);
      }
      ASSERT_EQ(f->Size(), model.size()) << "step " << step;
    }
    f->Sync();
  }
  EXPECT_EQ(ReadFileBytes(path), model);
}

TEST(FileWindow, AReadPastTheEndIsAFileThatEndsEarly) {
  const fs::path dir = FreshTempDir("file-window-end");
  auto f = BinaryFile::Open(dir / "short.bin", FileAccess::kCreateExclusive);
  f->Write(0, std::string(5000, 'a'));
  EXPECT_EQ(f->Read(4990, 10), std::string(10, 'a'));
  EXPECT_EQ(f->Read(9000, 0), "");
  try {
    f->Read(4995, 10);
    FAIL() << "a read past the end succeeded";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile);
    EXPECT_NE(std::string(e.what()).find("file ends early"), std::string::npos) << e.what();
  }
  // Once written, the same bytes are there.
  f->Write(5000, std::string(5, 'b'));
  EXPECT_EQ(f->Read(4995, 10), "aaaaabbbbb");
}

// A read whose bytes are already in memory is still a read the gate can fail, so a fault
// planned for the nth read of a run meets that read however the bytes would have come.
TEST(FileWindow, AReadAnsweredFromMemoryStillMeetsThePlannedFault) {
  const fs::path dir = FreshTempDir("file-window-gate");
  auto f = BinaryFile::Open(dir / "gate.bin", FileAccess::kCreateExclusive);
  f->Write(0, std::string(8192, 'x'));
  ASSERT_EQ(f->Read(0, 16), std::string(16, 'x'));
  Disarm disarm;
  os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kRead, 1, false});
  EXPECT_THROW(f->Read(16, 16), EDBEngineError);
  EXPECT_EQ(os::FaultsFired(), 1u);
  EXPECT_EQ(f->Read(32, 16), std::string(16, 'x'));
}

// A write that fails leaves no trace in what the file answers afterwards.
TEST(FileWindow, AFailedWriteIsNotSeenByLaterReads) {
  const fs::path dir = FreshTempDir("file-window-failed");
  auto f = BinaryFile::Open(dir / "failed.bin", FileAccess::kCreateExclusive);
  f->Write(0, std::string(100, 'o'));
  ASSERT_EQ(f->Read(0, 100), std::string(100, 'o'));
  {
    Disarm disarm;
    os::ArmFault({os::InjectedFault::kDiskFull, os::FileOperation::kWrite, 1, false});
    EXPECT_THROW(f->Write(50, std::string(100, 'n')), EDBEngineError);
  }
  EXPECT_EQ(f->Size(), 100u);
  EXPECT_EQ(f->Read(0, 100), std::string(100, 'o'));
}

// Blocks filled in order leave the cache in long writes rather than one write each, and
// what they hold reaches the file unchanged.
TEST(BlockCacheWrites, BlocksFilledInOrderLeaveTogether) {
  const fs::path dir = FreshTempDir("block-cache-runs");
  constexpr std::size_t kBlock = 2048, kBlocks = 600;
  std::string expected;
  os::ResetFileOperationCounts();
  {
    auto f = BinaryFile::Open(dir / "blocks.db", FileAccess::kCreateExclusive);
    BlockCache cache(*f, 0x800, kBlock, 16 * kBlock);
    for (std::uint16_t n = 1; n <= kBlocks; ++n) {
      std::string& b = cache.Replace(n);
      for (std::size_t i = 0; i < kBlock; ++i) b[i] = static_cast<char>((n * 31 + i) & 0xFF);
      expected += b;
      // A block changed again after it was written early is written again.
      if (n > 3) cache.Modify(static_cast<std::uint16_t>(n - 3))[7] = 'M';
    }
    cache.WriteBack();
    for (std::size_t n = 1; n + 3 <= kBlocks; ++n) expected[(n - 1) * kBlock + 7] = 'M';
    // Reads after the blocks left the cache give what was written.
    EXPECT_EQ(cache.Read(1), expected.substr(0, kBlock));
    EXPECT_EQ(cache.Read(kBlocks / 2), expected.substr((kBlocks / 2 - 1) * kBlock, kBlock));
    EXPECT_LT(os::FileOperationCount(os::FileOperation::kWrite), kBlocks / 4);
  }
  EXPECT_EQ(ReadFileBytes(dir / "blocks.db").substr(0x800), expected);
}

// The memory of a destroyed cache's blocks serves the caches made after it: each still gives
// its own file's bytes, a replaced block all zeros, and blocks of its own size, whatever the
// memory held before and whatever size of block it held.
TEST(BlockCacheWrites, ACacheMadeAfterAnotherSeesOnlyItsOwnFile) {
  const fs::path dir = FreshTempDir("block-cache-reuse");
  constexpr std::size_t kBlocks = 24;
  int round = 0;
  for (std::size_t blockSize : {2048u, 4096u, 2048u, 1024u}) {
    SCOPED_TRACE(blockSize);
    ++round;
    {
      // Leaves buffers full of 0xEE behind.
      auto scratch = BinaryFile::Open(dir / ("scratch" + std::to_string(round)), FileAccess::kCreateExclusive);
      BlockCache cache(*scratch, 0, blockSize, kBlocks * blockSize);
      for (std::uint16_t n = 1; n <= kBlocks; ++n) cache.Replace(n).assign(blockSize, '\xEE');
      cache.WriteBack();
    }
    std::string content;
    for (std::size_t i = 0; i < kBlocks * blockSize; ++i) content += static_cast<char>((i * 7 + round) % 251);
    auto file = BinaryFile::Open(dir / ("own" + std::to_string(round)), FileAccess::kCreateExclusive);
    file->Write(0, content);
    BlockCache cache(*file, 0, blockSize, kBlocks * blockSize);
    for (std::uint16_t n = 1; n <= kBlocks / 2; ++n)
      EXPECT_EQ(cache.Read(n), content.substr((n - 1) * blockSize, blockSize)) << "block " << n;
    for (std::uint16_t n = kBlocks / 2 + 1; n <= kBlocks; ++n)
      EXPECT_EQ(cache.Replace(n), std::string(blockSize, '\0')) << "block " << n;
  }
}

// Random reads, changes and replacements over many more blocks than the cache holds, block
// numbers up to the largest, with a forget now and then: every read gives what a plain model
// of the file says, a change made after a block came back is kept, and the file ends as the
// model (what was forgotten unwritten is lost, as Clear() says).
TEST(BlockCacheWrites, BlocksComingAndGoingAgreeWithAModelOfTheFile) {
  const fs::path dir = FreshTempDir("block-cache-model");
  constexpr std::size_t kBlock = 1024;
  const std::vector<std::uint16_t> numbers = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 40, 41, 300, 301, 302, 4000, 65534, 65535};
  auto f = BinaryFile::Open(dir / "model.db", FileAccess::kCreateExclusive);
  std::map<std::uint16_t, std::string> onDisk, model;
  const std::string zeros(kBlock, '\0');
  auto fileBlock = [&](std::uint16_t n) { return onDisk.count(n) ? onDisk[n] : zeros; };
  // The file exists up to the last block, so that any block can be read.
  f->Write(0x800 + static_cast<std::uint64_t>(65535 - 1) * kBlock, zeros);
  std::mt19937 rng(19);
  {
    BlockCache cache(*f, 0x800, kBlock, 6 * kBlock);
    for (int step = 0; step < 20000; ++step) {
      const std::uint16_t n = numbers[rng() % numbers.size()];
      const std::string expect = model.count(n) ? model[n] : fileBlock(n);
      switch (rng() % 8) {
        case 0:
        case 1:
        case 2: ASSERT_EQ(cache.Read(n), expect) << "step " << step << " block " << n; break;
        case 3:
        case 4: {
          std::string& b = cache.Modify(n);
          ASSERT_EQ(b, expect) << "step " << step << " block " << n;
          b[rng() % kBlock] = static_cast<char>(rng());
          model[n] = b;
          break;
        }
        case 5:
        case 6: {
          std::string& b = cache.Replace(n);
          ASSERT_EQ(b, zeros);
          b.assign(kBlock, static_cast<char>('a' + step % 26));
          model[n] = b;
          break;
        }
        default:
          if (step % 5 == 0) {
            cache.WriteBack();
            for (const auto& [m, bytes] : model) onDisk[m] = bytes;
            if (rng() % 2) {
              cache.Clear();
              model.clear();
            }
          }
      }
      // What left the cache reached the file: the model holds only what may still be pending.
      if (!cache.HasChanges()) {
        for (const auto& [m, bytes] : model) onDisk[m] = bytes;
        model.clear();
      }
    }
    cache.WriteBack();
    for (const auto& [m, bytes] : model) onDisk[m] = bytes;
  }
  f.reset();  // Windows: the table file is opened without sharing
  const std::string file = ReadFileBytes(dir / "model.db");
  for (std::uint16_t n : numbers) EXPECT_EQ(file.substr(0x800 + (n - 1u) * kBlock, kBlock), fileBlock(n)) << "block " << n;
}

// Spilled runs are written in pieces; every record comes back once, in key order.
TEST(StagedRecordPieces, RunsLargerThanAPieceComeBackWhole) {
  const fs::path dir = FreshTempDir("staged-pieces");
  constexpr std::size_t kRecord = 64, kKey = 4, kCount = 20000;
  StagedRecords staged(dir / "work.tmp", kRecord, kKey, 600 * 1024);
  std::mt19937 rng(4096);
  std::vector<std::uint32_t> keys(kCount);
  for (std::uint32_t i = 0; i < kCount; ++i) keys[i] = i * 3 + 1;
  std::shuffle(keys.begin(), keys.end(), rng);
  for (std::uint32_t k : keys) {
    std::string r(kRecord, static_cast<char>(k & 0x7F));
    for (int b = 0; b < 4; ++b) r[b] = static_cast<char>((k >> (24 - 8 * b)) & 0xFF);  // big-endian: byte order is key order
    staged.Add(r);
  }
  ASSERT_TRUE(fs::exists(dir / "work.tmp")) << "nothing was spilled";
  std::uint32_t expect = 1;
  std::size_t seen = 0;
  staged.Drain([&](std::string_view r) {
    std::uint32_t k = 0;
    for (int b = 0; b < 4; ++b) k = (k << 8) | static_cast<unsigned char>(r[b]);
    EXPECT_EQ(k, expect);
    EXPECT_EQ(r[kRecord - 1], static_cast<char>(k & 0x7F));
    expect += 3;
    ++seen;
  });
  EXPECT_EQ(seen, kCount);
}

TableDefinition MemoTable(bool withMemo) {
  TableDefinition d;
  d.fields = {FieldDef::Long("ID"), FieldDef::Alpha("NAME", 12)};
  if (withMemo) d.fields.push_back(FieldDef::Memo("NOTE", 10));
  d.keyFieldCount = 1;
  return d;
}

std::string NoteFor(std::int32_t id, int version) {
  // Mostly small blobs (many to a block), some past 2 KiB (a block each), some in the leader.
  const std::size_t size = id % 17 == 0 ? 2500 + id : id % 5 == 0 ? 6 : 11 + (id * 37) % 400;
  std::string note(size, static_cast<char>('a' + (id + version) % 26));
  note.replace(0, 0, std::to_string(id) + "/" + std::to_string(version) + ":");
  return note;
}

Record NoteRecord(const ParadoxTable& t, std::int32_t id, int version) {
  Record r = t.NewRecord();
  r.SetInteger(0, id);
  r.SetAlpha(1, "n" + std::to_string(id));
  r.SetBlob(2, NoteFor(id, version));
  return r;
}

// Blobs are read back while the block that holds them is still being filled, freed from it,
// replaced; after the close every remaining blob is in the file and the table checks sound.
TEST(MemoBlock, BlobsOfTheBlockBeingFilledAreReadFreedAndKept) {
  const fs::path dir = FreshTempDir("memo-open-block");
  const fs::path db = dir / "NOTES.DB";
  ParadoxTable::Create(db, MemoTable(true));
  std::map<std::int32_t, int> version;
  {
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    for (std::int32_t id = 1; id <= 300; ++id) {
      t->Insert(NoteRecord(*t, id, 0));
      version[id] = 0;
      // The record just stored, and one stored a few blobs before, read back at once.
      for (std::int32_t back : {id, std::max(1, id - 3)}) {
        if (!version.count(back)) continue;
        const auto at = t->FindKey(NoteRecord(*t, back, 0));
        ASSERT_TRUE(at.has_value()) << "record " << back;
        const Record r = t->ReadRecord(*at);
        ASSERT_EQ(r.GetBlob(2), NoteFor(back, version[back])) << "record " << back << " after " << id;
      }
      if (id % 7 == 0) {
        t->Delete(*t->FindKey(NoteRecord(*t, id - 1, 0)));  // its blob is likely in the open block
        version.erase(id - 1);
      }
      if (id % 11 == 0) {
        t->Update(*t->FindKey(NoteRecord(*t, id, 0)), NoteRecord(*t, id, 1));
        version[id] = 1;
      }
    }
    t->Close();
  }
  EXPECT_EQ(CheckTable(db), std::nullopt);
  auto t = ParadoxTable::Open(db, OpenMode::kShared);
  ASSERT_EQ(t->RecordCount(), version.size());
  auto it = version.begin();
  t->ForEachRecord([&](const Record& r) {
    EXPECT_EQ(r.GetInteger(0), it->first);
    EXPECT_EQ(r.GetBlob(2), NoteFor(it->first, it->second)) << "record " << it->first;
    ++it;
    return true;
  });
}

// The table's header loses its "modified" mark only after the memo file is on the disk: a
// close of a table with blobs flushes one file more than that of the same table without.
TEST(MemoBlock, TheMemoFileIsFlushedToTheDiskAtTheClose) {
  std::uint64_t syncs[2] = {0, 0};
  for (bool withMemo : {false, true}) {
    const fs::path dir = FreshTempDir(withMemo ? "memo-sync-with" : "memo-sync-without");
    const fs::path db = dir / "NOTES.DB";
    ParadoxTable::Create(db, MemoTable(withMemo));
    auto t = ParadoxTable::Open(db, OpenMode::kExclusive);
    for (std::int32_t id = 1; id <= 40; ++id) {
      Record r = t->NewRecord();
      r.SetInteger(0, id);
      if (withMemo) r.SetBlob(2, NoteFor(id, 0));
      t->Insert(r);
    }
    os::ResetFileOperationCounts();
    t->Close();
    syncs[withMemo] = os::FileOperationCount(os::FileOperation::kSync);
  }
  EXPECT_EQ(syncs[1], syncs[0] + 1);
}

}  // namespace
