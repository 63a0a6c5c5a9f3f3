#include "paradox/RestructureRequest.h"

#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>

#include "paradox/ParadoxTable.h"
#include "paradox/Restructure.h"
#include "paradox/TableFamily.h"
#include "text/Utf8Path.h"

namespace paradox {

namespace fs = std::filesystem;

struct EngineDatabase {
  fs::path directory;
};

namespace {

thread_local std::exception_ptr lastError;

template <typename F>
EngineResult Guard(F&& f) {
  try {
    f();
    lastError = nullptr;
    return 0;
  } catch (const EDBEngineError& e) {
    lastError = std::current_exception();
    return e.Code() == EngineErrorCode::kGeneral ? 1 : static_cast<EngineResult>(e.Code());
  } catch (const std::exception& e) {
    lastError = std::make_exception_ptr(EDBEngineError(EngineErrorCode::kGeneral, e.what()));
    return 1;
  }
}


void RequireOpen(CursorHandle cursor) {
  if (!cursor) RaiseEngineError(EngineMessage::kInvalidHandle);
}

void CopyText(char* to, std::size_t size, const std::string& from) {
  std::memset(to, 0, size);
  std::memcpy(to, from.data(), std::min(size - 1, from.size()));
}

std::string TextOf(const char* from, std::size_t size) { return std::string(from, strnlen(from, size)); }

struct EngineType {
  std::uint16_t type, subtype;
  std::int16_t units1, units2;
};

EngineType EngineTypeOf(const FieldDef& f) {
  const auto leader = static_cast<std::int16_t>(f.size > 10 ? f.size - 10 : 0);
  switch (f.type) {
    case FieldType::kAlpha: return {kEngineTypeString, 0, static_cast<std::int16_t>(f.size), 0};
    case FieldType::kDate: return {kEngineTypeDate, 0, 0, 0};
    case FieldType::kShort: return {kEngineTypeInt16, 0, 0, 0};
    case FieldType::kLong: return {kEngineTypeInt32, 0, 0, 0};
    case FieldType::kAutoIncrement: return {kEngineTypeInt32, kEngineSubtypeAutoIncrement, 0, 0};
    case FieldType::kMoney: return {kEngineTypeFloat, kEngineSubtypeMoney, 0, 0};
    case FieldType::kNumber: return {kEngineTypeFloat, 0, 0, 0};
    case FieldType::kLogical: return {kEngineTypeBool, 0, 0, 0};
    case FieldType::kMemo: return {kEngineTypeBlob, kEngineSubtypeMemo, leader, 0};
    case FieldType::kFormattedMemo: return {kEngineTypeBlob, kEngineSubtypeFormattedMemo, leader, 0};
    case FieldType::kBinary: return {kEngineTypeBlob, kEngineSubtypeBinary, leader, 0};
    case FieldType::kOle: return {kEngineTypeBlob, kEngineSubtypeOle, leader, 0};
    case FieldType::kGraphic: return {kEngineTypeBlob, kEngineSubtypeGraphic, leader, 0};
    case FieldType::kTime: return {kEngineTypeTime, 0, 0, 0};
    case FieldType::kTimestamp: return {kEngineTypeTimestamp, 0, 0, 0};
    case FieldType::kBcd: return {kEngineTypeBcd, 0, 32, static_cast<std::int16_t>(f.size)};
    case FieldType::kBytes: return {kEngineTypeBytes, 0, static_cast<std::int16_t>(f.size), 0};
  }
  return {0, 0, 0, 0};
}

// The Paradox definition a descriptor asks for; refused when the engine has no such field.
FieldDef DefinitionOf(const FieldDescriptor& d) {
  const std::string name = TextOf(d.name, sizeof d.name);
  auto sized = [&](FieldType t, int lo, int hi, int v, int extra) {
    if (v < lo || v > hi)
      RaiseEngineError(EngineMessage::kInvalidField, "field " + name + " size " + std::to_string(v));
    return FieldDef::Of(name, t, static_cast<std::uint8_t>(v + extra));
  };
  switch (d.type) {
    case kEngineTypeString: return sized(FieldType::kAlpha, 1, 255, d.units1, 0);
    case kEngineTypeDate: return FieldDef::Of(name, FieldType::kDate, 4);
    case kEngineTypeInt16: return FieldDef::Of(name, FieldType::kShort, 2);
    case kEngineTypeInt32:
      return FieldDef::Of(name, d.subtype == kEngineSubtypeAutoIncrement ? FieldType::kAutoIncrement : FieldType::kLong, 4);
    case kEngineTypeFloat: return FieldDef::Of(name, d.subtype == kEngineSubtypeMoney ? FieldType::kMoney : FieldType::kNumber, 8);
    case kEngineTypeBool: return FieldDef::Of(name, FieldType::kLogical, 1);
    case kEngineTypeTime: return FieldDef::Of(name, FieldType::kTime, 4);
    case kEngineTypeTimestamp: return FieldDef::Of(name, FieldType::kTimestamp, 8);
    case kEngineTypeBcd: return sized(FieldType::kBcd, 0, 32, d.units2, 0);
    case kEngineTypeBytes: return sized(FieldType::kBytes, 1, 255, d.units1, 0);
    case kEngineTypeBlob: {
      FieldType t = FieldType::kMemo;
      switch (d.subtype) {
        case kEngineSubtypeMemo: t = FieldType::kMemo; break;
        case kEngineSubtypeFormattedMemo: t = FieldType::kFormattedMemo; break;
        case kEngineSubtypeBinary: t = FieldType::kBinary; break;
        case kEngineSubtypeOle: t = FieldType::kOle; break;
        case kEngineSubtypeGraphic: t = FieldType::kGraphic; break;
        default: RaiseEngineError(EngineMessage::kInvalidFieldType, "field " + name);
      }
      return sized(t, 1, 240, d.units1, 10);
    }
    default: break;
  }
  RaiseEngineError(EngineMessage::kInvalidFieldType, "field " + name);
}

}  // namespace

EngineResult EngineSetCursorProperty(CursorHandle cursor, std::uint32_t property, std::uint32_t value) {
  return Guard([&] {
    RequireOpen(cursor);
    if (property != kPropertyTranslateMode) RaiseEngineError(EngineMessage::kNotSupported);
    // Table text is kept as the bytes of its code page; "no translation" is the only mode.
    if (value != 0) RaiseEngineError(EngineMessage::kNotSupported, "translate mode " + std::to_string(value));
  });
}

EngineResult EngineGetCursorProperties(CursorHandle cursor, CursorProperties* p) {
  return Guard([&] {
    RequireOpen(cursor);
    if (!p) RaiseEngineError(EngineMessage::kInvalidParameter);
    std::memset(p, 0, sizeof *p);
    const std::string name = text::PathToUtf8(cursor->Path().filename());
    CopyText(p->tableName, sizeof p->tableName, name);
    p->tableNameSize = static_cast<std::uint16_t>(std::min<std::size_t>(name.size(), 260));
    CopyText(p->tableType, sizeof p->tableType, "PARADOX");
    const TableSchema& s = cursor->Schema();
    p->fieldCount = static_cast<std::uint16_t>(s.FieldCount());
    p->recordSize = static_cast<std::uint16_t>(s.RecordSize());
    p->keyFieldCount = static_cast<std::uint16_t>(s.KeyFieldCount());
    p->recordCount = cursor->RecordCount();
    p->blockSizeKiB = cursor->Header().blockSizeKiB;
    p->level = cursor->Header().level;
    p->indexCount = 0;
    for (const auto& f : cursor->SecondaryIndexFiles()) {
      auto e = text::PathToUtf8(f.extension());
      if (e.size() > 1 && (e[1] == 'X' || e[1] == 'x')) ++p->indexCount;
    }
  });
}

EngineResult EngineGetFieldDescriptors(CursorHandle cursor, FieldDescriptor* d) {
  return Guard([&] {
    RequireOpen(cursor);
    if (!d) RaiseEngineError(EngineMessage::kInvalidParameter);
    const TableSchema& s = cursor->Schema();
    for (std::size_t i = 0; i < s.FieldCount(); ++i) {
      FieldDescriptor& f = d[i];
      std::memset(&f, 0, sizeof f);
      f.fieldNumber = static_cast<std::uint16_t>(i + 1);
      CopyText(f.name, sizeof f.name, s.Field(i).name);
      EngineType t = EngineTypeOf(s.Field(i));
      f.type = t.type;
      f.subtype = t.subtype;
      f.units1 = t.units1;
      f.units2 = t.units2;
      f.offset = static_cast<std::uint16_t>(s.FieldOffset(i));
      f.length = static_cast<std::uint16_t>(s.FieldSize(i));
    }
  });
}

EngineResult EngineGetOwnerObject(CursorHandle cursor, std::uint32_t kind, DatabaseHandle* database) {
  return Guard([&] {
    RequireOpen(cursor);
    if (kind != kObjectDatabase || !database) RaiseEngineError(EngineMessage::kNotSupported);
    // Database objects live as long as the program, as the engine's own do.
    static std::mutex mutex;
    static std::map<fs::path, std::unique_ptr<EngineDatabase>> databases;
    std::lock_guard lock(mutex);
    fs::path dir = cursor->Path().parent_path();
    auto& slot = databases[dir];
    if (!slot) slot = std::make_unique<EngineDatabase>(EngineDatabase{dir});
    *database = slot.get();
  });
}

EngineResult EngineRestructure(DatabaseHandle database, std::uint16_t count, const RestructureDescriptor* request,
                               const char* saveAs, const char* keyViolationTable, const char* problemTable,
                               bool analyzeOnly) {
  return Guard([&] {
    if (!database || !request) RaiseEngineError(EngineMessage::kInvalidHandle);
    if (count != 1 || saveAs || keyViolationTable || problemTable || analyzeOnly)
      RaiseEngineError(EngineMessage::kNotSupported);
    const std::string type = TextOf(request->tableType, sizeof request->tableType);
    if (type != "PARADOX") RaiseEngineError(EngineMessage::kNotSupported, "table type " + type);
    for (auto b : request->reserved1)
      if (b) RaiseEngineError(EngineMessage::kNotSupported);
    for (auto b : request->reserved2)
      if (b) RaiseEngineError(EngineMessage::kNotSupported);
    const std::string name = TextOf(request->tableName, sizeof request->tableName);
    auto dataFile = FindDataFile(database->directory, name);
    if (!dataFile) RaiseEngineError(EngineMessage::kTableNotFound, {}, name);

    std::vector<FieldDef> fields;
    {
      auto t = ParadoxTable::Open(*dataFile, OpenMode::kShared);
      fields = t->Schema().Fields();
    }
    if (request->fieldCount != fields.size() || !request->fieldOperations || !request->fields)
      RaiseEngineError(EngineMessage::kInvalidField, "the request describes " +
                                                   std::to_string(request->fieldCount) + " of " +
                                                   std::to_string(fields.size()) + " fields");
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const std::uint32_t op = request->fieldOperations[i];
      if (op == kFieldOperationNone) continue;
      if (op != kFieldOperationModify) RaiseEngineError(EngineMessage::kNotSupported, "field operation " + std::to_string(op));
      if (request->fields[i].fieldNumber != i + 1)
        RaiseEngineError(EngineMessage::kInvalidField, "field number " + std::to_string(request->fields[i].fieldNumber));
      fields[i] = DefinitionOf(request->fields[i]);
    }
    RestructureTable(*dataFile, fields);
  });
}

void RaiseEngineResult(EngineResult result) {
  if (lastError) std::rethrow_exception(lastError);
  RaiseEngineError(static_cast<EngineErrorCode>(result), EngineMessageText(EngineMessage::kGeneral));
}

}  // namespace paradox
