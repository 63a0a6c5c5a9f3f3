#include "engine/RestructureField.h"

#include <cstring>
#include <memory>
#include <string>

#include "engine/Table.h"
#include "paradox/EngineError.h"

namespace {

// The descriptor block and the operation codes, released on every way out.
struct ZeroedBlock {
  explicit ZeroedBlock(std::size_t bytes) : data(new std::uint8_t[bytes ? bytes : 1]()) {}
  std::unique_ptr<std::uint8_t[]> data;
};

void Check(const RestructureEngineCalls& calls, paradox::EngineResult result) {
  if (result != 0) calls.raise(result);
}

}  // namespace

const RestructureEngineCalls& EngineRestructureCalls() {
  static const RestructureEngineCalls calls{
      paradox::EngineSetCursorProperty, paradox::EngineGetCursorProperties, paradox::EngineGetFieldDescriptors,
      paradox::EngineGetOwnerObject,    paradox::EngineRestructure,         paradox::RaiseEngineResult,
  };
  return calls;
}

void RestructureField(TTable& table, const TField& field, TFieldChange change) {
  RestructureField(table, field, change, EngineRestructureCalls());
}

void RestructureField(TTable& table, const TField& field, TFieldChange change, const RestructureEngineCalls& calls) {
  if (!table.Active()) throw EDatabaseError("Table must be opened to restructure");
  if (!table.Exclusive()) throw EDatabaseError("Table must be opened exclusivelyto restructure");
  paradox::CursorHandle cursor = table.Handle();

  Check(calls, calls.setCursorProperty(cursor, paradox::kPropertyTranslateMode, 0));
  paradox::CursorProperties properties{};
  Check(calls, calls.getCursorProperties(cursor, &properties));
  const std::string tableType(properties.tableType, strnlen(properties.tableType, sizeof properties.tableType));
  if (tableType != "PARADOX" && tableType != "DBASE")
    throw EDatabaseError("Field altering can only occur on Paradox or dBASE tables");

  const std::size_t n = static_cast<std::size_t>(table.FieldCount());
  ZeroedBlock descriptorBlock(n * sizeof(paradox::FieldDescriptor));
  ZeroedBlock operationBlock(n * sizeof(std::uint32_t));
  auto* descriptors = reinterpret_cast<paradox::FieldDescriptor*>(descriptorBlock.data.get());
  auto* operations = reinterpret_cast<std::uint32_t*>(operationBlock.data.get());

  const std::size_t p = static_cast<std::size_t>(field.Index());
  operations[p] = paradox::kFieldOperationModify;
  Check(calls, calls.getFieldDescriptors(cursor, descriptors));

  paradox::FieldDescriptor& d = descriptors[p];
  std::memcpy(d.name, change.name, sizeof d.name);
  if (change.type) d.type = change.type;
  if (change.subtype) d.subtype = change.subtype;
  if (change.length) d.units1 = static_cast<std::int16_t>(change.length);
  if (change.precision) d.units2 = static_cast<std::int16_t>(change.precision);
  // The counter is 8 bits wide: tables of at most 255 fields.
  std::uint8_t number = 1;
  for (std::size_t i = 0; i < n; ++i) descriptors[i].fieldNumber = number++;

  paradox::RestructureDescriptor request;
  std::memset(&request, 0, sizeof request);
  paradox::DatabaseHandle database = nullptr;
  Check(calls, calls.getOwnerObject(cursor, paradox::kObjectDatabase, &database));
  const std::string& tableName = table.TableName();
  std::memcpy(request.tableName, tableName.data(), std::min(tableName.size(), sizeof request.tableName - 1));
  std::memcpy(request.tableType, tableType.data(), std::min(tableType.size(), sizeof request.tableType - 1));
  request.fieldCount = static_cast<std::uint16_t>(n);
  request.fieldOperations = operations;
  request.fields = descriptors;

  table.Close();
  Check(calls, calls.restructure(database, 1, &request, nullptr, nullptr, nullptr, false));
}
