#include "paradox/VariablePart.h"

#include "os/LittleEndian.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxFormat.h"

namespace paradox {

using namespace format;

namespace {

[[noreturn]] void Refuse(const std::string& what, const std::string& file, std::size_t at) {
  RaiseEngineError(EngineMessage::kCorruptHeader, what, file, at);
}

// Reads the pieces in order from a cursor, each checked against the header's end.
class Reader {
 public:
  Reader(std::string_view header, std::size_t at, const std::string& file) : b_(header), at_(at), file_(file) {}

  std::size_t At() const { return at_; }
  bool AtEnd() const { return at_ >= b_.size(); }

  // `size` bytes, or the error naming `what` at `errorAt` (the current offset by default).
  std::string_view Take(std::size_t size, const char* what, std::optional<std::size_t> errorAt = std::nullopt) {
    if (at_ > b_.size() || size > b_.size() - at_) Refuse(std::string(what) + " runs past the header", file_, errorAt.value_or(at_));
    std::string_view s = b_.substr(at_, size);
    at_ += size;
    return s;
  }
  std::string TakeString(const char* what) {
    const std::size_t end = at_ < b_.size() ? b_.find('\0', at_) : std::string_view::npos;
    if (end == std::string_view::npos) Refuse(std::string(what) + " runs past the header", file_, at_);
    std::string s(b_.substr(at_, end - at_));
    at_ = end + 1;
    return s;
  }

 private:
  std::string_view b_;
  std::size_t at_;
  const std::string& file_;
};

}  // namespace

std::size_t VariablePart::Start(std::uint8_t level) { return level >= 5 ? kVariablePartLong : kVariablePartShort; }

std::size_t VariablePart::TableNameAreaSize(std::uint8_t level) {
  return level >= kLevel7 ? kTableNameSizeLevel7 : kTableNameSizeOld;
}

std::size_t VariablePart::MinimumHeaderSize(std::size_t fieldCount, std::uint8_t level) {
  return Start(level) + fieldCount * (kVarFieldDescriptorSize + kVarPointerSize) + kVarPointerSize + TableNameAreaSize(level);
}

VariablePart::Layout VariablePart::LayoutAt(std::uint8_t level) const {
  Layout l;
  const std::size_t n = fields.size();
  l.tableName = n * (kVarFieldDescriptorSize + kVarPointerSize) + kVarPointerSize;
  l.fieldNames = l.tableName + TableNameAreaSize(level);
  l.fieldNumbers = l.fieldNames;
  for (const Field& f : fields) l.fieldNumbers += f.name.size() + 1;
  l.sortOrderName = l.fieldNumbers + n * kVarFieldNumberSize;
  l.indexName = l.sortOrderName + sortOrderName.size() + 1;
  l.size = l.indexName + (indexName ? indexName->size() + 1 : 0);
  return l;
}

std::string VariablePart::Encode(std::uint8_t level) const {
  const Layout l = LayoutAt(level);
  std::string b(l.size, '\0');
  std::size_t at = 0;
  for (const Field& f : fields) {
    b[at++] = static_cast<char>(f.type);
    b[at++] = static_cast<char>(f.size);
  }
  le::Put32(b.data() + at, tableNamePointer);
  at += kVarPointerSize;
  for (const Field& f : fields) {
    le::Put32(b.data() + at, f.namePointer);
    at += kVarPointerSize;
  }
  const std::string name = tableName.substr(0, TableNameAreaSize(level) - 1);
  b.replace(l.tableName, name.size(), name);
  at = l.fieldNames;
  for (const Field& f : fields) {
    b.replace(at, f.name.size(), f.name);
    at += f.name.size() + 1;
  }
  for (const Field& f : fields) {
    le::Put16(b.data() + at, f.number);
    at += kVarFieldNumberSize;
  }
  b.replace(l.sortOrderName, sortOrderName.size(), sortOrderName);
  if (indexName) b.replace(l.indexName, indexName->size(), *indexName);
  return b;
}

VariablePart VariablePart::Decode(std::string_view header, std::size_t fieldCount, std::uint8_t level,
                                  const std::string& file, std::optional<std::size_t> indexNameAt) {
  VariablePart v;
  v.fields.resize(fieldCount);
  Reader r(header, Start(level), file);
  // The field count is what lies when the descriptors do not fit.
  std::string_view descriptors = r.Take(fieldCount * kVarFieldDescriptorSize, "field descriptors", kHeaderFieldCount);
  for (std::size_t i = 0; i < fieldCount; ++i) {
    v.fields[i].type = static_cast<std::uint8_t>(descriptors[kVarFieldDescriptorSize * i]);
    v.fields[i].size = static_cast<std::uint8_t>(descriptors[kVarFieldDescriptorSize * i + 1]);
  }
  std::string_view pointers = r.Take((fieldCount + 1) * kVarPointerSize, "field name pointers", kHeaderFieldCount);
  v.tableNamePointer = le::Get32(pointers.data());
  for (std::size_t i = 0; i < fieldCount; ++i) v.fields[i].namePointer = le::Get32(pointers.data() + kVarPointerSize * (i + 1));
  std::string_view area = r.Take(TableNameAreaSize(level), "table name");
  v.tableName = std::string(area.substr(0, area.find('\0')));
  for (Field& f : v.fields) f.name = r.TakeString("field name");
  std::string_view numbers = r.Take(fieldCount * kVarFieldNumberSize, "field numbers");
  for (std::size_t i = 0; i < fieldCount; ++i) v.fields[i].number = le::Get16(numbers.data() + kVarFieldNumberSize * i);
  if (!r.AtEnd()) v.sortOrderName = r.TakeString("sort-order name");
  if (indexNameAt) {
    const std::size_t at = *indexNameAt;
    const std::size_t end = at < header.size() ? header.find('\0', at) : std::string_view::npos;
    if (end == std::string_view::npos) Refuse("index name runs past the header", file, kHeaderIndexNameAt);
    v.indexName = std::string(header.substr(at, end - at));
  }
  return v;
}

}  // namespace paradox
