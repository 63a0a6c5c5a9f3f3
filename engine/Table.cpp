#include "engine/Table.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "engine/IndexSupport.h"
#include "engine/Session.h"
#include "engine/ShortDate.h"
#include "paradox/EngineError.h"
#include "paradox/LanguageDriver.h"
#include "paradox/ParadoxTable.h"
#include "paradox/Record.h"
#include "paradox/TableFamily.h"
#include "paradox/TableSchema.h"
#include "text/Ascii.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"

namespace {

using paradox::FieldType;

// Paradox counts days from 0001-01-01 = 1; TDateTime from 1899-12-30 = 0.
constexpr std::int32_t kDayNumberOfDateTimeZero = 693594;
constexpr double kMillisecondsPerDay = 86400000.0;


[[noreturn]] void Misuse(const std::string& message) { throw EDatabaseError(message); }

TFieldType FieldTypeOf(FieldType t) {
  switch (t) {
    case FieldType::kAlpha: return ftString;
    case FieldType::kDate: return ftDate;
    case FieldType::kShort: return ftSmallint;
    case FieldType::kLong: return ftInteger;
    case FieldType::kMoney: return ftCurrency;
    case FieldType::kNumber: return ftFloat;
    case FieldType::kLogical: return ftBoolean;
    case FieldType::kMemo: return ftMemo;
    case FieldType::kBinary: return ftBlob;
    case FieldType::kFormattedMemo: return ftFmtMemo;
    case FieldType::kOle: return ftOle;
    case FieldType::kGraphic: return ftGraphic;
    case FieldType::kTime: return ftTime;
    case FieldType::kTimestamp: return ftDateTime;
    case FieldType::kAutoIncrement: return ftAutoInc;
    case FieldType::kBcd: return ftBCD;
    case FieldType::kBytes: return ftBytes;
  }
  return ftUnknown;
}

int DefSizeOf(const paradox::FieldDef& f) {
  switch (f.type) {
    case FieldType::kAlpha:
    case FieldType::kBytes:
    case FieldType::kBcd: return f.size;
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kFormattedMemo:
    case FieldType::kOle:
    case FieldType::kGraphic: return f.size - 10;  // the leader, without the 10-byte tail
    default: return 0;
  }
}

[[noreturn]] void BadDefinition(const std::string& what) {
  RaiseEngineError(EngineErrorCode::kInvalidParameter, what);
}

std::uint8_t SizeByte(const TFieldDef& def, int add) {
  int v = def.size + add;
  if (def.size <= 0 || v > 255) BadDefinition("Invalid field size: " + def.name + " (" + std::to_string(def.size) + ")");
  return static_cast<std::uint8_t>(v);
}

paradox::FieldDef EngineFieldOf(const TFieldDef& def, std::string name) {
  switch (def.dataType) {
    case ftString: return paradox::FieldDef::Of(std::move(name), FieldType::kAlpha, SizeByte(def, 0));
    case ftSmallint: return paradox::FieldDef::Short(std::move(name));
    case ftInteger: return paradox::FieldDef::Long(std::move(name));
    case ftAutoInc: return paradox::FieldDef::Of(std::move(name), FieldType::kAutoIncrement, 4);
    case ftFloat: return paradox::FieldDef::Of(std::move(name), FieldType::kNumber, 8);
    case ftCurrency: return paradox::FieldDef::Of(std::move(name), FieldType::kMoney, 8);
    case ftBCD: return paradox::FieldDef::Of(std::move(name), FieldType::kBcd, static_cast<std::uint8_t>(def.size));
    case ftBoolean: return paradox::FieldDef::Of(std::move(name), FieldType::kLogical, 1);
    case ftDate: return paradox::FieldDef::Date(std::move(name));
    case ftTime: return paradox::FieldDef::Of(std::move(name), FieldType::kTime, 4);
    case ftDateTime: return paradox::FieldDef::Of(std::move(name), FieldType::kTimestamp, 8);
    case ftMemo: return paradox::FieldDef::Of(std::move(name), FieldType::kMemo, SizeByte(def, 10));
    case ftFmtMemo: return paradox::FieldDef::Of(std::move(name), FieldType::kFormattedMemo, SizeByte(def, 10));
    case ftBlob: return paradox::FieldDef::Of(std::move(name), FieldType::kBinary, SizeByte(def, 10));
    case ftGraphic: return paradox::FieldDef::Of(std::move(name), FieldType::kGraphic, SizeByte(def, 10));
    case ftOle: return paradox::FieldDef::Of(std::move(name), FieldType::kOle, SizeByte(def, 10));
    case ftBytes: return paradox::FieldDef::Of(std::move(name), FieldType::kBytes, SizeByte(def, 0));
    case ftUnknown: break;
  }
  BadDefinition("Invalid field type: " + def.name);
}

paradox::LanguageDriver DriverForNewTables() {
  if (std::optional<std::string> name = Session().ParadoxLangDriver())
    if (std::optional<paradox::LanguageDriver> driver = paradox::DriverByName(*name)) return *driver;
  return paradox::JapaneseDriver();
}

std::optional<std::int64_t> ParseInteger(std::string_view s) {
  std::size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  if (a == std::string_view::npos) return std::nullopt;
  std::string t(s.substr(a, b - a + 1));
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || end != t.c_str() + t.size()) return std::nullopt;
  return v;
}

std::optional<double> ParseNumber(std::string_view s) {
  std::size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  if (a == std::string_view::npos) return std::nullopt;
  std::string t(s.substr(a, b - a + 1));
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string FormatNumber(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", v);
  return buffer;
}

std::string FormatTime(std::int64_t ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d", static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                static_cast<int>(ms / 1000 % 60));
  return buffer;
}

// A date in the user's format, as bytes of the table's code page.
std::string DateText(TDateTime value, unsigned codePage) {
  std::string utf8 = engine::FormatShortDate(value, engine::UserShortDateFormat());
  return text::FromUtf8(utf8, codePage).value_or(utf8);
}

std::optional<TDateTime> ParseDateText(const std::string& bytes, unsigned codePage) {
  return engine::ParseShortDate(text::ToUtf8(bytes, codePage), engine::UserShortDateFormat());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TField

const paradox::Record* TField::ReadBuffer() const {
  table_->CheckActive();
  return table_->hasCurrent_ || table_->state_ == dsInsert ? table_->current_.get() : nullptr;
}

paradox::Record& TField::WriteBuffer() {
  table_->CheckActive();
  if (table_->state_ != dsEdit && table_->state_ != dsInsert) Misuse("Dataset not in edit or insert mode");
  table_->modified_ = true;
  return *table_->current_;
}

void TField::BadAccess(const char* asType) const {
  Misuse("Cannot access field '" + def_.name + "' as type " + asType);
}

bool TField::IsNull() const {
  const paradox::Record* r = ReadBuffer();
  return !r || r->IsNull(position_);
}

void TField::Clear() { WriteBuffer().Clear(position_); }

std::string TField::AsString() const {
  const paradox::Record* r = ReadBuffer();
  if (!r || r->IsNull(position_)) return {};
  const unsigned codePage = table_->table_->Driver().codePage;
  switch (r->Schema().Field(position_).type) {
    case FieldType::kAlpha: return r->GetAlpha(position_);
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoIncrement: return std::to_string(*r->GetInteger(position_));
    case FieldType::kDate: return DateText(*r->GetDate(position_) - kDayNumberOfDateTimeZero, codePage);
    case FieldType::kNumber:
    case FieldType::kMoney: return FormatNumber(*r->GetNumber(position_));
    case FieldType::kLogical: return *r->GetLogical(position_) ? "True" : "False";
    case FieldType::kTime: return FormatTime(*r->GetTime(position_));
    case FieldType::kTimestamp: {
      double ms = *r->GetTimestamp(position_);
      double days = std::floor(ms / kMillisecondsPerDay);
      return DateText(days - kDayNumberOfDateTimeZero, codePage) + " " +
             FormatTime(static_cast<std::int64_t>(ms - days * kMillisecondsPerDay));
    }
    case FieldType::kBcd: return r->GetBcd(position_).value_or(std::string());
    case FieldType::kBytes: return std::string(r->Raw(position_));
    default: return r->GetBlob(position_);
  }
}

void TField::SetAlphaText(paradox::Record& r, std::string_view value) {
  const unsigned codePage = table_->table_->Driver().codePage;
  const std::size_t size = r.Schema().FieldSize(position_);
  r.SetAlpha(position_, codePage == text::kShiftJis ? text::CutShiftJis(value, size) : value.substr(0, size));
}

void TField::AssignText(const TField& source) {
  const paradox::Record* from = source.ReadBuffer();
  const bool alphas = from && &source != this && from->Schema().Field(source.position_).type == FieldType::kAlpha &&
                      table_->current_ && table_->current_->Schema().Field(position_).type == FieldType::kAlpha;
  if (!alphas) {
    SetAsString(source.AsString());
    return;
  }
  // AsString gives an alpha field's bytes up to the first NUL, and the empty text clears.
  std::string_view value = from->Raw(source.position_);
  value = value.substr(0, value.find('\0'));
  paradox::Record& r = WriteBuffer();
  if (value.empty()) r.Clear(position_);
  else SetAlphaText(r, value);
}

void TField::SetAsString(const std::string& value) {
  paradox::Record& r = WriteBuffer();
  if (value.empty()) {
    r.Clear(position_);
    return;
  }
  const unsigned codePage = table_->table_->Driver().codePage;
  switch (r.Schema().Field(position_).type) {
    case FieldType::kAlpha: SetAlphaText(r, value); return;
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoIncrement: {
      std::optional<std::int64_t> v = ParseInteger(value);
      if (!v || *v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::int32_t>::max())
        Misuse("'" + value + "' is not a valid integer value");
      r.SetInteger(position_, static_cast<std::int32_t>(*v));
      return;
    }
    case FieldType::kDate: {
      std::optional<TDateTime> d = ParseDateText(value, codePage);
      if (!d) Misuse("'" + value + "' is not a valid date");
      r.SetDate(position_, static_cast<std::int32_t>(*d) + kDayNumberOfDateTimeZero);
      return;
    }
    case FieldType::kNumber:
    case FieldType::kMoney: {
      std::optional<double> v = ParseNumber(value);
      if (!v) Misuse("'" + value + "' is not a valid floating point value");
      r.SetNumber(position_, *v);
      return;
    }
    case FieldType::kLogical:
      if (text::SameTextAscii(value, "True") || text::SameTextAscii(value, "T")) r.SetLogical(position_, true);
      else if (text::SameTextAscii(value, "False") || text::SameTextAscii(value, "F")) r.SetLogical(position_, false);
      else Misuse("'" + value + "' is not a valid boolean value");
      return;
    case FieldType::kMemo:
    case FieldType::kFormattedMemo:
    case FieldType::kBinary:
    case FieldType::kOle:
    case FieldType::kGraphic: r.SetBlob(position_, value); return;
    default: BadAccess("String");
  }
}

int TField::AsInteger() const {
  const paradox::Record* r = ReadBuffer();
  if (!r || r->IsNull(position_)) return 0;
  switch (r->Schema().Field(position_).type) {
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoIncrement: return *r->GetInteger(position_);
    case FieldType::kNumber:
    case FieldType::kMoney: {
      double v = std::round(*r->GetNumber(position_));
      if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) BadAccess("Integer");
      return static_cast<int>(v);
    }
    case FieldType::kLogical: return *r->GetLogical(position_) ? 1 : 0;
    case FieldType::kAlpha: {
      std::string s = r->GetAlpha(position_);
      std::optional<std::int64_t> v = ParseInteger(s);
      if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max())
        Misuse("'" + s + "' is not a valid integer value");
      return static_cast<int>(*v);
    }
    default: BadAccess("Integer");
  }
}

void TField::SetAsInteger(int value) {
  paradox::Record& r = WriteBuffer();
  switch (r.Schema().Field(position_).type) {
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoIncrement: r.SetInteger(position_, value); return;
    case FieldType::kNumber:
    case FieldType::kMoney: r.SetNumber(position_, value); return;
    case FieldType::kLogical: r.SetLogical(position_, value != 0); return;
    case FieldType::kAlpha:
      SetAsString(std::to_string(value));
      return;
    default: BadAccess("Integer");
  }
}

TDateTime TField::AsDateTime() const {
  const paradox::Record* r = ReadBuffer();
  if (!r || r->IsNull(position_)) return 0;
  switch (r->Schema().Field(position_).type) {
    case FieldType::kDate: return *r->GetDate(position_) - kDayNumberOfDateTimeZero;
    case FieldType::kTimestamp: return *r->GetTimestamp(position_) / kMillisecondsPerDay - kDayNumberOfDateTimeZero;
    case FieldType::kTime: return *r->GetTime(position_) / kMillisecondsPerDay;
    case FieldType::kAlpha: {
      std::string s = r->GetAlpha(position_);
      std::optional<TDateTime> d = ParseDateText(s, table_->table_->Driver().codePage);
      if (!d) Misuse("'" + s + "' is not a valid date");
      return *d;
    }
    default: BadAccess("DateTime");
  }
}

void TField::SetAsDateTime(TDateTime value) {
  paradox::Record& r = WriteBuffer();
  switch (r.Schema().Field(position_).type) {
    case FieldType::kDate: {
      if (!std::isfinite(value)) Misuse("Invalid date value for field '" + def_.name + "'");
      engine::CivilDate date = engine::DateTimeToCivil(value);
      if (!engine::IsValidCivil(date)) Misuse("Invalid date value for field '" + def_.name + "'");
      r.SetDate(position_, static_cast<std::int32_t>(std::floor(value)) + kDayNumberOfDateTimeZero);
      return;
    }
    case FieldType::kAlpha:
      SetAsString(DateText(value, table_->table_->Driver().codePage));
      return;
    default: BadAccess("DateTime");
  }
}

// ---------------------------------------------------------------------------------------------
// TTable

TTable::TTable() = default;

TTable::~TTable() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; Close() is there for callers that want to see the error.
  }
}

void TTable::CheckInactive() const {
  if (Active()) Misuse("Cannot perform this operation on an open dataset");
}

void TTable::CheckActive() const {
  if (!Active()) Misuse("Cannot perform this operation on a closed dataset");
}

void TTable::SetDatabaseName(const std::string& directory) {
  CheckInactive();
  databaseName_ = directory;
}

void TTable::SetTableName(const std::string& name) {
  CheckInactive();
  tableName_ = name;
}

void TTable::SetTableType(TTableType type) {
  CheckInactive();
  tableType_ = type;
}

void TTable::SetExclusive(bool exclusive) {
  CheckInactive();
  exclusive_ = exclusive;
}

std::filesystem::path TTable::Directory() const {
  if (tableName_.empty()) Misuse("Missing TableName property");
  return databaseName_.empty() ? std::filesystem::path(".") : text::PathFromUtf8(databaseName_);
}

std::filesystem::path TTable::DataFile() const {
  CheckActive();
  return table_->Path();
}

void TTable::BuildFields() {
  const paradox::TableSchema& schema = table_->Schema();
  const unsigned codePage = table_->Driver().codePage;
  TFieldDefs defs;
  fields_.clear();
  for (std::size_t i = 0; i < schema.FieldCount(); ++i) {
    const paradox::FieldDef& f = schema.Field(i);
    TFieldDef def{text::ToUtf8(f.name, codePage), FieldTypeOf(f.type), DefSizeOf(f), false};
    // The engine keeps no validity checks, so a required flag is known only from the
    // definitions this object was given.
    for (const TFieldDef& given : fieldDefs_.Items())
      if (text::SameTextAscii(given.name, def.name)) def.required = given.required;
    defs.Add(def.name, def.dataType, def.size, def.required);
    fields_.push_back(std::unique_ptr<TField>(new TField(*this, i, def)));
  }
  fieldDefs_ = defs;
}

void TTable::Open() {
  if (Active()) return;
  std::filesystem::path dir = Directory();
  // Opening only reads; a replacement a crash interrupted is settled by an explicit step
  // (paradox::SettleTableSwap, paradox::SettleRestructure), never by looking at a table.
  std::optional<std::filesystem::path> file = paradox::FindDataFile(dir, tableName_);
  if (!file) {
    RaiseEngineError(EngineMessage::kTableNotFound, {},
                     text::PathToUtf8(dir / text::PathFromUtf8(paradox::TableBaseName(tableName_) + ".DB")));
  }
  table_ = paradox::ParadoxTable::Open(*file, exclusive_ ? paradox::OpenMode::kExclusive : paradox::OpenMode::kShared);
  try {
    if (exclusive_) maintainer_ = engine::MaintainSecondaryIndexes(*table_);
    BuildFields();
    current_ = std::make_unique<paradox::Record>(table_->NewRecord());
  } catch (...) {
    table_.reset();
    maintainer_.reset();
    fields_.clear();
    throw;
  }
  state_ = dsBrowse;
  modified_ = false;
  First();
}

void TTable::Close() {
  if (!Active()) return;
  // A pending record is dropped, not posted.
  state_ = dsInactive;
  modified_ = false;
  hasCurrent_ = false;
  current_.reset();
  readSpare_.reset();
  beforeAppend_.reset();
  restoresOnCancel_ = false;
  fields_.clear();
  std::unique_ptr<paradox::ParadoxTable> table = std::move(table_);
  std::unique_ptr<paradox::IndexMaintainer> maintainer = std::move(maintainer_);
  table->Close();
}

bool TTable::Exists() const {
  if (Active()) return true;
  return paradox::TableExists(Directory(), tableName_);
}

void TTable::CreateTable() {
  CheckInactive();
  std::filesystem::path dir = Directory();
  if (fieldDefs_.Count() == 0) BadDefinition("No fields defined for table " + tableName_);

  paradox::TableDefinition def;
  def.driver = DriverForNewTables();
  def.blockSizeKiB = Session().ParadoxBlockSizeKiB().value_or(def.blockSizeKiB);
  def.expectedRecords = expectedRecords_;
  const std::vector<TFieldDef>& given = fieldDefs_.Items();
  for (const TFieldDef& f : given) {
    std::optional<std::string> name = text::FromUtf8(f.name, def.driver.codePage);
    if (!name || name->empty()) BadDefinition("Invalid field name: " + f.name);
    def.fields.push_back(EngineFieldOf(f, *name));
  }
  auto positionOf = [&](const std::string& name) -> std::size_t {
    for (std::size_t i = 0; i < given.size(); ++i)
      if (text::SameTextAscii(given[i].name, name)) return i;
    BadDefinition("Invalid field name in index: " + name);
  };

  std::vector<engine::SecondaryIndexSpec> secondary;
  bool havePrimary = false;
  for (const TIndexDef& index : indexDefs_.Items()) {
    std::vector<std::string> names = index.FieldNames();
    if (names.empty()) BadDefinition("Index without fields: " + index.name);
    std::vector<std::size_t> positions;
    for (const std::string& n : names) positions.push_back(positionOf(n));
    if (index.IsPrimary()) {
      if (havePrimary) BadDefinition("A table has only one primary index");
      if (index.options.Contains(ixCaseInsensitive) || index.options.Contains(ixDescending))
        BadDefinition("A primary index is ascending and case-sensitive");
      // Paradox keys are the leading fields, in table order.
      for (std::size_t k = 0; k < positions.size(); ++k)
        if (positions[k] != k) BadDefinition("Primary index fields must be the first fields of the table, in order");
      def.keyFieldCount = static_cast<unsigned>(positions.size());
      havePrimary = true;
    } else {
      engine::SecondaryIndexSpec s;
      s.name = index.name;
      s.fields = positions;
      s.caseInsensitive = index.options.Contains(ixCaseInsensitive);
      s.descending = index.options.Contains(ixDescending);
      s.unique = index.options.Contains(ixUnique);
      secondary.push_back(std::move(s));
    }
  }
  // Validates the whole definition before an existing table is replaced.
  paradox::TableSchema check(def);

  std::filesystem::path dataFile = paradox::DataFilePath(dir, tableName_);
  paradox::ParadoxTable::Create(dataFile, def);
  try {
    engine::BuildSecondaryIndexes(dataFile, secondary);
  } catch (...) {
    // A table without the indexes it was defined with would be a different table.
    paradox::RemoveFamily(dir, tableName_);
    throw;
  }
}

void TTable::DeleteTable() {
  CheckInactive();
  paradox::DeleteTable(Directory(), tableName_);
}

void TTable::RenameTable(const std::string& newName) {
  CheckInactive();
  if (newName.empty()) Misuse("Missing TableName property");
  paradox::RenameTable(Directory(), tableName_, newName);
  tableName_ = newName;
}

TField* TTable::FindField(const std::string& name) {
  for (const auto& f : fields_)
    if (text::SameTextAscii(f->FieldName(), name)) return f.get();
  return nullptr;
}

TField& TTable::FieldByName(const std::string& name) {
  if (TField* f = FindField(name)) return *f;
  Misuse("Field '" + name + "' not found");
}

TField& TTable::Fields(int i) {
  if (i < 0 || i >= FieldCount()) Misuse("List index out of bounds (" + std::to_string(i) + ")");
  return *fields_[static_cast<std::size_t>(i)];
}

void TTable::LoadCurrent() {
  if (position_ < table_->RecordCount()) {
    // Read into the spare record and swapped in: a failed read leaves the current record as it
    // was, and neither record's buffers are given up (a pass over a table allocates nothing).
    if (!readSpare_) readSpare_ = std::make_unique<paradox::Record>(table_->NewRecord());
    table_->ReadRecord(position_, *readSpare_);
    std::swap(*current_, *readSpare_);
    hasCurrent_ = true;
  } else {
    *current_ = table_->NewRecord();
    hasCurrent_ = false;
  }
}

void TTable::Settle() {
  if (state_ == dsEdit || state_ == dsInsert) {
    if (modified_) Post();
    else Cancel();
  }
}

void TTable::First() {
  CheckActive();
  Settle();
  position_ = 0;
  positionKnown_ = true;
  LoadCurrent();
  bof_ = true;
  eof_ = !hasCurrent_;
}

void TTable::Next() {
  CheckActive();
  Settle();
  ResolvePosition();
  if (hasCurrent_ && position_ + 1 < table_->RecordCount()) {
    ++position_;
    LoadCurrent();
    eof_ = false;
  } else {
    eof_ = true;
  }
  bof_ = false;
}

int TTable::RecordCount() const {
  CheckActive();
  return static_cast<int>(table_->RecordCount());
}

bool TTable::IsEmpty() const {
  CheckActive();
  return state_ != dsInsert && table_->RecordCount() == 0;
}

int TTable::RecNo() const {
  CheckActive();
  ResolvePosition();
  return hasCurrent_ && state_ != dsInsert ? static_cast<int>(position_) + 1 : 0;
}

void TTable::ResolvePosition() const {
  if (positionKnown_) return;
  // The record was staged: its place is known once the table has placed it.
  std::optional<std::uint32_t> at = table_->FindKey(*current_);
  position_ = at ? *at : 0;
  positionKnown_ = true;
}

void TTable::Flush() {
  CheckActive();
  table_->Flush();
}

void TTable::MakeWritable() {
  if (table_->Mode() != paradox::OpenMode::kExclusive) {
    ResolvePosition();
    // The engine writes only under an exclusive open: take the table over. If another program
    // holds it, the shared open is restored and the engine's error goes to the caller.
    std::filesystem::path file = table_->Path();
    table_->Close();
    table_.reset();
    try {
      table_ = paradox::ParadoxTable::Open(file, paradox::OpenMode::kExclusive);
    } catch (...) {
      try {
        table_ = paradox::ParadoxTable::Open(file, paradox::OpenMode::kShared);
      } catch (...) {
        state_ = dsInactive;
        fields_.clear();
        current_.reset();
        hasCurrent_ = false;
        throw;
      }
      LoadCurrent();
      throw;
    }
    maintainer_ = engine::MaintainSecondaryIndexes(*table_);
    LoadCurrent();
  }
  if (std::optional<std::string> refusal = table_->WriteRefusal())
    RaiseEngineError(EngineErrorCode::kReadOnly, *refusal, text::PathToUtf8(table_->Path()));
}

void TTable::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (table_->RecordCount() == 0) {
    Append();
    return;
  }
  MakeWritable();
  ResolvePosition();
  if (!hasCurrent_) {
    position_ = 0;
    LoadCurrent();
  }
  state_ = dsEdit;
  modified_ = false;
}

void TTable::Append() {
  CheckActive();
  Settle();
  MakeWritable();
  restoresOnCancel_ = !positionKnown_ && hasCurrent_;
  if (restoresOnCancel_) {
    if (!beforeAppend_) beforeAppend_ = std::make_unique<paradox::Record>(table_->NewRecord());
    std::swap(current_, beforeAppend_);
  }
  if (current_->SchemaPtr() == table_->SchemaPtr()) current_->ClearAll();
  else *current_ = table_->NewRecord();
  state_ = dsInsert;
  modified_ = false;
  eof_ = true;
  bof_ = false;
}

void TTable::Post() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) Misuse("Dataset not in edit or insert mode");
  for (const auto& f : fields_)
    if (f->Required() && current_->IsNull(static_cast<std::size_t>(f->Index())))
      Misuse("Field '" + f->FieldName() + "' must have a value");
  // On failure (a key violation) the record stays pending and the table unchanged.
  if (state_ == dsInsert) {
    // A new record is staged: a keyed table places it in key order later, all at once, so a
    // long run of appends costs what sorting them costs.
    table_->Stage(*current_);
    restoresOnCancel_ = false;
    hasCurrent_ = true;
    positionKnown_ = table_->Schema().KeyFieldCount() == 0;
    if (positionKnown_) position_ = table_->RecordCount() - 1;
  } else {
    position_ = table_->Update(position_, *current_);
    LoadCurrent();
  }
  state_ = dsBrowse;
  modified_ = false;
}

void TTable::Cancel() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  if (state_ == dsInsert && restoresOnCancel_) {
    // Back to the record staged before: a load that meets a refused record goes on staged.
    std::swap(current_, beforeAppend_);
    restoresOnCancel_ = false;
    state_ = dsBrowse;
    modified_ = false;
    return;
  }
  ResolvePosition();
  state_ = dsBrowse;
  modified_ = false;
  if (position_ >= table_->RecordCount()) position_ = table_->RecordCount() == 0 ? 0 : table_->RecordCount() - 1;
  LoadCurrent();
}
