// Unpacking from a file in bounded pieces: members far larger than any buffer of the decoder,
// the window and output buffer boundaries, and archives cut short.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "Corpus.h"
#include "StreamBits.h"
#include "lha/ArchiveReader.h"
#include "lha/ArchiveSource.h"
#include "lha/ArchiveWriter.h"
#include "lha/Crc16.h"
#include "lha/Decoder.h"
#include "lha/Header.h"
#include "lha/LhaError.h"
#include "lha/Lh5Encoder.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;

namespace {

using lha_test::Bytes;

using lha_test::Bits;

// A run of one byte value in the expected output.
struct ByteRun {
  std::uint8_t value;
  std::uint64_t length;
};

// An -lh5- stream of runs: each run is one literal, then matches of 256 at distance 1
// (so a run is 1 + a multiple of 256 bytes long).
Bytes RunStream(const std::vector<ByteRun>& runs) {
  Bits b;
  for (const ByteRun& r : runs) {
    b.SingleSymbolBlock(1, r.value, 0);
    std::uint64_t left = r.length - 1;
    while (left > 0) {
      const std::uint64_t symbols = std::min<std::uint64_t>(lha::kMaxBlockSymbols, (left + 255) / 256);
      b.SingleSymbolBlock(static_cast<unsigned>(symbols), 509, 0);
      left -= std::min<std::uint64_t>(left, symbols * 256);
    }
  }
  return b.out;
}

std::uint16_t RunsCrc(const std::vector<ByteRun>& runs) {
  std::uint16_t crc = 0;
  for (const ByteRun& r : runs) {
    const Bytes block(1 << 20, r.value);
    for (std::uint64_t left = r.length; left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
      crc = lha::UpdateCrc16(crc, std::span(block).first(n));
      left -= n;
    }
  }
  return crc;
}

// A level-2 archive of one member; sizes of 4 GiB and more go into a 0x42 extended header.
Bytes OneMemberArchive(const std::string& name, lha::Method method, const Bytes& packed, std::uint64_t originalSize,
                       std::uint16_t crc) {
  lha::Level2Fields f;
  f.name = name;
  f.method = method;
  f.packedSize = packed.size();
  f.originalSize = originalSize;
  f.unixTime = 1300000000;
  f.dataCrc = crc;
  Bytes a = lha::BuildLevel2Header(f);
  a.insert(a.end(), packed.begin(), packed.end());
  a.push_back(0);
  return a;
}

fs::path WriteArchive(const std::string& dirName, const Bytes& archive) {
  const fs::path p = testing_support::FreshTempDir(dirName) / "a.lzh";
  testing_support::WriteFileBytes(p, std::string(archive.begin(), archive.end()));
  return p;
}

// Checks pieces against the runs as they arrive, without holding the output.
class RunChecker {
 public:
  explicit RunChecker(std::vector<ByteRun> runs) : runs_(std::move(runs)) {}

  void operator()(std::span<const std::uint8_t> piece) {
    largestPiece_ = std::max(largestPiece_, piece.size());
    total_ += piece.size();
    while (!piece.empty()) {
      ASSERT_LT(run_, runs_.size()) << "more output than the runs";
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), runs_[run_].length - inRun_));
      const auto wrong = std::find_if(piece.begin(), piece.begin() + n, [&](std::uint8_t c) { return c != runs_[run_].value; });
      ASSERT_EQ(wrong, piece.begin() + n) << "wrong byte at " << total_ - piece.size() + (wrong - piece.begin());
      piece = piece.subspan(n);
      inRun_ += n;
      if (inRun_ == runs_[run_].length) {
        ++run_;
        inRun_ = 0;
      }
    }
  }

  std::uint64_t Total() const { return total_; }
  std::size_t LargestPiece() const { return largestPiece_; }

 private:
  std::vector<ByteRun> runs_;
  std::size_t run_ = 0;
  std::uint64_t inRun_ = 0;
  std::uint64_t total_ = 0;
  std::size_t largestPiece_ = 0;
};

TEST(StreamingExtract, AMemberBeyondTheInMemoryLimitStreamsFromAFile) {
  // Just over 1 GiB in runs of uneven lengths, so that run ends fall anywhere in the pieces.
  // Each run is a literal and whole 256-byte matches.
  std::vector<ByteRun> runs;
  std::uint64_t size = 0;
  for (unsigned i = 0; size <= lha::kMaxInMemoryMember; ++i) {
    runs.push_back({static_cast<std::uint8_t>(i * 37 + 1), 1 + 256 * (156'250 + i * 4'823ULL)});
    size += runs.back().length;
  }
  const Bytes packed = RunStream(runs);
  const fs::path path = WriteArchive("lha_stream_huge", OneMemberArchive("huge.bin", lha::Method::Lh5, packed, size, RunsCrc(runs)));

  lha::FileSource source(path);
  lha::ArchiveReader reader(source);
  const std::optional<lha::MemberHeader> m = reader.Next();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->originalSize, size);
  RunChecker check(runs);
  reader.Extract(*m, [&](std::span<const std::uint8_t> piece) { check(piece); });
  EXPECT_EQ(check.Total(), size);
  EXPECT_LE(check.LargestPiece(), lha::kMaxSinkPiece);
  EXPECT_FALSE(reader.Next());
  try {
    reader.ExtractToVector(*m);
    ADD_FAILURE() << "a member over the in-memory limit was unpacked into memory";
  } catch (const lha::ELhaError& e) {
    EXPECT_EQ(e.Kind(), lha::ErrorKind::TooLarge);
  }
}

TEST(StreamingExtract, FileAndMemoryGiveTheSameBytesForEveryMethod) {
  // Far matches that cross the points where the output buffer hands its bytes on and moves
  // the window to its front: a random piece seen again 40,000 bytes later, many times over.
  const Bytes far = lha_test::RandomBytes(20000, 31);
  Bytes data;
  for (int i = 0; i < 30; ++i) {
    const Bytes filler = lha_test::RecordBytes(20000 + i * 97, 40 + i);
    data.insert(data.end(), far.begin(), far.end());
    data.insert(data.end(), filler.begin(), filler.end());
  }
  for (lha::Method method : {lha::Method::Lh4, lha::Method::Lh5, lha::Method::Lh6, lha::Method::Lh7}) {
    SCOPED_TRACE(lha::MethodId(method));
    const Bytes packed = lha::EncodeLzss(method, data);
    ASSERT_GT(packed.size(), lha::kInputChunk);
    const fs::path path = WriteArchive("lha_stream_methods", OneMemberArchive("m.bin", method, packed, data.size(), lha::Crc16(data)));
    lha::FileSource source(path);
    lha::ArchiveReader reader(source);
    const std::optional<lha::MemberHeader> m = reader.Next();
    ASSERT_TRUE(m);
    Bytes out;
    std::size_t largest = 0;
    reader.Extract(*m, [&](std::span<const std::uint8_t> piece) {
      largest = std::max(largest, piece.size());
      out.insert(out.end(), piece.begin(), piece.end());
    });
    EXPECT_TRUE(out == data);
    EXPECT_LE(largest, lha::kMaxSinkPiece);
  }
}

TEST(StreamingExtract, MatchesAtEveryShortDistanceCopyTheirOwnOutput) {
  // Periods 1 to 17 exercise the overlapping copies, which differ below 8 bytes of distance.
  Bytes data;
  for (unsigned period = 1; period <= 17; ++period) {
    const Bytes unit = lha_test::RandomBytes(period, period);
    for (int i = 0; i < 700; ++i) data.insert(data.end(), unit.begin(), unit.end());
    const Bytes gap = lha_test::RandomBytes(50, 100 + period);
    data.insert(data.end(), gap.begin(), gap.end());
  }
  EXPECT_TRUE(lha::DecodeToVector(lha::Method::Lh5, lha::EncodeLh5(data), data.size()) == data);
}

TEST(StreamingExtract, StoredMembersStreamInPieces) {
  const Bytes data = lha_test::RandomBytes(3 * lha::kOutputChunk + 5, 9);
  const fs::path path = WriteArchive("lha_stream_stored", OneMemberArchive("s.bin", lha::Method::Stored, data, data.size(), lha::Crc16(data)));
  lha::FileSource source(path);
  lha::ArchiveReader reader(source);
  const std::optional<lha::MemberHeader> m = reader.Next();
  ASSERT_TRUE(m);
  Bytes out;
  std::size_t pieces = 0;
  reader.Extract(*m, [&](std::span<const std::uint8_t> piece) {
    ++pieces;
    out.insert(out.end(), piece.begin(), piece.end());
  });
  EXPECT_TRUE(out == data);
  EXPECT_GE(pieces, 4u);
}

TEST(StreamingExtract, ACutOrDamagedFileIsReportedNotUnpackedAsGood) {
  const Bytes data = lha_test::TextBytes(600000, 5);
  const Bytes archive = OneMemberArchive("t.txt", lha::Method::Lh5, lha::EncodeLh5(data), data.size(), lha::Crc16(data));
  auto kindOf = [](const Bytes& bytes) {
    const fs::path path = WriteArchive("lha_stream_bad", bytes);
    try {
      lha::FileSource source(path);
      lha::ArchiveReader reader(source);
      while (std::optional<lha::MemberHeader> m = reader.Next()) reader.Extract(*m, [](std::span<const std::uint8_t>) {});
    } catch (const lha::ELhaError& e) {
      return e.Kind();
    }
    return lha::ErrorKind::Io;  // no error: never expected here
  };
  // Cut inside the packed data: the header promises more than the file holds.
  EXPECT_EQ(kindOf(Bytes(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(archive.size() / 2))),
            lha::ErrorKind::Truncated);
  // The header's packed size shrunk to match the cut (header CRC recomputed): the stream ends early.
  {
    lha::Level2Fields f;
    f.name = "t.txt";
    f.packedSize = (archive.size() - 100) / 2;
    f.originalSize = data.size();
    f.unixTime = 1300000000;
    f.dataCrc = lha::Crc16(data);
    Bytes cut = lha::BuildLevel2Header(f);
    const std::size_t headerSize = cut.size();
    cut.insert(cut.end(), archive.begin() + static_cast<std::ptrdiff_t>(headerSize),
               archive.begin() + static_cast<std::ptrdiff_t>(headerSize + f.packedSize));
    cut.push_back(0);
    const lha::ErrorKind k = kindOf(cut);
    EXPECT_TRUE(k == lha::ErrorKind::Truncated || k == lha::ErrorKind::BadHuffmanCode) << lha::ErrorKindName(k);
  }
  // One flipped bit in the middle of the data.
  Bytes flipped = archive;
  flipped[archive.size() / 2] ^= 0x10;
  const lha::ErrorKind k = kindOf(flipped);
  EXPECT_TRUE(k == lha::ErrorKind::DataCrc || k == lha::ErrorKind::BadHuffmanCode || k == lha::ErrorKind::Truncated)
      << lha::ErrorKindName(k);
}

}  // namespace
