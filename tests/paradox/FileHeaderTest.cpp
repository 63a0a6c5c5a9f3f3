// The header and block-header codec: the real engine's headers come back byte for byte, damaged
// headers are refused naming the file, and each field lands where the published descriptions
// of the format put it (read back here with a byte reader of the test's own).

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "paradox/BlockHead.h"
#include "paradox/EngineError.h"
#include "paradox/FileHeader.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;
using testing_support::ReadFileBytes;

namespace {

unsigned U8(const std::string& b, std::size_t at) { return static_cast<unsigned char>(b.at(at)); }
unsigned U16(const std::string& b, std::size_t at) { return U8(b, at) | (U8(b, at + 1) << 8); }
std::uint32_t U32(const std::string& b, std::size_t at) { return U16(b, at) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16); }

// Table-family files among the samples, by kind: DB, PX, X (.Xnn/.XGn), Y (.Ynn/.YGn).
std::map<std::string, std::vector<fs::path>> FamilyFiles(const fs::path& root) {
  std::map<std::string, std::vector<fs::path>> out;
  for (const auto& e : fs::recursive_directory_iterator(root / "paradox")) {
    if (!e.is_regular_file()) continue;
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (ext == ".DB" || ext == ".PX") out[ext.substr(1)].push_back(e.path());
    else if (ext.size() == 4 && (ext[1] == 'X' || ext[1] == 'Y')) out[ext.substr(1, 1)].push_back(e.path());
  }
  return out;
}

void ExpectRefused(const std::string& bytes, const std::string& what) {
  SCOPED_TRACE(what);
  try {
    FileHeader::Decode(bytes, "DAMAGED.DB");
    ADD_FAILURE() << "decoded";
  } catch (const EDBEngineError& e) {
    EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile);
    EXPECT_EQ(e.File(), "DAMAGED.DB");
    EXPECT_NE(std::string(e.what()).find("Corrupt table/index header."), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
  }
}

// A sound level-7 keyed .DB header: 2 KiB blocks, records of 30 bytes.
std::string SoundHeader() {
  std::string b(0x800, '\0');
  b[0x00] = 30;
  b[0x03] = 0x08;  // header size 0x0800
  b[0x05] = 2;
  b[0x39] = 0x0C;
  return b;
}

}  // namespace

TEST(FileHeader, RealEngineHeadersAndBlocksComeBackUnchanged) {
  NORVEX_REQUIRE_FIXTURES(root);
  const auto files = FamilyFiles(root);
  for (const char* kind : {"DB", "PX", "X", "Y"}) EXPECT_FALSE(files.count(kind) == 0) << "no ." << kind << " sample";
  std::size_t blocks = 0;
  for (const auto& [kind, paths] : files) {
    for (const auto& p : paths) {
      SCOPED_TRACE(p.string());
      const std::string file = ReadFileBytes(p);
      ASSERT_GE(file.size(), 0x78u);
      const std::string header = file.substr(0, std::min<std::size_t>(U16(file, 0x02), file.size()));
      const FileHeader h = FileHeader::Decode(header, p.string());
      EXPECT_EQ(h.recordSize, U16(file, 0x00));
      EXPECT_EQ(h.fileType, U8(file, 0x04));
      EXPECT_EQ(h.recordCount, U32(file, 0x06));
      EXPECT_EQ(h.level, U8(file, 0x39));
      EXPECT_EQ(h.autoIncrement, U32(file, 0x49));
      const bool directory = kind == "PX" || kind == "Y";
      EXPECT_EQ(h.longPart, !directory && h.level >= 5);
      if (h.longPart) {
        EXPECT_EQ(h.codePage, U16(file, 0x6A));
      }
      if (kind == "X") {
        EXPECT_EQ(h.indexStamp, U8(file, 0x2E));
      }

      std::string again = header;
      h.Encode(again);
      EXPECT_TRUE(again == header) << "header bytes changed by Encode";

      // Every block's header, chained or free, decodes to what the bytes say and encodes back.
      const std::size_t blockBytes = h.BlockBytes();
      for (std::uint16_t n = 1; n <= h.fileBlocks && h.BlockOffset(n) + blockBytes <= file.size(); ++n, ++blocks) {
        const std::size_t at = static_cast<std::size_t>(h.BlockOffset(n));
        const BlockHead bh = BlockHead::Decode(file.data() + at);
        EXPECT_EQ(bh.next, U16(file, at));
        EXPECT_EQ(bh.previous, U16(file, at + 2));
        EXPECT_EQ(static_cast<std::uint16_t>(bh.addDataSize), U16(file, at + 4));
        std::string six(6, '\x5A');
        bh.Encode(six.data());
        EXPECT_EQ(six, file.substr(at, 6));
      }
    }
  }
  EXPECT_GT(blocks, 0u);
}

TEST(FileHeader, TruncatedAndInconsistentHeadersAreRefusedNamingTheFile) {
  ExpectRefused(SoundHeader().substr(0, 0x57), "shorter than a table header");
  ExpectRefused("", "shorter than a table header");

  std::string b = SoundHeader();
  b[0x02] = 0x10;
  b[0x03] = 0;
  ExpectRefused(b, "header size 16");

  for (int kib : {0, 3, 64, 255}) {
    b = SoundHeader();
    b[0x05] = static_cast<char>(kib);
    ExpectRefused(b, "block size of " + std::to_string(kib) + " KiB");
  }

  b = SoundHeader();
  b[0x00] = 0;
  ExpectRefused(b, "record size 0");
  b = SoundHeader();  // 2048 - 6 bytes is the most a 2 KiB block holds
  b[0x00] = static_cast<char>(0xFB);
  b[0x01] = 0x07;
  ExpectRefused(b, "record size 2043 does not fit a block of 2048");
  b[0x00] = static_cast<char>(0xFA);
  EXPECT_EQ(FileHeader::Decode(b, "SOUND.DB").recordSize, 2042);
}

TEST(FileHeader, EachFieldLandsAtItsOffsetAndNothingElseIsWritten) {
  FileHeader h;
  h.recordSize = 0x0102;
  h.headerSize = 0x0800;
  h.fileType = 5;
  h.blockSizeKiB = 4;
  h.recordCount = 0x03040506;
  h.blocksInUse = 0x0708;
  h.fileBlocks = 0x090A;
  h.firstBlock = 0x0B0C;
  h.lastBlock = 0x0D0E;
  h.changeCount = 0x0F10;
  h.modified = 0x11;
  h.firstIndexField = 0x12;
  h.indexRoot = 0x1314;
  h.indexLevels = 0x15;
  h.fieldCount = 0x1617;
  h.keyFieldCount = 0x1819;
  h.marker = 0xFF00FF00;
  h.sortOrder = 0x1A;
  h.modified2 = 0x1B;
  h.indexValid = 0x1C;
  h.structureChanges = 0x1D;
  h.indexStamp = 0x1E;
  h.primaryIndexStamp = 0x1F;
  h.level = 0x0C;
  h.fileBlocksAgain = 0x2021;
  h.dbMarker = 0x0F1F;
  h.autoIncrement = 0x22232425;
  h.firstFreeBlock = 0x2627;
  h.usedSize = 0x2829;
  h.flags = 0x2A;
  h.dbMarker2 = 0x20;
  h.longPart = true;
  h.levelWord1 = 0x010C;
  h.levelWord2 = 0x010D;
  h.encryption = 0x2B2C2D2E;
  h.writeTime = 0x2F303132;
  h.fieldCountPlus1 = 0x3334;
  h.fieldNumbersAt = 0x3536;
  h.indexNameAt = 0x3738;
  h.codePage = 932;
  h.ones = 0x0101;
  h.sortNameAt = 0x393A;
  h.sortNameOne = 1;

  const std::string untouched(0x800, '\xA5');
  std::string b = untouched;
  h.Encode(b);
  // Offset, size, value: the table of the published format descriptions.
  const std::vector<std::tuple<std::size_t, int, std::uint32_t>> fields = {
      {0x00, 2, 0x0102},     {0x02, 2, 0x0800},     {0x04, 1, 5},          {0x05, 1, 4},          {0x06, 4, 0x03040506},
      {0x0A, 2, 0x0708},     {0x0C, 2, 0x090A},     {0x0E, 2, 0x0B0C},     {0x10, 2, 0x0D0E},     {0x12, 2, 0x0F10},
      {0x14, 1, 0x11},       {0x15, 1, 0x12},       {0x1E, 2, 0x1314},     {0x20, 1, 0x15},       {0x21, 2, 0x1617},
      {0x23, 2, 0x1819},     {0x25, 4, 0xFF00FF00}, {0x29, 1, 0x1A},       {0x2A, 1, 0x1B},       {0x2C, 1, 0x1C},
      {0x2D, 1, 0x1D},       {0x2E, 1, 0x1E},       {0x2F, 1, 0x1F},       {0x39, 1, 0x0C},       {0x3A, 2, 0x2021},
      {0x3E, 2, 0x0F1F},     {0x49, 4, 0x22232425}, {0x4D, 2, 0x2627},     {0x51, 2, 0x2829},     {0x55, 1, 0x2A},
      {0x56, 1, 0x20},       {0x58, 2, 0x010C},     {0x5A, 2, 0x010D},     {0x5C, 4, 0x2B2C2D2E}, {0x60, 4, 0x2F303132},
      {0x64, 2, 0x3334},     {0x66, 2, 0x3536},     {0x68, 2, 0x3738},     {0x6A, 2, 932},        {0x6C, 2, 0x0101},
      {0x6E, 2, 0x393A},     {0x70, 2, 1},
  };
  std::vector<bool> field(0x800, false);
  for (const auto& [at, size, value] : fields) {
    SCOPED_TRACE(at);
    const std::uint32_t read = size == 1 ? U8(b, at) : size == 2 ? U16(b, at) : U32(b, at);
    EXPECT_EQ(read, value);
    for (int i = 0; i < size; ++i) field[at + i] = true;
  }
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (!field[i]) {
      EXPECT_EQ(U8(b, i), 0xA5u) << "byte " << i << " written";
    }
  }
  EXPECT_TRUE(FileHeader::Decode(b, "X.X06").indexNameAt == 0x3738);

  // The offsets that messages about damaged headers point at.
  EXPECT_EQ(FileHeader::OffsetOf(&FileHeader::fileType), 0x04u);
  EXPECT_EQ(FileHeader::OffsetOf(&FileHeader::firstFreeBlock), 0x4Du);
  EXPECT_EQ(FileHeader::OffsetOf(&FileHeader::recordCount), 0x06u);
  EXPECT_EQ(FileHeader::OffsetOf(&FileHeader::indexNameAt), 0x68u);
  EXPECT_EQ(FileHeader::OffsetOf(&FileHeader::encryption), 0x5Cu);

  // Without the long part (a .PX, or below level 5) 0x58 on belongs to the variable part.
  h.longPart = false;
  b = untouched;
  h.Encode(b);
  EXPECT_EQ(b.substr(0x58), untouched.substr(0x58));
  h.fileType = 1;
  h.Encode(b);
  const FileHeader px = FileHeader::Decode(b, "X.PX");
  EXPECT_FALSE(px.longPart);
  EXPECT_EQ(px.codePage, 0u);
}

TEST(FileHeader, AChangedFieldChangesOnlyItsBytesInARealHeader) {
  NORVEX_REQUIRE_FIXTURES(root);
  const std::string file = ReadFileBytes(root / "paradox" / "leonhad-paradoxdriver" / "db" / "CUSTOMER.DB");
  const std::string header = file.substr(0, U16(file, 0x02));
  FileHeader h = FileHeader::Decode(header, "CUSTOMER.DB");
  h.autoIncrement = 0x01020304;
  h.modified = 1;
  h.firstFreeBlock = 0x0506;
  std::string changed = header;
  h.Encode(changed);
  EXPECT_EQ(U32(changed, 0x49), 0x01020304u);
  EXPECT_EQ(U8(changed, 0x14), 1u);
  EXPECT_EQ(U16(changed, 0x4D), 0x0506u);
  for (std::size_t i = 0; i < header.size(); ++i) {
    const bool ours = i == 0x14 || (i >= 0x49 && i < 0x4D) || i == 0x4D || i == 0x4E;
    if (!ours) {
      EXPECT_EQ(changed[i], header[i]) << "byte " << i;
    }
  }
}

TEST(BlockHead, LinksAndRecordCountsAtTheirOffsets) {
  std::string b(16, '\xA5');
  BlockHead::For(0x0102, 0x0304, 3, 40).Encode(b.data());
  EXPECT_EQ(U16(b, 0), 0x0102u);
  EXPECT_EQ(U16(b, 2), 0x0304u);
  EXPECT_EQ(U16(b, 4), 80u);  // (3 - 1) × 40
  EXPECT_EQ(b.substr(6), std::string(10, '\xA5'));
  EXPECT_EQ(BlockHead::kSize, 6u);
  EXPECT_EQ(BlockHead::OffsetOf(&BlockHead::previous), 2u);
  EXPECT_EQ(BlockHead::OffsetOf(&BlockHead::addDataSize), 4u);

  // An empty block claims minus one record.
  BlockHead::For(0, 0, 0, 40).Encode(b.data());
  EXPECT_EQ(U16(b, 4), 0x10000u - 40);
  EXPECT_EQ(BlockHead::Decode(b.data()).RecordCount(40, 10), 0u);

  const BlockHead full = BlockHead::For(0, 0, 10, 40);
  EXPECT_EQ(full.RecordCount(40, 10), 10u);
  EXPECT_EQ(full.RecordCount(40, 9), std::nullopt);  // more than fit
  const BlockHead partial{0, 0, 41}, belowEmpty{0, 0, -41}, one{0, 0, 0};
  EXPECT_EQ(partial.RecordCount(40, 10), std::nullopt);
  EXPECT_EQ(belowEmpty.RecordCount(40, 10), std::nullopt);
  EXPECT_EQ(one.RecordCount(40, 10), 1u);
  EXPECT_EQ(one.RecordCount(0, 10), std::nullopt);
}
