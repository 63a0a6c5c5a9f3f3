#include "paradox/Record.h"

#include <cmath>
#include <cstring>

#include "paradox/EngineError.h"

namespace paradox {

Record::Record(std::shared_ptr<const TableSchema> schema)
    : schema_(std::move(schema)), bytes_(schema_->RecordSize(), '\0') {}

void Record::CheckType(std::size_t field, std::initializer_list<FieldType> allowed) const {
  if (field >= schema_->FieldCount()) RaiseDatabaseError("Field index out of range: " + std::to_string(field));
  FieldType t = schema_->Field(field).type;
  for (FieldType a : allowed)
    if (a == t) return;
  RaiseDatabaseError("Field '" + schema_->Field(field).name + "' is of type " +
                       std::string(FieldTypeName(t)) + ", which does not hold this kind of value");
}

std::string& Record::BlobSlot(std::size_t field) {
  if (blobs_.empty()) blobs_.resize(schema_->FieldCount());
  return blobs_[field];
}

void Record::DropBlobs() {
  for (std::string& b : blobs_) b.clear();
}

void Record::AttachBlob(std::size_t field, std::string bytes) { BlobSlot(field) = std::move(bytes); }

void Record::AttachBlob(std::size_t field, std::string_view bytes) { BlobSlot(field).assign(bytes.data(), bytes.size()); }

bool Record::IsNull(std::size_t field) const {
  std::string_view r = Raw(field);
  if (IsBlobType(schema_->Field(field).type) && !BlobBytes(field).empty()) return false;
  // All zero: the first byte is, and every byte equals the one after it.
  return r.empty() || (r[0] == 0 && std::memcmp(r.data(), r.data() + 1, r.size() - 1) == 0);
}

void Record::Clear(std::size_t field) {
  std::string_view r = Raw(field);
  bytes_.replace(schema_->FieldOffset(field), r.size(), r.size(), '\0');
  if (field < blobs_.size()) blobs_[field].clear();
}

void Record::ClearAll() {
  bytes_.assign(schema_->RecordSize(), '\0');
  DropBlobs();
}

std::string_view Record::Raw(std::size_t field) const {
  if (field >= schema_->FieldCount()) RaiseDatabaseError("Field index out of range: " + std::to_string(field));
  return std::string_view(bytes_).substr(schema_->FieldOffset(field), schema_->FieldSize(field));
}

void Record::SetRaw(std::size_t field, std::string_view b) {
  if (b.size() != Raw(field).size())
    RaiseDatabaseError("Raw value of the wrong size for field '" + schema_->Field(field).name + "'");
  bytes_.replace(schema_->FieldOffset(field), b.size(), b);
}

void Record::SetBytes(std::string_view bytes) {
  if (bytes.size() != schema_->RecordSize()) RaiseDatabaseError("Record of the wrong size");
  // Into the buffer the record already has: a pass over a table reuses one record throughout.
  bytes_.assign(bytes.data(), bytes.size());
  DropBlobs();
}

void Record::SetStoredBytes(std::string_view bytes) {
  if (bytes.size() != schema_->RecordSize()) RaiseDatabaseError("Record of the wrong size");
  bytes_.assign(bytes.data(), bytes.size());
}

std::string Record::GetAlpha(std::size_t field) const {
  CheckType(field, {FieldType::kAlpha});
  std::string_view r = Raw(field);
  return std::string(r.substr(0, r.find('\0')));
}

void Record::SetAlpha(std::size_t field, std::string_view b) {
  CheckType(field, {FieldType::kAlpha});
  const std::size_t n = schema_->FieldSize(field);
  const std::size_t used = std::min(n, std::min(b.size(), b.find('\0')));
  char* slot = bytes_.data() + schema_->FieldOffset(field);
  std::memcpy(slot, b.data(), used);
  std::memset(slot + used, 0, n - used);
}

std::optional<std::int32_t> Record::GetInteger(std::size_t field) const {
  CheckType(field, {FieldType::kShort, FieldType::kLong, FieldType::kAutoIncrement});
  if (schema_->Field(field).type == FieldType::kShort) {
    auto v = DecodeShort(Raw(field));
    if (!v) return std::nullopt;
    return *v;
  }
  return DecodeLong(Raw(field));
}

void Record::SetInteger(std::size_t field, std::int32_t value) {
  CheckType(field, {FieldType::kShort, FieldType::kLong, FieldType::kAutoIncrement});
  if (schema_->Field(field).type == FieldType::kShort) {
    // -32768 would code as all zero bytes, which is NULL.
    if (value < -32767 || value > 32767)
      RaiseDatabaseError("Value " + std::to_string(value) + " is out of range for field '" + schema_->Field(field).name + "'");
    SetRaw(field, EncodeShort(static_cast<std::int16_t>(value)));
  } else {
    if (value == INT32_MIN)
      RaiseDatabaseError("Value " + std::to_string(value) + " is out of range for field '" + schema_->Field(field).name + "'");
    SetRaw(field, EncodeLong(value));
  }
}

std::optional<std::int32_t> Record::GetDate(std::size_t field) const {
  CheckType(field, {FieldType::kDate});
  return DecodeLong(Raw(field));
}

void Record::SetDate(std::size_t field, std::int32_t dayNumber) {
  CheckType(field, {FieldType::kDate});
  if (dayNumber < 1 || dayNumber > DayNumberFromCivil({9999, 12, 31}))
    RaiseDatabaseError("Date out of range for field '" + schema_->Field(field).name + "'");
  SetRaw(field, EncodeLong(dayNumber));
}

std::optional<double> Record::GetNumber(std::size_t field) const {
  CheckType(field, {FieldType::kNumber, FieldType::kMoney});
  return DecodeDouble(Raw(field));
}

void Record::SetNumber(std::size_t field, double value) {
  CheckType(field, {FieldType::kNumber, FieldType::kMoney});
  if (!std::isfinite(value)) RaiseDatabaseError("Not a finite number for field '" + schema_->Field(field).name + "'");
  SetRaw(field, EncodeDouble(value));
}

std::optional<bool> Record::GetLogical(std::size_t field) const {
  CheckType(field, {FieldType::kLogical});
  return DecodeLogical(Raw(field));
}

void Record::SetLogical(std::size_t field, bool value) {
  CheckType(field, {FieldType::kLogical});
  SetRaw(field, EncodeLogical(value));
}

std::optional<std::int32_t> Record::GetTime(std::size_t field) const {
  CheckType(field, {FieldType::kTime});
  return DecodeLong(Raw(field));
}

std::optional<double> Record::GetTimestamp(std::size_t field) const {
  CheckType(field, {FieldType::kTimestamp});
  return DecodeDouble(Raw(field));
}

std::optional<std::string> Record::GetBcd(std::size_t field) const {
  CheckType(field, {FieldType::kBcd});
  return DecodeBcd(Raw(field), schema_->Field(field).size);
}

std::string Record::GetBlob(std::size_t field) const {
  CheckType(field, {FieldType::kMemo, FieldType::kFormattedMemo, FieldType::kBinary, FieldType::kOle, FieldType::kGraphic});
  return BlobBytes(field);
}

const std::string& Record::BlobBytes(std::size_t field) const {
  static const std::string kNone;
  return field < blobs_.size() ? blobs_[field] : kNone;
}

void Record::SetBlob(std::size_t field, std::string_view bytes) {
  CheckType(field, {FieldType::kMemo, FieldType::kFormattedMemo, FieldType::kBinary, FieldType::kOle, FieldType::kGraphic});
  // The record bytes are rebuilt from the blob when the record is stored; until then they
  // stay zero so that a stale pointer never travels with new data.
  std::string_view r = Raw(field);
  bytes_.replace(schema_->FieldOffset(field), r.size(), r.size(), '\0');
  if (bytes.empty()) {
    if (field < blobs_.size()) blobs_[field].clear();
  } else {
    BlobSlot(field).assign(bytes.data(), bytes.size());
  }
}

}  // namespace paradox
