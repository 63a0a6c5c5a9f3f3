#include "paradox/TableSchema.h"

#include <cctype>
#include <set>

#include "paradox/EngineError.h"
#include "text/Ascii.h"

namespace paradox {

namespace {

[[noreturn]] void Invalid(const std::string& what) {
  RaiseEngineError(EngineMessage::kInvalidField, what);
}

}  // namespace

FieldDef FieldDef::Alpha(std::string name, unsigned bytes) {
  if (bytes < 1 || bytes > 255) Invalid("alpha field " + name + " must be 1 to 255 bytes");
  return {std::move(name), FieldType::kAlpha, static_cast<std::uint8_t>(bytes)};
}
FieldDef FieldDef::Short(std::string name) { return {std::move(name), FieldType::kShort, 2}; }
FieldDef FieldDef::Long(std::string name) { return {std::move(name), FieldType::kLong, 4}; }
FieldDef FieldDef::Date(std::string name) { return {std::move(name), FieldType::kDate, 4}; }
FieldDef FieldDef::Memo(std::string name, unsigned leaderBytes) {
  if (leaderBytes < 1 || leaderBytes > 240) Invalid("memo field " + name + " must have a size of 1 to 240");
  return {std::move(name), FieldType::kMemo, static_cast<std::uint8_t>(leaderBytes + format::kBlobTailSize)};
}
FieldDef FieldDef::Of(std::string name, FieldType type, std::uint8_t sizeByte) { return {std::move(name), type, sizeByte}; }

TableSchema::TableSchema(TableDefinition def) : def_(std::move(def)) {
  if (def_.fields.empty()) Invalid("a table needs at least one field");
  if (def_.fields.size() > 255) Invalid("a table has at most 255 fields");
  if (def_.keyFieldCount > def_.fields.size()) Invalid("more key fields than fields");
  std::set<std::string> names;
  std::size_t offset = 0;
  for (std::size_t i = 0; i < def_.fields.size(); ++i) {
    const FieldDef& f = def_.fields[i];
    if (f.name.empty()) Invalid("field " + std::to_string(i + 1) + " has no name");
    if (f.name.size() > 25) Invalid("field name " + f.name + " is longer than 25 characters");
    if (!names.insert(text::AsciiUpper(f.name)).second) Invalid("duplicate field name " + f.name);
    auto size = StoredFieldSize(static_cast<std::uint8_t>(f.type), f.size);
    if (!size) Invalid("field " + f.name + " has type " + std::to_string(static_cast<int>(f.type)) + " and size " + std::to_string(f.size));
    if (i < def_.keyFieldCount && IsBlobType(f.type)) Invalid("blob field " + f.name + " cannot be a key field");
    offsets_.push_back(offset);
    sizes_.push_back(*size);
    offset += *size;
    if (i + 1 == def_.keyFieldCount) keySize_ = offset;
  }
  recordSize_ = offset;
  if (recordSize_ > 0xFFFF) Invalid("record too long");
}

bool TableSchema::HasBlobs() const {
  for (const auto& f : def_.fields)
    if (IsBlobType(f.type)) return true;
  return false;
}

std::optional<std::size_t> TableSchema::FindField(std::string_view name) const {
  std::string u = text::AsciiUpper(name);
  for (std::size_t i = 0; i < def_.fields.size(); ++i)
    if (text::AsciiUpper(def_.fields[i].name) == u) return i;
  return std::nullopt;
}

}  // namespace paradox
