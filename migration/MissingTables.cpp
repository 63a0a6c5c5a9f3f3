#include "engine/Table.h"
#include "migration/MigrationMessages.h"
#include "migration/MigrationPasses.h"

namespace migration {

bool CreateIfMissing(MigrationRun& run, const CreatedTable& wanted, const std::string& folder) {
  TTable table;
  try {
    PrepareTable(table, folder, wanted.name);
    if (!table.Exists()) {
      table.FieldDefs().Clear();
      for (const FieldLayout& f : wanted.fields) table.FieldDefs().Add(std::string(f.name), f.type, f.size, f.required);
      table.IndexDefs().Clear();
      for (const IndexLayout& i : wanted.indexes) table.IndexDefs().Add(std::string(i.name), std::string(i.fields), i.options);
      table.CreateTable();
      table.Open();
      run.Passed("created " + std::string(wanted.name) + " in " + folder);
    }
    table.Close();
  } catch (const std::exception&) {
    run.ui.ShowMessage(std::string(kCreateTableFailed), MessageKind::Error, kButtonYes);
    return false;
  }
  return true;
}

}  // namespace migration
