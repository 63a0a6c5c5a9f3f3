#include "paradox/SecondaryIndex.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstring>
#include <ctime>
#include <set>

#include "paradox/BinaryFile.h"
#include "paradox/BlockHead.h"
#include "paradox/BlockIndex.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "paradox/FileHeader.h"
#include "paradox/KeyOrder.h"
#include "paradox/ParadoxFormat.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/TableFamily.h"
#include "paradox/VariablePart.h"
#include "text/Ascii.h"

namespace paradox {

namespace fs = std::filesystem;
using namespace index_format;

namespace {

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

bool IsShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Upper-cases the ASCII letters of an alpha value; in a double-byte code page the trail byte of
// a character is passed over, since it may fall in the range of ASCII letters.
void FoldCase(char* bytes, std::size_t size, std::uint16_t codePage) {
  for (std::size_t i = 0; i < size; ++i) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (codePage == 932 && IsShiftJisLead(c)) {
      ++i;
      continue;
    }
    if (c >= 'a' && c <= 'z') bytes[i] = static_cast<char>(c - 'a' + 'A');
  }
}

void FoldCase(std::string& bytes, std::size_t from, std::uint16_t codePage) {
  FoldCase(bytes.data() + from, bytes.size() - from, codePage);
}

[[noreturn]] void Corrupt(const fs::path& p, const std::string& what, std::optional<std::uint64_t> at = std::nullopt) {
  RaiseEngineError(EngineMessage::kCorruptData, "index: " + what, PathText(p), at);
}

std::string ReadWholeFile(const fs::path& p) {
  auto f = BinaryFile::Open(p, FileAccess::kReadShared);
  return f->Read(0, static_cast<std::size_t>(f->Size()));
}

std::string ExtensionOf(const fs::path& p) {
  std::string e = p.extension().string();
  if (!e.empty() && e[0] == '.') e.erase(0, 1);
  return text::AsciiUpper(e);
}

}  // namespace

std::string ReadDataHeader(const fs::path& dataFile) {
  auto f = BinaryFile::Open(dataFile, FileAccess::kReadShared);
  return f->Read(0, format::kVariablePartLong);
}

bool IsNamedIndexKind(const SecondaryIndexDef& def, const TableSchema& schema) {
  if (def.fields.size() != 1 || def.caseInsensitive || def.descending) return true;
  return !def.name.empty() && text::AsciiUpper(def.name) != text::AsciiUpper(schema.Field(def.fields[0]).name);
}

std::string IndexExtensionX(const SecondaryIndexDef& def, const TableSchema& schema, unsigned sequence) {
  static const char kHex[] = "0123456789ABCDEF";
  if (IsNamedIndexKind(def, schema)) {
    // The family scan recognises XG0..XG9.
    if (sequence > 9) RaiseEngineError(EngineMessage::kTooManyIndexes);
    return "XG" + std::string(1, kHex[sequence]);
  }
  const std::size_t number = def.fields[0] + 1;
  return std::string("X") + kHex[(number >> 4) & 0xF] + kHex[number & 0xF];
}

std::string IndexExtensionY(std::string_view xExtension) {
  std::string y(xExtension);
  if (!y.empty()) y[0] = (y[0] == 'x') ? 'y' : 'Y';
  return y;
}

std::vector<std::size_t> ResolveIndexFields(const TableSchema& schema, std::string_view fieldList) {
  std::vector<std::size_t> out;
  std::size_t start = 0;
  while (start <= fieldList.size()) {
    std::size_t end = fieldList.find(';', start);
    if (end == std::string_view::npos) end = fieldList.size();
    std::string name = Trim(fieldList.substr(start, end - start));
    if (!name.empty()) {
      auto pos = schema.FindField(name);
      if (!pos) RaiseDatabaseError("Field '" + name + "' not found");
      out.push_back(*pos);
    }
    start = end + 1;
  }
  if (out.empty()) RaiseDatabaseError("Index has no fields");
  return out;
}

IndexRecordLayout MakeIndexRecordLayout(const TableSchema& table, const SecondaryIndexDef& def) {
  IndexRecordLayout l;
  if (def.fields.empty()) RaiseEngineError(EngineMessage::kIndexWithoutFields);
  for (std::size_t f : def.fields) {
    if (f >= table.FieldCount()) RaiseEngineError(EngineMessage::kIndexFieldOutOfRange);
    if (IsBlobType(table.Field(f).type))
      RaiseEngineError(EngineMessage::kIndexOnBlob, table.Field(f).name);
    l.fields.push_back(table.Field(f));
    l.fieldNumbers.push_back(static_cast<std::uint16_t>(f + 1));
  }
  l.indexFields = def.fields.size();
  auto own = [&](FieldDef fd) {
    l.fields.push_back(std::move(fd));
    l.fieldNumbers.push_back(static_cast<std::uint16_t>(l.fields.size()));
  };
  if (table.KeyFieldCount() > 0) {
    for (std::size_t k = 0; k < table.KeyFieldCount(); ++k) own(table.Field(k));
    l.keyFields = static_cast<unsigned>(l.indexFields + table.KeyFieldCount());
    own(FieldDef::Short("Blk Num"));
  } else {
    own(FieldDef::Long("Tup No"));
    l.keyFields = static_cast<unsigned>(l.indexFields + 1);
    own(FieldDef::Short("Blk Num"));
    own(FieldDef::Short("Tup Offset"));
  }
  for (std::size_t i = 0; i < l.fields.size(); ++i) {
    auto size = StoredFieldSize(static_cast<std::uint8_t>(l.fields[i].type), l.fields[i].size);
    l.offsets.push_back(l.recordSize);
    l.sizes.push_back(*size);
    l.recordSize += *size;
    if (i + 1 == l.keyFields) l.sortKeySize = l.recordSize;
  }
  return l;
}

IndexEntries::IndexEntries(const TableSchema& table, const SecondaryIndexDef& def)
    : table_(&table), def_(def), layout_(MakeIndexRecordLayout(table, def)) {
  if (def.descending)
    RaiseEngineError(EngineMessage::kDescendingIndex);
  for (std::size_t f : def.fields)
    spans_.push_back({table.FieldOffset(f), table.FieldSize(f), def.caseInsensitive && table.Field(f).type == FieldType::kAlpha});
}

void IndexEntries::AppendEntry(std::string& out, const Record& record, std::uint16_t block, std::uint32_t tupleNumber,
                               std::uint16_t tupleOffset) const {
  const auto codePage = table_->Definition().driver.codePage;
  for (std::size_t f : def_.fields) {
    const std::size_t at = out.size();
    out += record.Raw(f);
    if (def_.caseInsensitive && table_->Field(f).type == FieldType::kAlpha) FoldCase(out, at, codePage);
  }
  if (table_->KeyFieldCount() > 0)
    out += record.Key();
  else
    out += EncodeLong(static_cast<std::int32_t>(tupleNumber));
  out += EncodeShort(static_cast<std::int16_t>(block));
  if (table_->KeyFieldCount() == 0) out += EncodeShort(static_cast<std::int16_t>(tupleOffset));
}

void IndexEntries::AppendStored(std::string_view record, std::uint16_t block, std::uint32_t tupleNumber,
                                std::uint16_t tupleOffset) {
  assert(record.size() == table_->RecordSize());
  assert(order_.empty());
  // Appended piece by piece: the buffer is reserved, and growing it by resizing would first
  // fill every entry with zeros.
  const std::size_t at = bytes_.size();
  const auto codePage = table_->Definition().driver.codePage;
  for (const Span& span : spans_) {
    bytes_.append(record.data() + span.offset, span.size);
    if (span.fold) FoldCase(bytes_.data() + bytes_.size() - span.size, span.size, codePage);
  }
  const bool keyed = table_->KeyFieldCount() > 0;
  if (keyed)
    bytes_.append(record.data(), table_->KeySize());
  else
    bytes_ += EncodeLong(static_cast<std::int32_t>(tupleNumber));
  bytes_ += EncodeShort(static_cast<std::int16_t>(block));
  if (!keyed) bytes_ += EncodeShort(static_cast<std::int16_t>(tupleOffset));
  assert(bytes_.size() - at == layout_.recordSize);
  (void)at;
}

std::string IndexEntries::EntryFor(const Record& record, std::uint16_t block, std::uint32_t tupleNumber,
                                   std::uint16_t tupleOffset) const {
  std::string e;
  e.reserve(layout_.recordSize);
  AppendEntry(e, record, block, tupleNumber, tupleOffset);
  return e;
}

void IndexEntries::Sort() {
  // Sort keys end with the primary key (or the record number), so no two are equal and an
  // unstable sort gives the one order. Every entry is a whole .X record, so its sort key
  // leads it.
  const std::size_t rs = layout_.recordSize;
  order_ = OrderByKey(static_cast<std::uint32_t>(Count()), layout_.sortKeySize,
                      [&](std::uint32_t i) { return bytes_.data() + i * rs; });
}

void IndexEntries::CopyEntries(std::size_t first, std::size_t count, char* out) const {
  assert(first + count <= Count());
  const std::size_t rs = layout_.recordSize;
  if (order_.empty()) {
    std::memcpy(out, bytes_.data() + first * rs, count * rs);
    return;
  }
  for (std::size_t i = first; i < first + count; ++i, out += rs) std::memcpy(out, bytes_.data() + order_[i] * rs, rs);
}

std::string IndexEntries::Bytes() const {
  std::string out(bytes_.size(), '\0');
  CopyEntries(0, Count(), out.data());
  return out;
}

std::vector<IndexEntries> CollectEntries(const ParadoxTable& table, const std::vector<SecondaryIndexDef>& defs) {
  std::vector<IndexEntries> all;
  for (const auto& def : defs) {
    all.emplace_back(table.Schema(), def);
    all.back().Reserve(table.RecordCount());
  }
  // Straight from the blocks' bytes, in chain order: records are numbered from 1 along the
  // chain, and an unkeyed table's entries carry each record's offset within its block.
  const std::size_t recordSize = table.Schema().RecordSize();
  std::uint32_t before = 0;
  table.ForEachBlock([&](std::uint16_t block, std::string_view records) {
    const std::size_t count = records.size() / recordSize;
    for (auto& entries : all)
      for (std::size_t slot = 0; slot < count; ++slot)
        entries.AppendStored(records.substr(slot * recordSize, recordSize), block,
                             before + static_cast<std::uint32_t>(slot) + 1, static_cast<std::uint16_t>(slot * recordSize));
    before += static_cast<std::uint32_t>(count);
    return true;
  });
  for (auto& entries : all) entries.Sort();
  return all;
}

IndexEntries CollectEntries(const ParadoxTable& table, const SecondaryIndexDef& def) {
  return std::move(CollectEntries(table, std::vector<SecondaryIndexDef>{def}).front());
}

namespace {

// How an index's entries fill the .X's blocks (the .DB's block size).
struct XBlocks {
  std::size_t blockBytes = 0, perBlock = 0;
  std::uint16_t count = 0;
};

XBlocks XBlocksFor(const FileHeader& dbHeader, const IndexEntries& entries) {
  XBlocks b;
  b.blockBytes = static_cast<std::size_t>(dbHeader.blockSizeKiB) * 1024;
  b.perBlock = (b.blockBytes - BlockHead::kSize) / entries.Layout().recordSize;
  if (b.perBlock == 0) RaiseEngineError(EngineMessage::kRecordExceedsBlock);
  b.count = static_cast<std::uint16_t>((entries.Count() + b.perBlock - 1) / b.perBlock);
  return b;
}

// The fixed fields of the .X header (the variable part's offsets are set as it is laid out).
FileHeader XFixedFields(const TableSchema& table, const FileHeader& dbHeader, const SecondaryIndexDef& def,
                        const IndexEntries& entries, std::uint16_t nBlocks, const IndexFileStamps& stamps) {
  const IndexRecordLayout& l = entries.Layout();
  const LanguageDriver& driver = table.Definition().driver;
  const std::uint8_t level = dbHeader.level;
  const bool named = IsNamedIndexKind(def, table);
  FileHeader x;
  x.recordSize = static_cast<std::uint16_t>(l.recordSize);
  x.headerSize = format::kHeaderBlockSize;
  if (named)
    x.fileType = def.maintained ? format::kFileXGn : format::kFileXGnNotMaintained;
  else
    x.fileType = def.maintained ? format::kFileXnn : format::kFileXnnNotMaintained;
  x.blockSizeKiB = dbHeader.blockSizeKiB;
  x.recordCount = static_cast<std::uint32_t>(entries.Count());
  x.blocksInUse = nBlocks;
  x.fileBlocks = nBlocks;
  x.firstBlock = nBlocks ? 1 : 0;
  x.lastBlock = nBlocks;
  x.changeCount = stamps.changeCount;
  x.firstIndexField = static_cast<std::uint8_t>(def.fields[0] + 1);
  x.fieldCount = static_cast<std::uint16_t>(l.fields.size());
  x.keyFieldCount = static_cast<std::uint16_t>(l.keyFields);
  x.marker = format::kLevel4Marker;
  x.sortOrder = driver.sortOrder;
  x.indexValid = kXMarker;
  x.structureChanges = stamps.ownStamp;
  x.indexStamp = stamps.dbStamp;
  x.primaryIndexStamp = stamps.pxStamp;
  x.level = level;
  x.fileBlocksAgain = nBlocks;
  x.dbMarker = format::kDbMarker;
  x.autoIncrement = stamps.counter;
  if (def.caseInsensitive) x.flags |= kFlagCaseInsensitive;
  if (def.descending) x.flags |= kFlagDescending;
  x.dbMarker2 = format::kDbMarker2;
  x.longPart = true;  // level 5 and up, checked by the caller
  x.levelWord1 = static_cast<std::uint16_t>(0x0100 + level);
  x.levelWord2 = x.levelWord1;
  x.writeTime = stamps.writeTime;
  x.codePage = driver.codePage;
  x.ones = format::kOnes;
  return x;
}

// The .X header block: the fixed fields, then the variable part.
std::string XHeaderBlock(const TableSchema& table, const FileHeader& dbHeader, const SecondaryIndexDef& def,
                         const IndexEntries& entries, std::uint16_t nBlocks, std::string_view xExtension,
                         const IndexFileStamps& stamps) {
  const IndexRecordLayout& l = entries.Layout();
  const LanguageDriver& driver = table.Definition().driver;
  const std::uint8_t level = dbHeader.level;
  if (level < 5) RaiseEngineError(EngineMessage::kIndexesBelowLevel4);
  const bool named = IsNamedIndexKind(def, table);
  FileHeader x = XFixedFields(table, dbHeader, def, entries, nBlocks, stamps);

  VariablePart v;
  for (std::size_t i = 0; i < l.fields.size(); ++i)
    v.fields.push_back({static_cast<std::uint8_t>(l.fields[i].type), l.fields[i].size, 0, l.fields[i].name, l.fieldNumbers[i]});
  v.tableName = stamps.storedBase + "." + std::string(xExtension);
  v.sortOrderName = driver.sortOrderName;
  if (named) v.indexName = def.name;
  const VariablePart::Layout layout = v.LayoutAt(level);
  const std::size_t start = VariablePart::Start(level);
  x.fieldNumbersAt = static_cast<std::uint16_t>(start + layout.fieldNumbers - format::kVariablePartShort);
  std::uint16_t high = 0;
  for (auto n : l.fieldNumbers) high = std::max(high, n);
  x.fieldCountPlus1 = static_cast<std::uint16_t>(high + 1);
  x.sortNameAt = static_cast<std::uint16_t>(start + layout.sortOrderName - format::kVariablePartShort);
  if (named) x.indexNameAt = static_cast<std::uint16_t>(start + layout.indexName - format::kVariablePartShort);
  const std::size_t at = start + layout.size;
  std::string h(format::kHeaderBlockSize, '\0');
  if (at > h.size()) RaiseEngineError(EngineMessage::kIndexHeaderTooLong);
  x.usedSize = static_cast<std::uint16_t>(at);
  x.Encode(h);
  h.replace(start, layout.size, v.Encode(level));

  return h;
}

std::string BuildIndexY(const TableSchema& table, const FileHeader& dbHeader, const SecondaryIndexDef& def,
                        const IndexEntries& entries, const XBlocks& xBlocks, std::string_view xExtension,
                        const IndexFileStamps& stamps) {
  const IndexRecordLayout& l = entries.Layout();
  const LanguageDriver& driver = table.Definition().driver;
  const std::uint8_t level = dbHeader.level;
  const bool named = IsNamedIndexKind(def, table);
  const std::string yExtension = IndexExtensionY(xExtension);
  const std::size_t perBlock = xBlocks.perBlock;
  const std::uint16_t nBlocks = xBlocks.count;
  BlockIndexLayout y;
  y.fileType = named ? format::kFileYGn : format::kFileYnn;
  y.blockSizeKiB = stamps.yBlockSizeKiB;
  for (std::size_t i = 0; i < l.keyFields; ++i)
    y.keyFields.emplace_back(static_cast<std::uint8_t>(l.fields[i].type), l.fields[i].size);
  y.keySize = l.sortKeySize;
  y.sortOrder = driver.sortOrder;
  y.level = level;
  y.storedName = stamps.storedBase + "." + yExtension;
  y.stamp = stamps.ownStamp;
  y.changeCount = stamps.changeCount;
  y.counter = stamps.counter;
  std::vector<BlockIndexEntry> leaves;
  for (std::size_t b = 0; b < nBlocks; ++b) {
    BlockIndexEntry e;
    e.key = entries.Entry(b * perBlock).substr(0, l.sortKeySize);
    e.block = static_cast<std::uint16_t>(b + 1);
    e.records = static_cast<std::uint32_t>(std::min(perBlock, entries.Count() - b * perBlock));
    leaves.push_back(std::move(e));
  }
  return BuildBlockIndexFile(y, leaves);
}

// Appends .X data blocks first..end-1 (from 0) of `xBlocks.count`, each linked to its
// neighbours, as AppendDataBlocks lays out a whole file.
void AppendXBlocks(std::string& out, const IndexEntries& entries, const XBlocks& xBlocks, std::size_t first, std::size_t end) {
  const std::size_t recordSize = entries.Layout().recordSize;
  for (std::size_t b = first; b < end; ++b) {
    const std::size_t at = out.size();
    out.append(xBlocks.blockBytes, '\0');
    const std::size_t from = b * xBlocks.perBlock;
    const std::size_t n = std::min(xBlocks.perBlock, entries.Count() - from);
    char* block = out.data() + at;
    const auto next = static_cast<std::uint16_t>(b + 1 < xBlocks.count ? b + 2 : 0);
    BlockHead::For(next, static_cast<std::uint16_t>(b), n, recordSize).Encode(block);
    entries.CopyEntries(from, n, block + BlockHead::kSize);
  }
}

}  // namespace

IndexFilePair BuildIndexFiles(const TableSchema& table, const FileHeader& dbHeader, const SecondaryIndexDef& def,
                              const IndexEntries& entries, std::string_view xExtension, const IndexFileStamps& stamps) {
  const XBlocks xBlocks = XBlocksFor(dbHeader, entries);
  IndexFilePair out;
  out.x = XHeaderBlock(table, dbHeader, def, entries, xBlocks.count, xExtension, stamps);
  AppendDataBlocks(out.x, entries.Bytes(), entries.Layout().recordSize, xBlocks.blockBytes);
  out.y = BuildIndexY(table, dbHeader, def, entries, xBlocks, xExtension, stamps);
  return out;
}

std::string WriteIndexFiles(const fs::path& xPath, const fs::path& yPath, const TableSchema& table,
                            const FileHeader& dbHeader, const SecondaryIndexDef& def, const IndexEntries& entries,
                            std::string_view xExtension, const IndexFileStamps& stamps) {
  const XBlocks xBlocks = XBlocksFor(dbHeader, entries);
  const std::string header = XHeaderBlock(table, dbHeader, def, entries, xBlocks.count, xExtension, stamps);
  {
    DurableFileWriter x(xPath);
    x.Append(header);
    // One buffer, refilled: the .X of a large table is tens of megabytes.
    const std::size_t blocksPerPiece = std::max<std::size_t>(1, kIndexWritePieceBytes / xBlocks.blockBytes);
    std::string piece;
    piece.reserve(blocksPerPiece * xBlocks.blockBytes);
    for (std::size_t first = 0; first < xBlocks.count; first += blocksPerPiece) {
      piece.clear();
      AppendXBlocks(piece, entries, xBlocks, first, std::min<std::size_t>(first + blocksPerPiece, xBlocks.count));
      x.Append(piece);
    }
    x.Commit();
  }
  WriteFileDurably(yPath, BuildIndexY(table, dbHeader, def, entries, xBlocks, xExtension, stamps));
  return header;
}

namespace {

// The table field an index field of an .X stands for. The real engine keeps a table's index
// files through a restructure without rewriting their headers, so the stored name can be a
// renamed field's former one and the stored number can count fields since inserted before it.
// The name decides where the table has a field of that name, else the number; either way the
// type and size must be those the .X records. A number that names no field at all is damage.
std::size_t TieIndexField(const fs::path& xPath, const TableSchema& schema, const StoredIndexField& stored,
                          std::pair<std::uint8_t, std::uint8_t> type, std::size_t typeAt, std::size_t numberAt) {
  if (stored.number < 1 || stored.number > schema.FieldCount())
    Corrupt(xPath, "index field " + stored.name + " has number " + std::to_string(stored.number) + ", not in the table",
            numberAt);
  const std::size_t field = schema.FindField(stored.name).value_or(stored.number - 1u);
  const FieldDef& f = schema.Field(field);
  if (static_cast<std::uint8_t>(f.type) != type.first || f.size != type.second)
    Corrupt(xPath, "index field " + stored.name + " does not match the table", typeAt);
  return field;
}

}  // namespace

SecondaryIndexFile ReadSecondaryIndexFile(const fs::path& xPath, const TableSchema& schema) {
  SecondaryIndexFile out;
  out.xPath = xPath;
  out.extension = ExtensionOf(xPath);
  // Only the header block: the definition is all there, and the entries may be many megabytes.
  std::string bytes;
  {
    auto f = BinaryFile::Open(xPath, FileAccess::kReadShared);
    const std::uint64_t size = f->Size();
    if (size < format::kHeaderBlockSize) Corrupt(xPath, "file shorter than its header", size);
    bytes = f->Read(0, format::kHeaderBlockSize);
  }
  std::string_view b(bytes);
  const FileHeader x = FileHeader::Decode(b, PathText(xPath));
  if (x.headerSize != format::kHeaderBlockSize) Corrupt(xPath, "header size", FileHeader::OffsetOf(&FileHeader::headerSize));
  const std::uint8_t type = x.fileType;
  if (type != format::kFileXnn && type != format::kFileXGn && type != format::kFileXnnNotMaintained && type != format::kFileXGnNotMaintained)
    Corrupt(xPath, "not a secondary index", FileHeader::OffsetOf(&FileHeader::fileType));
  const bool named = type == format::kFileXGn || type == format::kFileXGnNotMaintained;
  const std::uint8_t level = x.level;
  if (level < 5) RaiseEngineError(EngineMessage::kIndexBelowLevel4, {}, PathText(xPath));
  out.header = bytes.substr(0, format::kHeaderBlockSize);
  out.recordCount = x.recordCount;
  const std::size_t nf = x.fieldCount;
  const std::size_t nk = x.keyFieldCount;
  const std::size_t pk = schema.KeyFieldCount();
  const std::size_t tail = pk > 0 ? 1 : 2;          // Blk Num (, Tup Offset)
  const std::size_t ownKeys = pk > 0 ? pk : 1;      // primary key fields, or Tup No
  if (nf < ownKeys + tail + 1 || nk + tail != nf || nk <= ownKeys)
    Corrupt(xPath, "field counts", FileHeader::OffsetOf(&FileHeader::fieldCount));
  const std::size_t nIndex = nk - ownKeys;

  const std::optional<std::size_t> indexNameAt =
      named ? std::optional<std::size_t>(format::kVariablePartShort + x.indexNameAt) : std::nullopt;
  const VariablePart v = VariablePart::Decode(b, nf, level, PathText(xPath), indexNameAt);
  const std::size_t start = VariablePart::Start(level);
  out.storedBase = v.tableName.substr(0, v.tableName.rfind('.'));
  const std::size_t numbersAt = start + v.LayoutAt(level).fieldNumbers;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> types;
  std::vector<std::string> names;
  for (const VariablePart::Field& f : v.fields) {
    types.emplace_back(f.type, f.size);
    names.push_back(f.name);
    out.storedFields.push_back({f.name, f.number});
  }

  SecondaryIndexDef def;
  for (std::size_t i = 0; i < nIndex; ++i)
    def.fields.push_back(TieIndexField(xPath, schema, out.storedFields[i], types[i],
                                       start + format::kVarFieldDescriptorSize * i, numbersAt + format::kVarFieldNumberSize * i));
  def.caseInsensitive = (x.flags & kFlagCaseInsensitive) != 0;
  def.descending = (x.flags & kFlagDescending) != 0;
  def.maintained = type == format::kFileXnn || type == format::kFileXGn;
  if (named) def.name = *v.indexName;
  // The rest of the record must be what this table's indexes carry.
  IndexRecordLayout expect = MakeIndexRecordLayout(schema, def);
  if (expect.fields.size() != nf || expect.recordSize != x.recordSize)
    Corrupt(xPath, "record layout does not match the table", FileHeader::OffsetOf(&FileHeader::recordSize));
  // The primary-key fields the index carries tie to the table's key fields in order, under
  // whatever names they were stored; the fields of the index's own (Blk Num, ...) by name.
  for (std::size_t i = nIndex; i < nf; ++i) {
    const FieldDef& want = expect.fields[i];
    const bool keyField = pk > 0 && i < nIndex + pk;
    if ((!keyField && !text::SameTextAscii(want.name, names[i])) || static_cast<std::uint8_t>(want.type) != types[i].first ||
        want.size != types[i].second)
      Corrupt(xPath, "field " + names[i] + " does not match the table", start + format::kVarFieldDescriptorSize * i);
  }
  out.def = std::move(def);
  return out;
}

std::vector<SecondaryIndexFile> ReadSecondaryIndexes(const ParadoxTable& table) {
  std::vector<SecondaryIndexFile> out;
  for (const auto& p : table.SecondaryIndexFiles()) {
    std::string ext = ExtensionOf(p);
    if (ext.empty() || ext[0] != 'X') continue;
    SecondaryIndexFile f = ReadSecondaryIndexFile(p, table.Schema());
    f.yPath = FamilyMemberPath(table.Path(), "." + IndexExtensionY(ext));
    out.push_back(std::move(f));
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.extension < b.extension; });
  return out;
}

void CollectEntriesInBatches(const ParadoxTable& table, const std::vector<SecondaryIndexDef>& defs,
                             const std::function<void(std::size_t, IndexEntries&&)>& use, std::size_t budgetBytes) {
  const auto bytesOf = [&](const SecondaryIndexDef& def) {
    return static_cast<std::size_t>(table.RecordCount()) * MakeIndexRecordLayout(table.Schema(), def).recordSize;
  };
  std::size_t first = 0;
  while (first < defs.size()) {
    std::size_t end = first + 1, bytes = bytesOf(defs[first]);
    while (end < defs.size() && bytes + bytesOf(defs[end]) <= budgetBytes) bytes += bytesOf(defs[end++]);
    std::vector<IndexEntries> batch =
        CollectEntries(table, std::vector<SecondaryIndexDef>(defs.begin() + static_cast<std::ptrdiff_t>(first),
                                                            defs.begin() + static_cast<std::ptrdiff_t>(end)));
    for (std::size_t i = first; i < end; ++i) use(i, std::move(batch[i - first]));
    first = end;
  }
}

std::vector<fs::path> CreateSecondaryIndexes(const fs::path& dataFile, const std::vector<SecondaryIndexDef>& defs) {
  std::vector<fs::path> out;
  if (defs.empty()) return out;
  auto table = ParadoxTable::Open(dataFile, OpenMode::kShared);
  const TableSchema& schema = table->Schema();
  std::set<std::string> used;
  unsigned sequence = 0;
  IndexFileStamps stamps;
  stamps.storedBase = TableBaseName(table->StoredName());
  stamps.dbStamp = table->Header().indexStamp;
  stamps.pxStamp = table->Header().structureChanges;
  stamps.ownStamp = table->Header().structureChanges;
  stamps.writeTime = static_cast<std::uint32_t>(std::time(nullptr));
  for (const auto& def : defs) {
    std::string ext = IndexExtensionX(def, schema, IsNamedIndexKind(def, schema) ? sequence : 0);
    if (IsNamedIndexKind(def, schema)) ++sequence;
    if (!used.insert(ext).second)
      RaiseEngineError(EngineMessage::kTwoIndexesOnField, schema.Field(def.fields[0]).name);
    const fs::path x = FamilyMemberPath(dataFile, "." + ext);
    const fs::path y = FamilyMemberPath(dataFile, "." + IndexExtensionY(ext));
    WriteIndexFiles(x, y, schema, table->Header(), def, CollectEntries(*table, def), ext, stamps);
    out.push_back(x);
  }
  return out;
}

namespace {

// The records of a file in the .DB format, block after block along its chain.
struct ChainRead {
  std::vector<std::string> records;
  std::vector<BlockIndexEntry> blocks;  // first record's leading `keySize` bytes, number, count
  std::optional<std::string> fault;
};

ChainRead ReadChain(const std::string& file, const FileHeader& h, std::size_t keySize) {
  ChainRead r;
  const std::size_t recordSize = h.recordSize;
  const std::size_t blockSize = h.BlockBytes();
  std::uint16_t n = h.firstBlock, prev = 0;
  std::set<std::uint16_t> seen;
  while (n != 0) {
    const std::uint64_t at = h.BlockOffset(n);
    if (n > h.fileBlocks || at + blockSize > file.size() || !seen.insert(n).second) {
      r.fault = "block chain at block " + std::to_string(n);
      return r;
    }
    const BlockHead bh = BlockHead::Decode(file.data() + at);
    if (bh.previous != prev) {
      r.fault = "back link of block " + std::to_string(n);
      return r;
    }
    const std::int16_t add = bh.addDataSize;
    const std::size_t count = add < 0 ? 0 : static_cast<std::size_t>(add) / recordSize + 1;
    if (add >= 0 && (static_cast<std::size_t>(add) % recordSize != 0 || BlockHead::kSize + count * recordSize > blockSize)) {
      r.fault = "record count of block " + std::to_string(n);
      return r;
    }
    const std::string_view records(file.data() + at + BlockHead::kSize, count * recordSize);
    for (std::size_t i = 0; i < count; ++i) r.records.emplace_back(records.substr(i * recordSize, recordSize));
    if (count) r.blocks.push_back({std::string(records.substr(0, keySize)), n, static_cast<std::uint32_t>(count)});
    prev = n;
    n = bh.next;
  }
  return r;
}

}  // namespace

std::optional<std::string> CheckSecondaryIndexes(const fs::path& dataFile) {
  std::unique_ptr<ParadoxTable> table;
  std::vector<SecondaryIndexFile> indexes;
  try {
    table = ParadoxTable::Open(dataFile, OpenMode::kShared);
    indexes = ReadSecondaryIndexes(*table);
  } catch (const EDatabaseError& e) {
    return std::string("secondary index: ") + e.what();
  }
  for (const auto& index : indexes) {
    const std::string where = "secondary index " + index.extension + ": ";
    try {
      IndexEntries want = CollectEntries(*table, index.def);
      const std::string x = ReadWholeFile(index.xPath);
      const FileHeader xh = FileHeader::Decode(x, PathText(index.xPath));
      const IndexRecordLayout& l = want.Layout();
      if (xh.recordCount != table->RecordCount())
        return where + "holds " + std::to_string(xh.recordCount) + " records, the table " + std::to_string(table->RecordCount());
      ChainRead xr = ReadChain(x, xh, l.sortKeySize);
      if (xr.fault) return where + *xr.fault;
      if (xr.records.size() != want.Count())
        return where + "its blocks hold " + std::to_string(xr.records.size()) + " records, the table " +
               std::to_string(want.Count());
      for (std::size_t i = 0; i < xr.records.size(); ++i) {
        if (i > 0 && xr.records[i].compare(0, l.sortKeySize, xr.records[i - 1], 0, l.sortKeySize) < 0)
          return where + "record " + std::to_string(i + 1) + " is out of key order";
        if (xr.records[i] != want.Entry(i))
          return where + "record " + std::to_string(i + 1) + " does not match the table's records";
      }
      if (!fs::exists(index.yPath)) return where + "the upper level " + IndexExtensionY(index.extension) + " is missing";
      auto yFile = BinaryFile::Open(index.yPath, FileAccess::kReadShared);
      const BlockIndexContents y = ReadBlockIndexFile(*yFile, l.sortKeySize);
      if (y.levels == 0) {
        if (!xr.blocks.empty()) return where + "the upper level is empty";
        continue;
      }
      if (y.chainFault) return where + "upper level: " + *y.chainFault;
      if (y.lowest.size() != xr.blocks.size()) return where + "the upper level does not list every block";
      for (std::size_t i = 0; i < y.lowest.size(); ++i) {
        const BlockIndexEntry& e = y.lowest[i];
        if (e.key != xr.blocks[i].key || e.block != xr.blocks[i].block || e.records != xr.blocks[i].records)
          return where + "upper-level entry " + std::to_string(i + 1) + " does not match block " +
                 std::to_string(xr.blocks[i].block);
      }
    } catch (const EDatabaseError& e) {
      return where + e.what();
    }
  }
  return std::nullopt;
}

// --- maintenance ---------------------------------------------------------------------------

std::unique_ptr<SecondaryIndexSet> SecondaryIndexSet::Attach(ParadoxTable& table) {
  std::unique_ptr<SecondaryIndexSet> set(new SecondaryIndexSet(table));
  try {
    for (auto& file : ReadSecondaryIndexes(table)) {
      // Refuses the kinds this engine cannot keep before anything is written.
      IndexEntries check(table.Schema(), file.def);
      Live live;
      live.file = std::move(file);
      set->indexes_.push_back(std::move(live));
    }
  } catch (const EDBEngineError& e) {
    // An index this engine cannot keep (descending, an old level): no maintainer, so the table
    // is read but never written and the index never goes stale.
    if (e.Code() == EngineErrorCode::kNotSupported) return nullptr;
    throw;
  }
  table.SetIndexMaintainer(set.get());
  return set;
}

SecondaryIndexSet::~SecondaryIndexSet() {
  if (table_) table_->SetIndexMaintainer(nullptr);
}

std::string SecondaryIndexSet::UniqueValue(const Live& live, const Record& record) const {
  IndexEntries probe(table_->Schema(), live.file.def);
  const std::size_t indexBytes = probe.Layout().offsets[probe.Layout().indexFields];
  return probe.EntryFor(record, 0).substr(0, indexBytes);
}

void SecondaryIndexSet::CountUniqueValues(Live& live) {
  if (live.uniqueCounted) return;
  const IndexEntries entries = CollectEntries(*table_, live.file.def);
  const std::size_t indexBytes = entries.Layout().offsets[entries.Layout().indexFields];
  for (std::size_t i = 0; i < entries.Count(); ++i) ++live.uniqueValues[std::string(entries.Entry(i).substr(0, indexBytes))];
  live.uniqueCounted = true;
}

void SecondaryIndexSet::BeforeInsert(const Record& record) {
  for (auto& live : indexes_) {
    if (!live.file.def.unique) continue;
    CountUniqueValues(live);
    auto it = live.uniqueValues.find(UniqueValue(live, record));
    if (it != live.uniqueValues.end() && it->second > 0)
      RaiseEngineError(EngineMessage::kKeyViolation, {}, PathText(live.file.xPath));
  }
}

void SecondaryIndexSet::AfterInsert(const Record& record, std::uint16_t) {
  // The entries are collected from the records at the flush: a block split moves records
  // whose entries were made before it, so entries kept per record would need fixing anyway.
  for (auto& live : indexes_) {
    if (live.uniqueCounted) ++live.uniqueValues[UniqueValue(live, record)];
    live.dirty = true;
  }
}

void SecondaryIndexSet::AfterDelete(const Record& record) {
  for (auto& live : indexes_) {
    if (live.uniqueCounted) --live.uniqueValues[UniqueValue(live, record)];
    live.dirty = true;
  }
}

void SecondaryIndexSet::WriteOne(Live& live, IndexEntries&& collected) {
  const FileHeader old = FileHeader::Decode(live.file.header, PathText(live.file.xPath));
  IndexFileStamps stamps;
  stamps.storedBase = live.file.storedBase;
  stamps.ownStamp = old.structureChanges;
  stamps.dbStamp = old.indexStamp;
  stamps.pxStamp = old.primaryIndexStamp;
  stamps.changeCount = static_cast<std::uint16_t>(old.changeCount + 1);
  stamps.counter = old.autoIncrement;
  stamps.writeTime = static_cast<std::uint32_t>(std::time(nullptr));
  {
    const IndexEntries entries = std::move(collected);
    live.file.header = WriteIndexFiles(live.file.xPath, live.file.yPath, table_->Schema(), table_->Header(),
                                       live.file.def, entries, live.file.extension, stamps);
    live.file.recordCount = static_cast<std::uint32_t>(entries.Count());
  }
  live.dirty = false;
}

void SecondaryIndexSet::Flush() {
  std::vector<Live*> dirty;
  std::vector<SecondaryIndexDef> defs;
  for (auto& live : indexes_)
    if (live.dirty) {
      dirty.push_back(&live);
      defs.push_back(live.file.def);
    }
  CollectEntriesInBatches(*table_, defs, [&](std::size_t i, IndexEntries&& entries) { WriteOne(*dirty[i], std::move(entries)); });
}

}  // namespace paradox
