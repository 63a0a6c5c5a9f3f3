#include <cstring>

#include "engine/RestructureField.h"
#include "engine/Table.h"
#include "migration/MigrationPasses.h"
// The widening's field descriptions are the engine's restructure rows.
#include "paradox/Restructure.h"
#include "text/Utf8Path.h"

namespace migration {
namespace {

TFieldChange ChangeOf(const WideningRow& row) {
  TFieldChange change{};
  std::memcpy(change.name, row.field, sizeof change.name);
  change.type = kCharacterFieldType;
  change.subtype = kNoSubtype;
  change.length = row.newLength;
  change.precision = 0;
  return change;
}

void WidenOne(MigrationRun& run, const WideningRow& row, const std::string& folder) {
  TTable table;
  PrepareTableOrSay(run, table, folder, row.table);
  try {
    // Opening settles nothing: a restructure an earlier run left half done is settled first.
    paradox::SettleRestructure(text::PathFromUtf8(folder), row.table);
    table.Open();
    const TField& field = table.FieldByName(std::string(row.field, strnlen(row.field, sizeof row.field)));
    RestructureField(table, field, ChangeOf(row));
  } catch (...) {
    table.Close();
    throw;
  }
  table.Close();
  run.Passed("widened " + std::string(row.table) + " " + row.field + " in " + folder);
}

}  // namespace

void WidenFields(MigrationRun& run) {
  for (const WideningRow& row : WideningRows()) {
    WidenOne(run, row, run.livePath);
    WidenOne(run, row, run.demoPath);
  }
}

}  // namespace migration
