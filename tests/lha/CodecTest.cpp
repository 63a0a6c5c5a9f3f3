#include <gtest/gtest.h>

#include <string>

#include "Corpus.h"
#include "StreamBits.h"
#include "lha/Crc16.h"
#include "lha/Decoder.h"
#include "lha/LhaError.h"
#include "lha/Lh5Encoder.h"

namespace {

using lha_test::Bytes;

Bytes FromString(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Bit-at-a-time CRC-16/ARC, written from the polynomial rather than the table.
std::uint16_t SlowCrc(const Bytes& data, std::uint16_t crc = 0) {
  for (std::uint8_t b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

using lha_test::Bits;
using lha_test::SingleSymbolBlock;

TEST(Crc16, MatchesTheCheckValueAndABitwiseComputation) {
  EXPECT_EQ(lha::Crc16(FromString("123456789")), 0xBB3D);
  EXPECT_EQ(lha::Crc16(Bytes{}), 0);
  const Bytes data = lha_test::RandomBytes(10000, 42);
  EXPECT_EQ(lha::Crc16(data), SlowCrc(data));
  const std::uint16_t part = lha::UpdateCrc16(0, std::span(data).first(1234));
  EXPECT_EQ(lha::UpdateCrc16(part, std::span(data).subspan(1234)), SlowCrc(data));
  // Every length and starting alignment around the 16-byte steps and their leftover bytes,
  // continuing from a CRC that is not zero.
  for (std::size_t start = 0; start < 17; ++start)
    for (std::size_t n = 0; n < 50; ++n) {
      const Bytes piece(data.begin() + static_cast<std::ptrdiff_t>(start), data.begin() + static_cast<std::ptrdiff_t>(start + n));
      ASSERT_EQ(lha::UpdateCrc16(0x1234, std::span(data).subspan(start, n)), SlowCrc(piece, 0x1234))
          << "start " << start << " length " << n;
    }
}

TEST(Lh5Codec, RoundTripsTheCorpus) {
  for (const lha_test::Sample& s : lha_test::Corpus(false)) {
    SCOPED_TRACE(s.name);
    const Bytes packed = lha::EncodeLh5(s.data);
    EXPECT_EQ(lha::DecodeToVector(lha::Method::Lh5, packed, s.data.size()), s.data);
    // Incompressible data grows only by the block overhead.
    EXPECT_LE(packed.size(), s.data.size() + s.data.size() / 64 + 64);
  }
}

TEST(LzssCodec, TheOtherWindowSizesRoundTrip) {
  Bytes data = lha_test::TextBytes(150000, 21);
  const Bytes far = lha_test::RandomBytes(20000, 22);
  // A random piece seen again 40 KiB later: only the 64 KiB window of -lh7- reaches it.
  data.insert(data.end(), far.begin(), far.end());
  const Bytes filler = lha_test::RecordBytes(40000, 23);
  data.insert(data.end(), filler.begin(), filler.end());
  data.insert(data.end(), far.begin(), far.end());
  std::size_t previous = SIZE_MAX;
  for (lha::Method m : {lha::Method::Lh4, lha::Method::Lh5, lha::Method::Lh6, lha::Method::Lh7}) {
    SCOPED_TRACE(lha::MethodId(m));
    const Bytes packed = lha::EncodeLzss(m, data);
    EXPECT_EQ(lha::DecodeToVector(m, packed, data.size()), data);
    EXPECT_LT(packed.size(), previous);  // a larger window never loses here
    previous = packed.size();
  }
  EXPECT_LT(previous, lha::EncodeLzss(lha::Method::Lh6, data).size() - 15000);
}

TEST(Lh5Codec, CompressesRedundantData) {
  const Bytes text = lha_test::TextBytes(200000, 11);
  EXPECT_LT(lha::EncodeLh5(text).size(), text.size() * 45 / 100);
  const Bytes zeros(1 << 20, 0);
  EXPECT_LT(lha::EncodeLh5(zeros).size(), 2000u);
  // A long run: after the first block every block holds one match length only, which costs
  // no bits per symbol.
  const Bytes longRun(8 << 20, 0);
  const Bytes packed = lha::EncodeLh5(longRun);
  EXPECT_LT(packed.size(), 400u);
  EXPECT_TRUE(lha::DecodeToVector(lha::Method::Lh5, packed, longRun.size()) == longRun);
}

TEST(Lh5Codec, LongestMatchesAndFarDistancesSurvive) {
  // A random 8000-byte piece repeated: every match reaches nearly the whole window back.
  Bytes piece = lha_test::RandomBytes(8000, 3);
  Bytes data;
  for (int i = 0; i < 5; ++i) data.insert(data.end(), piece.begin(), piece.end());
  const Bytes packed = lha::EncodeLh5(data);
  EXPECT_LT(packed.size(), 8000u + 8000u / 8);
  EXPECT_EQ(lha::DecodeToVector(lha::Method::Lh5, packed, data.size()), data);
}

TEST(Lh5Decoder, OneSymbolTablesAndTheSpaceFilledWindow) {
  EXPECT_EQ(lha::DecodeToVector(lha::Method::Lh5, SingleSymbolBlock(3, 'A', 0), 3), FromString("AAA"));
  // A match of length 3 at distance 1 before any output copies the initial spaces.
  EXPECT_EQ(lha::DecodeToVector(lha::Method::Lh5, SingleSymbolBlock(1, 256, 0), 3), FromString("   "));
  // Length 256 matches at distance 1, cut at the original size.
  const Bytes out = lha::DecodeToVector(lha::Method::Lh5, SingleSymbolBlock(4, 509, 0), 1000);
  EXPECT_EQ(out, Bytes(1000, ' '));
}

TEST(Lh5Decoder, StopsAtTheOriginalSizeAcrossBlocks) {
  Bits b;
  for (unsigned sym : {unsigned('x'), unsigned('y')}) {
    b.Put(16, 2);
    b.Put(5, 0);
    b.Put(5, 0);
    b.Put(9, 0);
    b.Put(9, sym);
    b.Put(4, 0);
    b.Put(4, 0);
  }
  EXPECT_EQ(lha::DecodeToVector(lha::Method::Lh5, b.out, 4), FromString("xxyy"));
  EXPECT_EQ(lha::DecodeToVector(lha::Method::Lh5, b.out, 3), FromString("xxy"));
}

TEST(Lh5Decoder, RejectsImpossibleStreams) {
  auto kindOf = [](const Bytes& stream, std::uint64_t size) {
    try {
      lha::DecodeToVector(lha::Method::Lh5, stream, size);
    } catch (const lha::ELhaError& e) {
      return e.Kind();
    }
    return lha::ErrorKind::Io;  // no error: never expected here
  };
  // Data ends before the promised size.
  EXPECT_EQ(kindOf(SingleSymbolBlock(3, 'A', 0), 4), lha::ErrorKind::Truncated);
  EXPECT_EQ(kindOf(Bytes{}, 1), lha::ErrorKind::Truncated);
  // A block of zero symbols.
  Bits zero;
  zero.Put(16, 0);
  EXPECT_EQ(kindOf(zero.out, 1), lha::ErrorKind::BadHuffmanCode);
  // A code-length code with one length-1 code only: incomplete.
  Bits incomplete;
  incomplete.Put(16, 1);
  incomplete.Put(5, 1);
  incomplete.Put(3, 1);
  EXPECT_EQ(kindOf(incomplete.out, 1), lha::ErrorKind::BadHuffmanCode);
  // The one-symbol form naming a symbol beyond the table.
  Bits outOfRange;
  outOfRange.Put(16, 1);
  outOfRange.Put(5, 0);
  outOfRange.Put(5, 25);
  EXPECT_EQ(kindOf(outOfRange.out, 1), lha::ErrorKind::BadHuffmanCode);
  // A position table with more lengths than -lh5- has position codes.
  Bits manyPositions;
  manyPositions.Put(16, 1);
  manyPositions.Put(5, 0);
  manyPositions.Put(5, 0);
  manyPositions.Put(9, 0);
  manyPositions.Put(9, 'A');
  manyPositions.Put(4, 15);
  EXPECT_EQ(kindOf(manyPositions.out, 1), lha::ErrorKind::BadHuffmanCode);
}

TEST(StoredMethod, CopiesAndChecksTheLength) {
  const Bytes data = FromString("plain");
  EXPECT_EQ(lha::DecodeToVector(lha::Method::Stored, data, 5), data);
  EXPECT_THROW(lha::DecodeToVector(lha::Method::Stored, data, 6), lha::ELhaError);
}

}  // namespace
