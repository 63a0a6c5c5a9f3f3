// Our archives against lhasa, bsdtar and jlha (an independent Java LHA archiver, run as `lha`),
// and jlha's archives against our reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "Corpus.h"
#include "HandBuiltMember.h"
#include "lha/ArchiveReader.h"
#include "lha/ArchiveSource.h"
#include "lha/ArchiveWriter.h"
#include "lha/Crc16.h"
#include "lha/Header.h"
#include "lha/LhaError.h"
#include "lha/Lh5Encoder.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;

namespace {

using lha_test::Bytes;

struct Ran {
  int status;
  std::string output;
};

Ran Shell(const std::string& command) {
  Ran r{-1, {}};
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

bool HaveTool(const char* name) { return Shell(std::string("command -v ") + name).status == 0; }

Bytes ReadBytes(const fs::path& p) {
  const std::string s = testing_support::ReadFileBytes(p);
  return Bytes(s.begin(), s.end());
}

void WriteBytes(const fs::path& p, const Bytes& b) { testing_support::WriteFileBytes(p, std::string(b.begin(), b.end())); }

std::vector<lha_test::Sample> CorpusWithOneLarge() { return lha_test::Corpus(true); }

TEST(Interop, OurArchivesPassLhasaBsdtarAndJlha) {
  for (const char* tool : {"lhasa", "bsdtar", "lha"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_ours");
  const std::vector<lha_test::Sample> corpus = CorpusWithOneLarge();
  std::vector<lha::ArchiveEntry> entries;
  std::int64_t t = 1271037947;
  for (const lha_test::Sample& s : corpus) entries.push_back({s.name, s.data, t += 3600});
  const fs::path archive = dir / "ours.lzh";
  WriteBytes(archive, lha::WritePayloadArchive(entries));

  const Ran test = Shell("lhasa t " + Q(archive));
  EXPECT_EQ(test.status, 0) << test.output;
  // lhasa treats a bad header as the end of the archive, so every member must be named.
  for (const lha_test::Sample& s : corpus) EXPECT_NE(test.output.find(s.name), std::string::npos) << s.name;

  const Ran list = Shell("bsdtar -tf " + Q(archive));
  EXPECT_EQ(list.status, 0) << list.output;
  std::string expected;
  for (const lha_test::Sample& s : corpus) expected += s.name + "\n";
  EXPECT_EQ(list.output, expected);

  const Ran verbose = Shell("TZ=UTC bsdtar -tvf " + Q(archive));
  EXPECT_NE(verbose.output.find("Apr 12  2010"), std::string::npos) << verbose.output;

  struct Extractor {
    const char* name;
    std::string command;
  };
  const fs::path outLhasa = dir / "lhasa", outBsdtar = dir / "bsdtar", outJlha = dir / "jlha";
  for (const fs::path& d : {outLhasa, outBsdtar, outJlha}) fs::create_directories(d);
  const std::vector<Extractor> extractors = {
      {"lhasa", "cd " + Q(outLhasa) + " && lhasa xq " + Q(archive)},
      {"bsdtar", "bsdtar -xf " + Q(archive) + " -C " + Q(outBsdtar)},
      {"jlha", "cd " + Q(outJlha) + " && lha xq " + Q(archive)},
  };
  for (const Extractor& x : extractors) {
    SCOPED_TRACE(x.name);
    const Ran r = Shell(x.command);
    EXPECT_EQ(r.status, 0) << r.output;
    const fs::path out = dir / x.name;
    for (const lha_test::Sample& s : corpus) {
      ASSERT_TRUE(fs::exists(out / s.name)) << s.name;
      EXPECT_TRUE(ReadBytes(out / s.name) == s.data) << s.name << " differs";
    }
  }
  // Times come from the header: lhasa and bsdtar set them.
  const auto written = fs::last_write_time(outBsdtar / corpus[0].name);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::file_clock::to_sys(written).time_since_epoch()).count();
  EXPECT_EQ(seconds, 1271037947 + 3600);
}

TEST(Interop, OurLh4ToLh7StreamsPassLhasaAndBsdtar) {
  for (const char* tool : {"lhasa", "bsdtar"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_methods");
  Bytes data = lha_test::TextBytes(120000, 31);
  const Bytes exe = lha_test::SystemBinary("/usr/bin/ls", 100000);
  data.insert(data.end(), exe.begin(), exe.end());
  Bytes archive;
  for (lha::Method m : {lha::Method::Lh4, lha::Method::Lh6, lha::Method::Lh7}) {
    const Bytes packed = lha::EncodeLzss(m, data);
    lha::Level2Fields f;
    f.name = std::string(lha::MethodId(m)).substr(1, 3) + ".bin";
    f.method = m;
    f.packedSize = packed.size();
    f.originalSize = data.size();
    f.dataCrc = lha::Crc16(data);
    const Bytes header = lha::BuildLevel2Header(f);
    archive.insert(archive.end(), header.begin(), header.end());
    archive.insert(archive.end(), packed.begin(), packed.end());
  }
  archive.push_back(0);
  WriteBytes(dir / "methods.lzh", archive);
  const Ran lhasa = Shell("lhasa t " + Q(dir / "methods.lzh"));
  EXPECT_EQ(lhasa.status, 0) << lhasa.output;
  for (const char* name : {"lh4.bin", "lh6.bin", "lh7.bin"}) EXPECT_NE(lhasa.output.find(name), std::string::npos) << name;
  fs::create_directories(dir / "lhasa");
  const Ran x = Shell("cd " + Q(dir / "lhasa") + " && lhasa xq " + Q(dir / "methods.lzh"));
  EXPECT_EQ(x.status, 0) << x.output;
  for (const char* name : {"lh4.bin", "lh6.bin", "lh7.bin"}) EXPECT_TRUE(ReadBytes(dir / "lhasa" / name) == data) << name;
  // bsdtar does not unpack -lh4-.
  fs::create_directories(dir / "bsdtar");
  const Ran bsdtar = Shell("bsdtar -xf " + Q(dir / "methods.lzh") + " -C " + Q(dir / "bsdtar") + " lh6.bin lh7.bin");
  EXPECT_EQ(bsdtar.status, 0) << bsdtar.output;
  for (const char* name : {"lh6.bin", "lh7.bin"}) EXPECT_TRUE(ReadBytes(dir / "bsdtar" / name) == data) << name;
}

// Level-2 headers whose extended headers run past the size the header states. lhasa lists no
// member (it takes the header for the end of the archive) and bsdtar calls the header invalid;
// we refuse it too, but say so. The same member with its true size passes all three, which
// shows the hand-built layout itself is sound.
TEST(Interop, ChainsPastTheStatedHeaderSizeAreRefusedLikeLhasaAndBsdtar) {
  for (const char* tool : {"lhasa", "bsdtar"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_short_header");
  const lha_test::HandBuiltMember sound = lha_test::NamedMember("HELLO.TXT", "hello from a hand-built header\n");
  {
    const Bytes archive = lha_test::HandBuiltArchive(sound);
    WriteBytes(dir / "sound.lzh", archive);
    const Ran lhasa = Shell("lhasa p " + Q(dir / "sound.lzh"));
    EXPECT_NE(lhasa.output.find("hello from a hand-built header"), std::string::npos) << lhasa.output;
    const Ran bsdtar = Shell("bsdtar -xOf " + Q(dir / "sound.lzh"));
    EXPECT_EQ(bsdtar.status, 0) << bsdtar.output;
    EXPECT_EQ(bsdtar.output, "hello from a hand-built header\n");
    lha::ArchiveReader reader(archive);
    const auto m = reader.Next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->path, "HELLO.TXT");
    const Bytes data = reader.ExtractToVector(*m);
    EXPECT_EQ(std::string(data.begin(), data.end()), "hello from a hand-built header\n");
  }
  int variant = 0;
  for (const int delta : {-1, -2, -5, -8}) {
    for (const bool dataAtStated : {false, true}) {
      for (const bool crcFirst : {true, false}) {
        lha_test::HandBuiltMember m = sound;
        m.statedDelta = delta;
        m.dataAtStatedSize = dataAtStated;
        if (!crcFirst) std::rotate(m.exts.begin(), m.exts.begin() + 1, m.exts.end());
        const Bytes archive = lha_test::HandBuiltArchive(m);
        const fs::path file = dir / ("short" + std::to_string(variant++) + ".lzh");
        WriteBytes(file, archive);
        const std::string what = file.filename().string() + " delta " + std::to_string(delta);
        const Ran lhasa = Shell("lhasa v " + Q(file));
        EXPECT_EQ(lhasa.output.find("hello.txt"), std::string::npos) << what << "\n" << lhasa.output;
        EXPECT_NE(Shell("bsdtar -tf " + Q(file)).status, 0) << what;
        try {
          lha::ListMembers(archive);
          ADD_FAILURE() << what << " was read";
        } catch (const lha::ELhaError& e) {
          EXPECT_EQ(e.Kind(), lha::ErrorKind::HeaderBroken) << e.what();
          EXPECT_LT(e.Offset(), archive.size()) << e.what();
        }
      }
    }
  }
}

// A header of exactly 256 bytes from a writer that does not pad it starts with 0x00. lhasa reads
// it as a header (bsdtar 3.6 stops there, or refuses the archive when it comes first); so do we.
TEST(Interop, AnUnpaddedHeaderOf256BytesReadsLikeLhasaReadsIt) {
  if (!HaveTool("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_unpadded");
  const std::string longName = std::string(213, 'L') + ".TXT";
  Bytes unpadded = lha_test::HandBuiltArchive(lha_test::NamedMember(longName.c_str(), "unpadded member\n"));
  ASSERT_EQ(unpadded[0], 0x00);
  unpadded.pop_back();
  Bytes plain = lha_test::HandBuiltArchive(lha_test::NamedMember("PLAIN.TXT", "plain member\n"));
  for (const bool unpaddedFirst : {true, false}) {
    Bytes archive = unpaddedFirst ? unpadded : Bytes(plain.begin(), plain.end() - 1);
    const Bytes& second = unpaddedFirst ? plain : unpadded;
    archive.insert(archive.end(), second.begin(), second.end());
    if (!unpaddedFirst) archive.push_back(0);
    const fs::path file = dir / (unpaddedFirst ? "first.lzh" : "second.lzh");
    WriteBytes(file, archive);
    const Ran lhasa = Shell("lhasa p " + Q(file));
    EXPECT_NE(lhasa.output.find("unpadded member"), std::string::npos) << lhasa.output;
    EXPECT_NE(lhasa.output.find("plain member"), std::string::npos) << lhasa.output;
    lha::ArchiveReader reader(archive);
    std::string ours;
    while (auto m = reader.Next()) {
      const Bytes data = reader.ExtractToVector(*m);
      ours += std::string(data.begin(), data.end());
    }
    EXPECT_EQ(ours, unpaddedFirst ? "unpadded member\nplain member\n" : "plain member\nunpadded member\n");
  }
}

// A level-2 archive of MorphOS's LHA (see the fixtures' README): its extended headers come in
// the order 01, 42, 00, it says OS 'A', and its reserved byte is 0 where our writer puts 0x20.
// The 0x42 header holds the true sizes; the 32-bit original-size field holds only the low bits.
TEST(Interop, AnotherArchiversLevel2HeaderReadsLikeLhasaReadsIt) {
  NORVEX_REQUIRE_FIXTURES(fixtures);
  const fs::path file = fixtures / "lha" / "zeros-400mb-other-encoder.lzh";
  if (!fs::exists(file)) GTEST_SKIP() << file << " is absent";
  lha::FileSource source(file);
  const std::vector<lha::MemberHeader> members = lha::ListMembers(source);
  ASSERT_EQ(members.size(), 1u);
  const lha::MemberHeader& m = members[0];
  EXPECT_EQ(m.path, "zero.bin");
  EXPECT_EQ(m.method, lha::Method::Lh5);
  EXPECT_EQ(m.osId, 'A');
  EXPECT_EQ(m.headerSize, 61u);
  EXPECT_EQ(m.packedSize, 23891u);
  EXPECT_EQ(m.originalSize, 4718592000ull);
  EXPECT_EQ(m.originalSize & 0xFFFFFFFFu, 423624704u);
  EXPECT_EQ(m.dataOffset + m.packedSize + 1, fs::file_size(file));
  if (!HaveTool("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  // lhasa before 0.5 knows no 0x42 header and shows the 32-bit size; name and packed size agree.
  const Ran list = Shell("lhasa v " + Q(file));
  EXPECT_NE(list.output.find("zero.bin"), std::string::npos) << list.output;
  EXPECT_NE(list.output.find("23891"), std::string::npos) << list.output;
}

struct JlhaCase {
  const char* options;
  const char* method;  // expected for the compressible members
  int level;
};

TEST(Interop, JlhaArchivesUnpackByteIdentical) {
  if (!HaveTool("lha")) GTEST_SKIP() << "jlha (lha) is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_jlha");
  const fs::path in = dir / "in";
  fs::create_directories(in);
  std::vector<lha_test::Sample> corpus = lha_test::Corpus(false);
  std::string names;
  for (const lha_test::Sample& s : corpus) {
    WriteBytes(in / s.name, s.data);
    names += " " + Q(s.name);
  }
  const JlhaCase cases[] = {{"", "-lh5-", 2}, {"o6", "-lh6-", 2}, {"o7", "-lh7-", 2},
                            {"0", "-lh5-", 0}, {"1", "-lh5-", 1}, {"1o6", "-lh6-", 1}};
  for (const JlhaCase& c : cases) {
    SCOPED_TRACE(c.options);
    const fs::path archive = dir / (std::string("j") + c.options + ".lzh");
    std::string opts = c.options;
    opts.erase(std::remove(opts.begin(), opts.end(), ' '), opts.end());
    const Ran r = Shell("cd " + Q(in) + " && lha c" + opts + "q " + Q(archive) + names);
    ASSERT_EQ(r.status, 0) << r.output;
    const Bytes bytes = ReadBytes(archive);
    lha::ArchiveReader reader(bytes);
    std::size_t i = 0;
    bool sawMethod = false;
    while (auto m = reader.Next()) {
      ASSERT_LT(i, corpus.size());
      EXPECT_EQ(m->path, corpus[i].name);
      EXPECT_EQ(m->level, c.level);
      sawMethod = sawMethod || m->methodId == c.method;
      EXPECT_TRUE(reader.ExtractToVector(*m) == corpus[i].data) << corpus[i].name;
      ++i;
    }
    EXPECT_EQ(i, corpus.size());
    EXPECT_TRUE(sawMethod);
  }
}

// Long runs pack into blocks whose symbol table has a single match length, written in the
// one-symbol form; the other readers must accept it, and the result must not be larger than
// jlha's.
TEST(Interop, LongRunsPackSmallAndUnpackEverywhere) {
  for (const char* tool : {"lhasa", "bsdtar", "lha"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_runs");
  Bytes runs(6 << 20, 0);
  std::fill(runs.begin() + (2 << 20), runs.begin() + (4 << 20), 'A');
  const Bytes tail = lha_test::TextBytes(5000, 3);
  runs.insert(runs.end(), tail.begin(), tail.end());
  fs::create_directories(dir / "in");
  WriteBytes(dir / "in" / "runs.bin", runs);
  const fs::path ours = dir / "ours.lzh", jlha = dir / "jlha.lzh";
  WriteBytes(ours, lha::WritePayloadArchive({{"runs.bin", runs, 1300000000}}));
  ASSERT_EQ(Shell("cd " + Q(dir / "in") + " && lha cq " + Q(jlha) + " runs.bin").status, 0);
  const std::vector<lha::MemberHeader> ourMembers = lha::ListMembers(ReadBytes(ours));
  const std::vector<lha::MemberHeader> jlhaMembers = lha::ListMembers(ReadBytes(jlha));
  ASSERT_EQ(ourMembers.size(), 1u);
  ASSERT_EQ(jlhaMembers.size(), 1u);
  EXPECT_LE(ourMembers[0].packedSize, jlhaMembers[0].packedSize);

  fs::create_directories(dir / "lhasa");
  fs::create_directories(dir / "bsdtar");
  Ran r = Shell("cd " + Q(dir / "lhasa") + " && lhasa xq " + Q(ours));
  EXPECT_EQ(r.status, 0) << r.output;
  r = Shell("bsdtar -xf " + Q(ours) + " -C " + Q(dir / "bsdtar"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(ReadBytes(dir / "lhasa" / "runs.bin") == runs);
  EXPECT_TRUE(ReadBytes(dir / "bsdtar" / "runs.bin") == runs);
}

// A run that ends on a full-length match leaves the last block with one match length only;
// bsdtar stops short on such a block in the one-symbol form, so every reader must get it whole.
TEST(Interop, RunsEndingOnAFullMatchUnpackEverywhere) {
  for (const char* tool : {"lhasa", "bsdtar"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_run_end");
  for (std::size_t size : {std::size_t{1} + 3072 * 256, std::size_t{1} + 4095 * 256, std::size_t{1} << 20}) {
    const Bytes zeros(size, 0);
    const fs::path archive = dir / ("zeros-" + std::to_string(size) + ".lzh");
    WriteBytes(archive, lha::WritePayloadArchive({{"zeros.bin", zeros, 1300000000}}));
    for (const char* tool : {"lhasa", "bsdtar"}) {
      const fs::path out = dir / (std::string(tool) + "-" + std::to_string(size));
      fs::create_directories(out);
      const std::string command = std::string(tool) == "lhasa" ? "cd " + Q(out) + " && lhasa xq " + Q(archive)
                                                                 : "bsdtar -xf " + Q(archive) + " -C " + Q(out);
      const Ran r = Shell(command);
      EXPECT_EQ(r.status, 0) << tool << ", " << size << " bytes: " << r.output;
      EXPECT_TRUE(ReadBytes(out / "zeros.bin") == zeros) << tool << ", " << size << " bytes";
    }
  }
}

// A member several times larger than the decoder's buffers, packed by jlha, unpacked from the
// file in pieces: the bytes are those lhasa and bsdtar write.
TEST(Interop, ALargeJlhaMemberStreamsToTheBytesLhasaAndBsdtarWrite) {
  for (const char* tool : {"lhasa", "bsdtar", "lha"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_stream");
  Bytes data = lha_test::TextBytes(1 << 20, 8);
  for (const Bytes& piece : {lha_test::SystemBinary("/usr/bin/bash", 2 << 20), lha_test::RecordBytes(1 << 20, 9),
                             lha_test::RandomBytes(300000, 10)})
    data.insert(data.end(), piece.begin(), piece.end());
  fs::create_directories(dir / "in");
  WriteBytes(dir / "in" / "big.bin", data);
  const fs::path archive = dir / "jlha.lzh";
  ASSERT_EQ(Shell("cd " + Q(dir / "in") + " && lha cq " + Q(archive) + " big.bin").status, 0);

  lha::FileSource source(archive);
  lha::ArchiveReader reader(source);
  const std::optional<lha::MemberHeader> m = reader.Next();
  ASSERT_TRUE(m);
  ASSERT_EQ(m->methodId, "-lh5-");
  Bytes ours;
  reader.Extract(*m, [&](std::span<const std::uint8_t> piece) {
    ASSERT_LE(piece.size(), lha::kMaxSinkPiece);
    ours.insert(ours.end(), piece.begin(), piece.end());
  });
  fs::create_directories(dir / "lhasa");
  fs::create_directories(dir / "bsdtar");
  ASSERT_EQ(Shell("cd " + Q(dir / "lhasa") + " && lhasa xq " + Q(archive)).status, 0);
  ASSERT_EQ(Shell("bsdtar -xf " + Q(archive) + " -C " + Q(dir / "bsdtar")).status, 0);
  EXPECT_TRUE(ours == ReadBytes(dir / "lhasa" / "big.bin"));
  EXPECT_TRUE(ours == ReadBytes(dir / "bsdtar" / "big.bin"));
  EXPECT_TRUE(ours == data);
}

}  // namespace

// Conventions of other writers, each archive built byte for byte: LHA 2.01 for OS-9/68k, whose
// level-2 header sizes leave out the 0 that ends the extended headers; Amiga and MorphOS
// archivers, whose level-0/1 name fields carry a NUL and a file comment. lhasa reads both as we
// do. Any other header running past its stated size stays refused.
TEST(Interop, Os9HeadersAndNameCommentsAreReadLikeLhasa) {
  if (!HaveTool("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  const fs::path dir = testing_support::FreshTempDir("lha_interop_conventions");
  const Bytes gpl = lha_test::Text(std::string(300, 'G').append("NU General Public License\n").c_str());
  const Bytes second = lha_test::Text("the member after it\n");
  const Bytes os9 = lha_test::HandBuiltArchive({lha_test::Os9Member("gpl-2", gpl), lha_test::Os9Member("next.txt", second)});
  ASSERT_EQ(os9[0], 44);
  ASSERT_EQ(os9[38], lha::ext::kFileName);
  WriteBytes(dir / "os9.lzh", os9);
  const Bytes comment = lha_test::Text("commented file\n");
  Bytes amiga = lha_test::Level01Member(0, std::string("metadata.txt\0This is a comment on the file.", 43), comment);
  const Bytes level1 = lha_test::Level01Member(1, std::string("other.txt\0A comment.", 20), second);
  amiga.insert(amiga.end(), level1.begin(), level1.end());
  amiga.push_back(0);
  WriteBytes(dir / "amiga.lzh", amiga);

  const std::vector<std::pair<std::string, std::vector<std::pair<std::string, Bytes>>>> archives = {
      {"os9.lzh", {{"gpl-2", gpl}, {"next.txt", second}}}, {"amiga.lzh", {{"metadata.txt", comment}, {"other.txt", second}}}};
  for (const auto& [file, members] : archives) {
    SCOPED_TRACE(file);
    const Ran test = Shell("lhasa t " + Q(dir / file));
    EXPECT_EQ(test.status, 0) << test.output;
    const fs::path out = dir / ("lhasa_" + file);
    fs::create_directories(out);
    ASSERT_EQ(Shell("cd " + Q(out) + " && lhasa xq " + Q(dir / file)).status, 0);
    const Bytes archive = ReadBytes(dir / file);
    lha::ArchiveReader reader(archive);
    for (const auto& [name, data] : members) {
      EXPECT_TRUE(ReadBytes(out / name) == data) << name;
      const auto m = reader.Next();
      ASSERT_TRUE(m) << name;
      EXPECT_EQ(m->path, name);
      EXPECT_TRUE(reader.ExtractToVector(*m) == data) << name;
    }
    EXPECT_FALSE(reader.Next());
  }
  const auto listed = lha::ListMembers(amiga);
  EXPECT_EQ(listed[0].comment, "This is a comment on the file.");
  EXPECT_EQ(listed[1].comment, "A comment.");
  EXPECT_EQ(lha::ListMembers(os9)[1].headerOffset, 46 + lha::EncodeLh5(gpl).size());

  // Not the OS-9 convention: another shortfall, bytes past the size that are not 0 0, or the
  // same header from another system.
  for (const int delta : {-1, -3, -4}) {
    lha_test::HandBuiltMember m = lha_test::Os9Member("gpl-2", gpl);
    m.statedDelta = delta;
    EXPECT_THROW(lha::ListMembers(lha_test::HandBuiltArchive(m)), lha::ELhaError) << delta;
  }
  lha_test::HandBuiltMember cut = lha_test::Os9Member("gpl-2", gpl);
  cut.dataAtStatedSize = true;
  EXPECT_THROW(lha::ListMembers(lha_test::HandBuiltArchive(cut)), lha::ELhaError);
  lha_test::HandBuiltMember dos = lha_test::Os9Member("gpl-2", gpl);
  dos.osId = 'M';
  EXPECT_THROW(lha::ListMembers(lha_test::HandBuiltArchive(dos)), lha::ELhaError);
}
