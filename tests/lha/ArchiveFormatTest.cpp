#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Corpus.h"
#include "HandBuiltMember.h"
#include "lha/ArchiveReader.h"
#include "lha/ArchiveWriter.h"
#include "lha/Crc16.h"
#include "lha/Header.h"
#include "lha/LhaError.h"

namespace {

using lha_test::Bytes;

std::uint32_t Le16(const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t Le32(const Bytes& b, std::size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }
std::uint64_t Le64(const Bytes& b, std::size_t at) { return Le32(b, at) | (std::uint64_t{Le32(b, at + 4)} << 32); }

void Add16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Add32(Bytes& b, std::uint32_t v) {
  Add16(b, v & 0xFFFF);
  Add16(b, v >> 16);
}
void Add64(Bytes& b, std::uint64_t v) {
  Add32(b, static_cast<std::uint32_t>(v));
  Add32(b, static_cast<std::uint32_t>(v >> 32));
}

std::uint16_t SlowCrc(const Bytes& data, std::size_t from, std::size_t to) {
  std::uint16_t crc = 0;
  for (std::size_t i = from; i < to; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

lha::ErrorKind KindOfFailure(const Bytes& archive) {
  try {
    lha::ArchiveReader reader(archive);
    while (auto m = reader.Next()) reader.ExtractToVector(*m);
  } catch (const lha::ELhaError& e) {
    return e.Kind();
  }
  ADD_FAILURE() << "no error";
  return lha::ErrorKind::Io;
}

// The six members of the payload, with their modification times.
struct PayloadMember {
  const char* name;
  std::int64_t time;
  Bytes data;
};

std::vector<PayloadMember> PayloadLikeMembers() {
  return {{"NVXDATA.DLL", 1271037947, lha_test::RecordBytes(40000, 1)},
          {"Tovo.EXE", 1319702401, lha_test::RandomBytes(3000, 2)},
          {"TOVO.INI", 1238464694, lha_test::TextBytes(3085, 3)},
          {"TOVOSYS.INI", 1270193682, lha_test::TextBytes(18816, 4)},
          {"PRINTER.INI", 1260254895, lha_test::TextBytes(8152, 5)},
          {"TOVOREPORT.DLL", 1335936439, lha_test::RecordBytes(20000, 6)}};
}

TEST(PayloadArchive, HeadersFollowTheLayoutFieldByField) {
  std::vector<lha::ArchiveEntry> entries;
  for (const PayloadMember& m : PayloadLikeMembers()) entries.push_back({m.name, m.data, m.time});
  const Bytes a = lha::WritePayloadArchive(entries);

  std::size_t at = 0;
  for (const PayloadMember& m : PayloadLikeMembers()) {
    SCOPED_TRACE(m.name);
    const std::size_t n = std::string(m.name).size();
    const std::size_t headerSize = Le16(a, at);
    EXPECT_EQ(headerSize, 61 + n);
    EXPECT_EQ(std::string(a.begin() + at + 2, a.begin() + at + 7), "-lh5-");
    const std::uint32_t packed = Le32(a, at + 7);
    EXPECT_EQ(Le32(a, at + 11), m.data.size());
    EXPECT_EQ(Le32(a, at + 15), static_cast<std::uint32_t>(m.time));
    EXPECT_EQ(a[at + 19], 0x20);
    EXPECT_EQ(a[at + 20], 2);
    EXPECT_EQ(Le16(a, at + 21), SlowCrc(m.data, 0, m.data.size()));
    EXPECT_EQ(a[at + 23], 0x4D);
    EXPECT_EQ(Le16(a, at + 24), n + 3);
    // 0x01: the name, then the size of 0x41.
    std::size_t e = at + 26;
    EXPECT_EQ(a[e], 0x01);
    EXPECT_EQ(std::string(a.begin() + e + 1, a.begin() + e + 1 + n), m.name);
    EXPECT_EQ(Le16(a, e + 1 + n), 27u);
    // 0x41: creation, access and write time all carry the modification time.
    e += n + 3;
    EXPECT_EQ(a[e], 0x41);
    const std::uint64_t fileTime = (static_cast<std::uint64_t>(m.time) + 11644473600ULL) * 10000000ULL;
    EXPECT_EQ(Le64(a, e + 1), fileTime);
    EXPECT_EQ(Le64(a, e + 9), fileTime);
    EXPECT_EQ(Le64(a, e + 17), fileTime);
    EXPECT_EQ(Le16(a, e + 25), 5u);
    // 0x00: the header CRC over the header with the field as zero; the chain ends.
    e += 27;
    EXPECT_EQ(a[e], 0x00);
    EXPECT_EQ(Le16(a, e + 3), 0u);
    EXPECT_EQ(e + 5, at + headerSize);
    Bytes header(a.begin() + at, a.begin() + at + headerSize);
    const std::uint32_t storedCrc = Le16(header, e + 1 - at);
    header[e + 1 - at] = header[e + 2 - at] = 0;
    EXPECT_EQ(storedCrc, SlowCrc(header, 0, header.size()));
    // The packed data follows directly and unpacks to the member.
    const std::size_t dataAt = at + headerSize;
    at = dataAt + packed;
  }
  ASSERT_EQ(at + 1, a.size());
  EXPECT_EQ(a.back(), 0);

  const std::vector<lha::MemberHeader> members = lha::ListMembers(a);
  ASSERT_EQ(members.size(), 6u);
  lha::ArchiveReader reader(a);
  for (std::size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(members[i].path, PayloadLikeMembers()[i].name);
    EXPECT_EQ(members[i].ModificationUnixTime(), PayloadLikeMembers()[i].time);
    EXPECT_EQ(reader.ExtractToVector(members[i]), PayloadLikeMembers()[i].data);
  }
}

TEST(PayloadArchive, EveryMemberIsLh5EvenWhenIncompressible) {
  const Bytes a = lha::WritePayloadArchive({{"RANDOM.BIN", lha_test::RandomBytes(5000, 9), 0}, {"EMPTY.TXT", {}, 0}});
  for (const lha::MemberHeader& m : lha::ListMembers(a)) EXPECT_EQ(m.methodId, "-lh5-");
  lha::ArchiveWriter stored(lha::ArchiveWriterOptions{true});
  stored.Add({"RANDOM.BIN", lha_test::RandomBytes(5000, 9), 0});
  EXPECT_EQ(lha::ListMembers(stored.Finish())[0].methodId, "-lh0-");
}

TEST(PayloadArchive, AHeaderSizeEndingInZeroGetsAPaddingByte) {
  // 61 + 195 = 256: the size's low byte would be 0x00.
  const std::string name(195, 'N');
  const Bytes a = lha::WritePayloadArchive({{name, lha_test::TextBytes(100, 1), 0}});
  EXPECT_EQ(Le16(a, 0), 257u);
  const std::vector<lha::MemberHeader> m = lha::ListMembers(a);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].path, name);
  EXPECT_EQ(lha::ArchiveReader(a).ExtractToVector(m[0]), lha_test::TextBytes(100, 1));
}

// A writer that does not pad leaves a header of 256 bytes starting with 0x00; lhasa reads it as
// a header, and so do we, wherever it stands. Other bytes after the end byte still end the
// archive.
TEST(ArchiveReader, AnUnpaddedHeaderOf256BytesIsAHeaderNotTheEnd) {
  // 26 + CRC header 5 + name header 3 + 217 + attribute header 5 = 256.
  const std::string longName = std::string(213, 'L') + ".TXT";
  Bytes unpadded = lha_test::HandBuiltArchive(lha_test::NamedMember(longName.c_str(), "unpadded member"));
  ASSERT_EQ(unpadded[0], 0x00);
  ASSERT_EQ(unpadded[1], 0x01);
  unpadded.pop_back();
  Bytes plain = lha_test::HandBuiltArchive(lha_test::NamedMember("PLAIN.TXT", "plain member"));
  plain.pop_back();
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    all.push_back(0);
    return all;
  };
  for (const Bytes& archive : {join({unpadded, plain}), join({plain, unpadded})}) {
    lha::ArchiveReader reader(archive);
    std::vector<std::string> contents;
    while (auto m = reader.Next()) {
      const Bytes data = reader.ExtractToVector(*m);
      contents.push_back(m->path.substr(0, 5) + ":" + std::string(data.begin(), data.end()));
    }
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"LLLLL:unpadded member", "PLAIN:plain member"}));
  }
  // Zeros after the end byte are not a header.
  Bytes trailing = join({plain});
  trailing.resize(trailing.size() + 300, 0);
  EXPECT_EQ(lha::ListMembers(trailing).size(), 1u);
  // What looks like an unpadded header must hold up as one.
  Bytes broken = join({plain, unpadded});
  broken[plain.size() + lha::level2::kFirstExtSize] = 0xF0;
  EXPECT_THROW(lha::ListMembers(broken), lha::ELhaError);
}

// Level-2 header with the extended headers given, in the given order; a 0x00 header's CRC is
// filled in.
Bytes Level2(const std::string& method, const Bytes& data, const std::vector<Bytes>& extended, std::uint32_t packed,
             std::uint32_t original) {
  Bytes h;
  Add16(h, 0);
  h.insert(h.end(), method.begin(), method.end());
  Add32(h, packed);
  Add32(h, original);
  Add32(h, 1000000000);
  h.push_back(0x20);
  h.push_back(2);
  Add16(h, SlowCrc(data, 0, data.size()));
  h.push_back('U');
  std::size_t crcAt = 0;
  for (const Bytes& e : extended) {
    Add16(h, static_cast<std::uint32_t>(e.size() + 2));
    if (e[0] == 0x00) crcAt = h.size() + 1;
    h.insert(h.end(), e.begin(), e.end());
  }
  Add16(h, 0);
  h[0] = static_cast<std::uint8_t>(h.size());
  h[1] = static_cast<std::uint8_t>(h.size() >> 8);
  if (crcAt) {
    const std::uint16_t crc = SlowCrc(h, 0, h.size());
    h[crcAt] = static_cast<std::uint8_t>(crc);
    h[crcAt + 1] = static_cast<std::uint8_t>(crc >> 8);
  }
  return h;
}

Bytes Ext(std::uint8_t type, const std::string& body) {
  Bytes e(1 + body.size(), type);
  std::copy(body.begin(), body.end(), e.begin() + 1);
  return e;
}

TEST(ArchiveReader, FindsExtendedHeadersByTypeInAnyOrder) {
  const Bytes data = lha_test::TextBytes(500, 2);
  const std::vector<Bytes> order = {Ext(0x46, "\xA4\x03"), Ext(0x00, std::string(2, '\0')),
                                    Ext(0x02, "sub\xFFinner\xFF"), Ext(0x50, "\xA4\x81"), Ext(0x01, "file.txt")};
  Bytes a = Level2("-lh0-", data, order, static_cast<std::uint32_t>(data.size()), static_cast<std::uint32_t>(data.size()));
  a.insert(a.end(), data.begin(), data.end());
  a.push_back(0);
  const std::vector<lha::MemberHeader> m = lha::ListMembers(a);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].path, "sub/inner/file.txt");
  EXPECT_EQ(m[0].osId, 'U');
  EXPECT_EQ(lha::ArchiveReader(a).ExtractToVector(m[0]), data);

  // The same header with its CRC field spoilt.
  Bytes bad = a;
  bad[Le16(a, 24) + 26 + 1] ^= 0x01;  // first byte of the 0x00 header's CRC
  EXPECT_EQ(KindOfFailure(bad), lha::ErrorKind::HeaderCrc);
}

TEST(ArchiveReader, TakesSizesFromTheLargeSizeHeader) {
  const Bytes data = lha_test::TextBytes(300, 3);
  Bytes large{0x42};
  Add64(large, data.size());
  Add64(large, data.size());
  Bytes a = Level2("-lh0-", data, {Ext(0x01, "big.txt"), large, Ext(0x00, std::string(2, '\0'))}, 0, 0);
  a.insert(a.end(), data.begin(), data.end());
  a.push_back(0);
  const std::vector<lha::MemberHeader> m = lha::ListMembers(a);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].packedSize, data.size());
  EXPECT_EQ(lha::ArchiveReader(a).ExtractToVector(m[0]), data);
}

// The conversions once subtracted in signed arithmetic, which overflows for a FILETIME of 2^63
// or more: an archive could name such a time in its 0x41 header.
TEST(ArchiveReader, WriteTimesBeyondTheSignedRangeConvertExactly) {
  const std::uint64_t top = ~0ULL;
  const std::int64_t topSeconds = 1833029933770;  // (2^64 - 1 - epoch) / 10^7, rounded down
  EXPECT_EQ(lha::UnixFromFileTime(top), topSeconds);
  EXPECT_EQ(lha::UnixFromFileTime(1ULL << 63), 910692730085);
  EXPECT_EQ(lha::FileTimeFromUnix(topSeconds), top - (top - lha::kFileTimeUnixEpoch) % 10000000);
  EXPECT_EQ(lha::UnixFromFileTime(0), -11644473600);
  EXPECT_EQ(lha::FileTimeFromUnix(-11644473600), 0u);
  EXPECT_EQ(lha::UnixFromFileTime(lha::kFileTimeUnixEpoch - 1), 0);

  const Bytes data = lha_test::TextBytes(100, 4);
  Bytes times{0x41};
  Add64(times, 0);
  Add64(times, top);  // last write
  Add64(times, 0);
  Bytes a = Level2("-lh0-", data, {Ext(0x01, "late.txt"), times, Ext(0x00, std::string(2, '\0'))},
                   static_cast<std::uint32_t>(data.size()), static_cast<std::uint32_t>(data.size()));
  a.insert(a.end(), data.begin(), data.end());
  a.push_back(0);
  const std::vector<lha::MemberHeader> m = lha::ListMembers(a);
  ASSERT_EQ(m.size(), 1u);
  ASSERT_EQ(m[0].writeTime, top);
  EXPECT_EQ(m[0].ModificationUnixTime(), topSeconds);
}

Bytes Level0Or1(int level, const std::string& name, const Bytes& data, const std::vector<Bytes>& extended = {}) {
  Bytes h{0, 0};
  const std::string method = "-lh0-";
  h.insert(h.end(), method.begin(), method.end());
  std::uint32_t extBytes = 0;
  for (const Bytes& e : extended) extBytes += static_cast<std::uint32_t>(e.size() + 2);
  Add32(h, static_cast<std::uint32_t>(data.size()) + extBytes);
  Add32(h, static_cast<std::uint32_t>(data.size()));
  // 2009-03-31 10:58:14: time word then date word.
  const std::uint32_t dosTime = (10u << 11) | (58u << 5) | (14u / 2);
  const std::uint32_t dosDate = ((2009u - 1980u) << 9) | (3u << 5) | 31u;
  Add32(h, dosTime | (dosDate << 16));
  h.push_back(level == 0 ? 0x20 : 0x20);
  h.push_back(static_cast<std::uint8_t>(level));
  h.push_back(static_cast<std::uint8_t>(name.size()));
  h.insert(h.end(), name.begin(), name.end());
  Add16(h, SlowCrc(data, 0, data.size()));
  if (level == 1) {
    h.push_back('M');
    Add16(h, extended.empty() ? 0 : static_cast<std::uint32_t>(extended[0].size() + 2));
  }
  h[0] = static_cast<std::uint8_t>(h.size() - 2);
  unsigned sum = 0;
  for (std::size_t i = 2; i < h.size(); ++i) sum += h[i];
  h[1] = static_cast<std::uint8_t>(sum);
  for (std::size_t i = 0; i < extended.size(); ++i) {
    h.insert(h.end(), extended[i].begin(), extended[i].end());
    Add16(h, i + 1 < extended.size() ? static_cast<std::uint32_t>(extended[i + 1].size() + 2) : 0);
  }
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

TEST(ArchiveReader, ReadsLevel0And1Headers) {
  const Bytes one = lha_test::TextBytes(200, 4);
  const Bytes two = lha_test::RecordBytes(100, 5);
  Bytes a = Level0Or1(0, "DIR\\OLD.TXT", one);
  // "ソフト\A.TXT": the second byte of "ソ" is 0x5C and is not a folder separator.
  const Bytes sjis = Level0Or1(0, "\x83\x5C\x83\x74\x83\x67\\A.TXT", one);
  a.insert(a.end(), sjis.begin(), sjis.end());
  const Bytes l1 = Level0Or1(1, "", two, {Ext(0x01, "NEW.DAT"), Ext(0x02, "D1\xFF")});
  a.insert(a.end(), l1.begin(), l1.end());
  a.push_back(0);
  std::vector<lha::MemberHeader> m = lha::ListMembers(a);
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[1].path, "\x83\x5C\x83\x74\x83\x67/A.TXT");
  m.erase(m.begin() + 1);
  EXPECT_EQ(m[0].level, 0);
  EXPECT_EQ(m[0].path, "DIR/OLD.TXT");
  EXPECT_EQ(m[0].ModificationUnixTime(), 1238497094);  // the MS-DOS time read as UTC
  EXPECT_EQ(m[1].level, 1);
  EXPECT_EQ(m[1].path, "D1/NEW.DAT");
  EXPECT_EQ(m[1].packedSize, two.size());
  lha::ArchiveReader reader(a);
  EXPECT_EQ(reader.ExtractToVector(m[0]), one);
  EXPECT_EQ(reader.ExtractToVector(m[1]), two);

  Bytes bad = a;
  bad[10] ^= 0x40;  // inside the level-0 header: the checksum no longer matches
  EXPECT_EQ(KindOfFailure(bad), lha::ErrorKind::HeaderCrc);
}

TEST(ArchiveReader, ReportsWhatAndWhere) {
  const Bytes data = lha_test::TextBytes(4000, 6);
  Bytes a = lha::WritePayloadArchive({{"FIRST.TXT", data, 0}, {"SECOND.TXT", data, 0}});
  const std::vector<lha::MemberHeader> m = lha::ListMembers(a);
  ASSERT_EQ(m.size(), 2u);
  // The stored data CRC of the second member no longer matches (header CRC kept valid by
  // rebuilding the header).
  lha::Level2Fields f;
  f.name = "SECOND.TXT";
  f.packedSize = m[1].packedSize;
  f.originalSize = m[1].originalSize;
  f.dataCrc = static_cast<std::uint16_t>(m[1].dataCrc ^ 0x1111);
  const Bytes header = lha::BuildLevel2Header(f);
  std::copy(header.begin(), header.end(), a.begin() + static_cast<std::ptrdiff_t>(m[1].headerOffset));
  try {
    lha::ArchiveReader reader(a);
    auto first = reader.Next();
    EXPECT_EQ(reader.ExtractToVector(*first), data);
    auto second = reader.Next();
    reader.ExtractToVector(*second);
    FAIL() << "CRC error not reported";
  } catch (const lha::ELhaError& e) {
    EXPECT_EQ(e.Kind(), lha::ErrorKind::DataCrc);
    EXPECT_EQ(e.Member(), "SECOND.TXT");
    EXPECT_EQ(e.Offset(), m[1].dataOffset);
    EXPECT_NE(std::string(e.what()).find("SECOND.TXT"), std::string::npos);
  }

  Bytes truncated(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(m[1].dataOffset + 10));
  EXPECT_EQ(KindOfFailure(truncated), lha::ErrorKind::Truncated);
  Bytes notArchive = {'M', 'Z', 0x90, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xB8, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(KindOfFailure(notArchive), lha::ErrorKind::NotArchive);
  EXPECT_EQ(KindOfFailure(Bytes{0}), lha::ErrorKind::NotArchive);
}

}  // namespace
