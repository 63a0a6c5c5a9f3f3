// Corrupt, truncated and hostile archives: every one must end in ELhaError or in data whose
// CRC matched, never in a crash, a hang or a read outside the buffer (run under ASan natively).

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "Corpus.h"
#include "HandBuiltMember.h"
#include "lha/ArchiveReader.h"
#include "lha/ArchiveWriter.h"
#include "lha/Crc16.h"
#include "lha/Header.h"
#include "lha/LhaError.h"
#include "lha/MemberPath.h"

namespace {

using lha_test::Bytes;

Bytes SampleArchive() {
  lha::ArchiveWriter w(lha::ArchiveWriterOptions{true});
  w.Add({"TEXT.TXT", lha_test::TextBytes(3000, 1), 1300000000});
  w.Add({"RECORDS.DB", lha_test::RecordBytes(2000, 2), 1300000001});
  w.Add({"RANDOM.BIN", lha_test::RandomBytes(300, 3), 1300000002});
  w.Add({"ONE", {0x7F}, 1300000003});
  return w.Finish();
}

struct Result {
  std::size_t members = 0;
  std::size_t extracted = 0;
  bool failed = false;
};

// Lists and unpacks everything it can; what was unpacked passed its CRC check.
Result Exercise(const Bytes& archive) {
  Result r;
  try {
    lha::ArchiveReader reader(archive);
    while (auto m = reader.Next()) {
      ++r.members;
      try {
        const Bytes data = reader.ExtractToVector(*m);
        EXPECT_EQ(data.size(), m->originalSize);
        EXPECT_EQ(lha::Crc16(data), m->dataCrc);
        ++r.extracted;
      } catch (const lha::ELhaError& e) {
        r.failed = true;
        EXPECT_FALSE(e.Member().empty()) << e.what();
      }
    }
  } catch (const lha::ELhaError&) {
    r.failed = true;
  }
  return r;
}

TEST(HostileArchive, EveryTruncationIsReported) {
  const Bytes good = SampleArchive();
  const std::vector<lha::MemberHeader> members = lha::ListMembers(good);
  for (std::size_t n = 0; n < good.size(); ++n) {
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    const Result r = Exercise(cut);
    // Cut exactly behind a member the archive merely lacks its end byte; anywhere else the
    // damage is reported.
    bool atBoundary = false;
    for (const auto& m : members) atBoundary = atBoundary || n == m.dataOffset + m.packedSize;
    if (!atBoundary) {
      EXPECT_TRUE(r.failed) << "cut at " << n;
    }
  }
}

TEST(HostileArchive, RandomCorruptionNeverCrashes) {
  const Bytes good = SampleArchive();
  std::mt19937 rng(1234);
  int failures = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes bad = good;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < flips; ++k) bad[rng() % bad.size()] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    if (Exercise(bad).failed) ++failures;
  }
  // Nearly every corruption is detected; the few that are not hit bytes no check covers (such
  // as the padding after a stream's last bit).
  EXPECT_GT(failures, 2500);
}

TEST(HostileArchive, CorruptionInsideCompressedDataIsCaught) {
  lha::ArchiveWriter w;
  const Bytes text = lha_test::TextBytes(20000, 7);
  w.Add({"BIG.TXT", text, 0});
  const Bytes good = w.Finish();
  const lha::MemberHeader m = lha::ListMembers(good)[0];
  std::mt19937 rng(99);
  for (int round = 0; round < 300; ++round) {
    Bytes bad = good;
    const std::size_t at = m.dataOffset + rng() % (m.packedSize - 1);
    bad[at] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    const Result r = Exercise(bad);
    EXPECT_EQ(r.members, 1u);
    EXPECT_TRUE(r.failed) << "flip at " << at;
  }
}

TEST(HostileArchive, HugeClaimedSizesEndQuickly) {
  // One block whose tables cost 0 bits per symbol, claiming 4 GiB of output: the decoder must
  // run out of input after the block instead of looping or allocating the claimed size.
  // 65535 symbols; pt: count 0, symbol 0; c: count 0, symbol 509 (a 256-byte match);
  // positions: count 0, symbol 0. 52 bits in all.
  Bytes block = {0xFF, 0xFF, 0, 0, 0, 0, 0};
  auto putBits = [&](unsigned from, unsigned count, unsigned value) {
    for (unsigned i = 0; i < count; ++i)
      if ((value >> (count - 1 - i)) & 1) block[(from + i) / 8] |= static_cast<std::uint8_t>(0x80 >> ((from + i) % 8));
  };
  putBits(16 + 5 + 5 + 9, 9, 509);
  lha::Level2Fields f;
  f.name = "BOMB";
  f.packedSize = block.size();
  f.originalSize = 0xFFFFFFFFu;
  Bytes a = lha::BuildLevel2Header(f);
  a.insert(a.end(), block.begin(), block.end());
  a.push_back(0);
  lha::ArchiveReader reader(a);
  auto m = reader.Next();
  ASSERT_TRUE(m);
  std::uint64_t produced = 0;
  try {
    reader.Extract(*m, [&](std::span<const std::uint8_t> p) { produced += p.size(); });
    FAIL() << "no error";
  } catch (const lha::ELhaError& e) {
    EXPECT_EQ(e.Kind(), lha::ErrorKind::Truncated);
  }
  // What the one block holds, less the output gathered but not yet handed over.
  EXPECT_LE(produced, 65535ull * 256);
  EXPECT_GT(produced, 65535ull * 256 - lha::kMaxSinkPiece);
  EXPECT_THROW(reader.ExtractToVector(*m), lha::ELhaError);
}

TEST(HostileArchive, ExtendedHeaderChainsThatLieAreRefused) {
  const Bytes good = lha::WritePayloadArchive({{"A.TXT", lha_test::TextBytes(100, 1), 0}});
  // First extended header size pointing past the header.
  Bytes bad = good;
  bad[24] = 0xF0;
  EXPECT_THROW(lha::ListMembers(bad), lha::ELhaError);
  // Size 1 or 2: shorter than type byte plus size field.
  bad = good;
  bad[24] = 2;
  bad[25] = 0;
  EXPECT_THROW(lha::ListMembers(bad), lha::ELhaError);
  // Header size smaller than the base header.
  bad = good;
  bad[0] = 10;
  bad[1] = 0;
  EXPECT_THROW(lha::ListMembers(bad), lha::ELhaError);
  // Header level 7.
  bad = good;
  bad[20] = 7;
  EXPECT_THROW(lha::ListMembers(bad), lha::ELhaError);
  // Packed size beyond the end of the archive.
  bad = good;
  bad[10] = 0x7F;
  EXPECT_THROW(lha::ListMembers(bad), lha::ELhaError);
}

lha::ErrorKind RefusalOf(const Bytes& archive) {
  try {
    lha::ListMembers(archive);
  } catch (const lha::ELhaError& e) {
    return e.Kind();
  }
  ADD_FAILURE() << "archive was read";
  return lha::ErrorKind::Io;
}

TEST(HostileArchive, ChainsPastTheStatedHeaderSizeAreRefused) {
  // With the data after the chain, the stated size would start the data inside the chain; with
  // the data at the stated size, the chain's end lies inside the data. Either way what the chain
  // says cannot be trusted.
  for (const int delta : {-1, -2, -3, -7}) {
    for (const bool dataAtStated : {false, true}) {
      lha_test::HandBuiltMember m = lha_test::NamedMember("A.TXT", "some text");
      m.statedDelta = delta;
      m.dataAtStatedSize = dataAtStated;
      EXPECT_EQ(RefusalOf(lha_test::HandBuiltArchive(m)), lha::ErrorKind::HeaderBroken) << delta;
    }
  }
  // Control: the true size reads.
  EXPECT_EQ(lha::ListMembers(lha_test::HandBuiltArchive(lha_test::NamedMember("A.TXT", "x")))[0].path, "A.TXT");
}

TEST(HostileArchive, HeaderSizesBeyondTheFileOrTheHeaderAreRefused) {
  const Bytes good = lha_test::HandBuiltArchive(lha_test::NamedMember("A.TXT", "some text"));
  // A stated size of 64 KiB in a file of a few dozen bytes.
  Bytes bad = good;
  bad[lha::level2::kHeaderSize] = 0xFF;
  bad[lha::level2::kHeaderSize + 1] = 0xFF;
  EXPECT_EQ(RefusalOf(bad), lha::ErrorKind::HeaderBroken);
  // An extended header claiming 64 KiB.
  bad = good;
  bad[lha::level2::kFirstExtSize] = 0xFF;
  bad[lha::level2::kFirstExtSize + 1] = 0xFF;
  EXPECT_EQ(RefusalOf(bad), lha::ErrorKind::HeaderBroken);
}

TEST(HostileArchive, AHeaderOfThousandsOfTinyExtendedHeadersEndsQuickly) {
  lha_test::HandBuiltMember m = lha_test::NamedMember("A.TXT", "some text");
  // 3-byte headers (type only) fill a 60 KiB header; the walk is bounded by their number.
  m.exts.insert(m.exts.end(), 20000, lha_test::ExtField{0x7E, {}});
  EXPECT_EQ(RefusalOf(lha_test::HandBuiltArchive(m)), lha::ErrorKind::HeaderBroken);
}

TEST(HostileArchive, AHeaderCrcThatFailsIsRefusedWhereverItStands) {
  for (std::size_t crcAt = 0; crcAt < 3; ++crcAt) {
    lha_test::HandBuiltMember m = lha_test::NamedMember("A.TXT", "some text");
    std::rotate(m.exts.begin(), m.exts.begin() + static_cast<std::ptrdiff_t>((3 - crcAt) % 3), m.exts.end());
    ASSERT_EQ(m.exts[crcAt].type, lha::ext::kHeaderCrc);
    Bytes archive = lha_test::HandBuiltArchive(m);
    ASSERT_EQ(lha::ListMembers(archive)[0].path, "A.TXT");
    // One bit of the name changed after the CRC was taken.
    const std::size_t nameAt = std::search(archive.begin(), archive.end(), std::begin("A.TXT"), std::end("A.TXT") - 1) - archive.begin();
    archive[nameAt] ^= 0x01;
    EXPECT_EQ(RefusalOf(archive), lha::ErrorKind::HeaderCrc) << "CRC header at " << crcAt;
  }
}

TEST(HostileArchive, FolderHeadersThatClimbOutAreReadButNeverExtractedOutside) {
  lha_test::HandBuiltMember m = lha_test::NamedMember("evil.dll", "MZ");
  std::vector<std::uint8_t> folder = {'.', '.', 0xFF, '.', '.', 0xFF, 'W', 'i', 'n', 0xFF};
  m.exts.push_back({lha::ext::kFolder, folder});
  const std::vector<lha::MemberHeader> members = lha::ListMembers(lha_test::HandBuiltArchive(m));
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].path, "../../Win/evil.dll");
  try {
    lha::SafeDestination(members[0].path, true);
    ADD_FAILURE() << "a climbing path was accepted";
  } catch (const lha::ELhaError& e) {
    EXPECT_EQ(e.Kind(), lha::ErrorKind::UnsafeName);
  }
  EXPECT_EQ(lha::SafeDestination(members[0].path, false), std::vector<std::string>{"evil.dll"});
}

}  // namespace
