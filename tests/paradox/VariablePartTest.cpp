// The header's variable part, the slots of small blobs and the tails of blob fields: real
// headers decode and encode back to their own bytes, and damage is reported where it lies.

#include <gtest/gtest.h>

#include <algorithm>

#include "paradox/EngineError.h"
#include "paradox/FileHeader.h"
#include "paradox/MemoFile.h"
#include "paradox/ParadoxFormat.h"
#include "paradox/TableFamily.h"
#include "paradox/VariablePart.h"
#include "support/TestPaths.h"

namespace fs = std::filesystem;
using namespace paradox;

namespace {

// The data and secondary index files of the real-engine samples.
std::vector<fs::path> FixtureHeaders(const fs::path& root) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(root / "paradox")) {
    if (!e.is_regular_file()) continue;
    const std::string ext = e.path().extension().string();
    const auto member = ClassifyFamilyExtension(ext);
    const bool xFile = ext.size() == 4 && (ext[1] == 'X' || ext[1] == 'x');
    if (member == FamilyMember::kData || (member == FamilyMember::kSecondaryIndex && xFile)) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool IsNamedIndex(std::uint8_t fileType) {
  return fileType == format::kFileXGn || fileType == format::kFileXGnNotMaintained;
}

VariablePart Sample() {
  VariablePart v;
  v.fields = {{0x01, 20, 0, "NAME", 1}, {0x04, 4, 0, "ID", 2}, {0x0C, 30, 0, "NOTE", 3}};
  v.tableName = "kokyaku.db";
  v.sortOrderName = "ascii";
  return v;
}

// The header bytes up to and including the variable part of `v` at `level`.
std::string HeaderWith(const VariablePart& v, std::uint8_t level) {
  std::string h(VariablePart::Start(level), '\0');
  return h + v.Encode(level);
}

// The corruption error Decode raises, or a failure when it raises none.
EDBEngineError DecodeError(std::string_view header, std::size_t fieldCount, std::uint8_t level,
                           std::optional<std::size_t> indexNameAt = std::nullopt) {
  try {
    VariablePart::Decode(header, fieldCount, level, "T.DB", indexNameAt);
  } catch (const EDBEngineError& e) {
    return e;
  }
  ADD_FAILURE() << "decoded without an error";
  return EDBEngineError(EngineErrorCode::kGeneral, "none");
}

}  // namespace

TEST(VariablePart, RealHeadersEncodeBackToTheirBytes) {
  NORVEX_REQUIRE_FIXTURES(root);
  const std::vector<fs::path> files = FixtureHeaders(root);
  ASSERT_GE(files.size(), 20u);
  std::size_t named = 0;
  for (const fs::path& p : files) {
    SCOPED_TRACE(p.string());
    const std::string bytes = testing_support::ReadFileBytes(p);
    const FileHeader h = FileHeader::Decode(bytes, p.string());
    const std::string header = bytes.substr(0, h.headerSize);
    std::optional<std::size_t> indexNameAt;
    if (IsNamedIndex(h.fileType)) indexNameAt = format::kVariablePartShort + h.indexNameAt;
    const VariablePart v = VariablePart::Decode(header, h.fieldCount, h.level, p.string(), indexNameAt);
    ASSERT_EQ(v.fields.size(), h.fieldCount);
    const std::string encoded = v.Encode(h.level);
    const std::size_t start = VariablePart::Start(h.level);
    EXPECT_EQ(encoded, header.substr(start, encoded.size()));
    if (!h.longPart) continue;
    // The header's own pointers into the part say where its pieces lie.
    const VariablePart::Layout l = v.LayoutAt(h.level);
    EXPECT_EQ(start + l.fieldNumbers, format::kVariablePartShort + h.fieldNumbersAt);
    EXPECT_EQ(start + l.sortOrderName, format::kVariablePartShort + h.sortNameAt);
    EXPECT_EQ(start + l.size, h.usedSize);
    EXPECT_FALSE(v.sortOrderName.empty());
    if (indexNameAt) {
      ++named;
      ASSERT_TRUE(v.indexName.has_value());
      EXPECT_FALSE(v.indexName->empty());
    }
  }
  EXPECT_GE(named, 2u) << "the samples hold .XGn files";
}

TEST(VariablePart, PiecesLieWhereTheTableSays) {
  VariablePart v = Sample();
  v.tableNamePointer = 0x12345678;
  v.fields[1].namePointer = 0xCAFEBABE;
  const std::uint8_t level = format::kLevel7;
  const std::string b = v.Encode(level);
  const VariablePart::Layout l = v.LayoutAt(level);
  ASSERT_EQ(b.size(), l.size);
  // 3 descriptors, the table-name pointer, 3 field-name pointers, then the 261-byte name area.
  EXPECT_EQ(l.tableName, 3u * 2 + 4 + 3u * 4);
  EXPECT_EQ(b.substr(0, 6), std::string("\x01\x14\x04\x04\x0C\x1E", 6));
  EXPECT_EQ(b.substr(6, 4), std::string("\x78\x56\x34\x12", 4));
  EXPECT_EQ(b.substr(14, 4), std::string("\xBE\xBA\xFE\xCA", 4));
  EXPECT_EQ(l.fieldNames, l.tableName + format::kTableNameSizeLevel7);
  EXPECT_EQ(b.substr(l.fieldNames, 13), std::string("NAME\0ID\0NOTE\0", 13));
  EXPECT_EQ(b.substr(l.fieldNumbers, 6), std::string("\x01\0\x02\0\x03\0", 6));
  EXPECT_EQ(b.substr(l.sortOrderName), std::string("ascii\0", 6));
  EXPECT_EQ(VariablePart::Decode(HeaderWith(v, level), 3, level, "T.DB").fields[1].namePointer, 0xCAFEBABEu);

  // A name longer than its area is cut to leave the terminating NUL; below level 7 the area is 79.
  v.tableName = std::string(300, 'N');
  const VariablePart cut = VariablePart::Decode(HeaderWith(v, 11), 3, 11, "T.DB");
  EXPECT_EQ(cut.tableName, std::string(format::kTableNameSizeOld - 1, 'N'));
  EXPECT_EQ(cut.fields[2].name, "NOTE");
}

TEST(VariablePart, TruncatedOrLyingPartIsACorruptHeaderAtItsOffset) {
  const VariablePart v = Sample();
  const std::uint8_t level = format::kLevel7;
  const std::string full = HeaderWith(v, level);
  const std::size_t start = VariablePart::Start(level);
  const VariablePart::Layout l = v.LayoutAt(level);

  // Cut inside each piece: the error names the piece's start (the field count for descriptors).
  struct Cut {
    std::size_t keep;
    std::uint64_t offset;
  };
  const Cut cuts[] = {
      {start + 3, format::kHeaderFieldCount},
      {start + l.tableName + 10, start + l.tableName},
      {start + l.fieldNames + 6, start + l.fieldNames + 5},  // inside "ID"
      {start + l.fieldNumbers + 3, start + l.fieldNumbers},
      {start + l.sortOrderName + 2, start + l.sortOrderName},
  };
  for (const Cut& c : cuts) {
    SCOPED_TRACE(c.keep);
    const EDBEngineError e = DecodeError(std::string_view(full).substr(0, c.keep), 3, level);
    EXPECT_EQ(e.Code(), EngineErrorCode::kCorruptFile);
    EXPECT_EQ(e.Offset(), c.offset);
    EXPECT_EQ(e.File(), "T.DB");
    EXPECT_NE(std::string(e.what()).find("Corrupt table/index header."), std::string::npos) << e.what();
  }

  // A field count that claims two fields more shifts every piece by 12 bytes: the names then
  // take up the numbers and the sort-order name, and the numbers find nothing left.
  const EDBEngineError lying = DecodeError(full, 5, level);
  EXPECT_EQ(lying.Code(), EngineErrorCode::kCorruptFile);
  EXPECT_EQ(lying.Offset(), full.size());

  // An index name pointer past the bytes, or to a name without its NUL, is the header's 0x68.
  EXPECT_EQ(DecodeError(full, 3, level, full.size() + 5).Offset(), format::kHeaderIndexNameAt);
  VariablePart named = v;
  named.indexName = "ByName";
  const std::string withName = HeaderWith(named, level);
  const std::size_t nameAt = start + named.LayoutAt(level).indexName;
  EXPECT_EQ(VariablePart::Decode(withName, 3, level, "T.DB", nameAt).indexName, "ByName");
  EXPECT_EQ(DecodeError(std::string_view(withName).substr(0, withName.size() - 1), 3, level, nameAt).Offset(),
            format::kHeaderIndexNameAt);

  // Bytes that end with the field numbers hold no sort-order name, which is not damage.
  const VariablePart bare = VariablePart::Decode(std::string_view(full).substr(0, start + l.sortOrderName), 3, level, "T.DB");
  EXPECT_TRUE(bare.sortOrderName.empty());
  EXPECT_EQ(bare.fields[2].number, 3);
}

TEST(MemoSlot, EncodesWhereAndHowLongASmallBlobIs) {
  // 17 bytes at 0x150: two 16-byte units, the last holding 1 byte.
  const MemoSlot s = MemoSlot::For(0x150, 17, 0x0207);
  char bytes[memo_format::kSlotSize] = {};
  s.Encode(bytes);
  EXPECT_EQ(std::string(bytes, sizeof bytes), std::string("\x15\x02\x07\x02\x01", 5));
  const MemoSlot back = MemoSlot::Decode(bytes);
  EXPECT_TRUE(back.Used());
  EXPECT_EQ(back.Length(), 17u);
  EXPECT_EQ(back.DataAt(), 0x150u);
  EXPECT_EQ(back.DataEnd(), 0x170u);
  EXPECT_EQ(back.modification, 0x0207);
  // A whole number of units keeps 16, not 0, as the last unit's length.
  const MemoSlot whole = MemoSlot::For(0x200, 32, 1);
  EXPECT_EQ(whole.units, 2);
  EXPECT_EQ(whole.lengthMod, 16);
  EXPECT_EQ(whole.Length(), 32u);
  EXPECT_FALSE(MemoSlot::Decode(std::string(5, '\0').data()).Used());
}

TEST(BlobTail, LiesInTheLastTenBytesOfTheField) {
  std::string field(24, 'L');
  const BlobTail t{0x00003002, 5000, 0x0109};
  t.Encode(field);
  EXPECT_EQ(field.substr(0, 14), std::string(14, 'L')) << "the leader is left alone";
  EXPECT_EQ(field.substr(14), std::string("\x02\x30\x00\x00\x88\x13\x00\x00\x09\x01", 10));
  const BlobTail back = BlobTail::Decode(field);
  EXPECT_EQ(back.pointer, t.pointer);
  EXPECT_EQ(back.length, t.length);
  EXPECT_EQ(back.modification, t.modification);
  EXPECT_EQ(BlobTail::LeaderSize(field.size()), 14u);
}
