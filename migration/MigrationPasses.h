#pragma once
// The phases of MigrateTables, one file each. A phase that returns false has shown its failure;
// the driver then restores the pointer, closes the progress window and returns false.

#include <string>

#include "migration/MigrateTables.h"
#include "migration/MigrationData.h"

class TTable;

namespace migration {

struct MigrationRun {
  MigrationUi& ui;
  std::string livePath;
  std::string demoPath;
  std::string backupPath;
  MigrationProbe probe;
  std::string startStamp;   // the run's start, "20261209-101500": names where earlier backups go
  std::string asideFolder;  // where this run has moved earlier backups, once it has

  void Passed(std::string_view what) const {
    if (probe) probe(what);
  }
};

// Binds `table` to `fileName` in `folder`: database name, table name, Paradox, exclusive.
void PrepareTable(TTable& table, const std::string& folder, std::string_view fileName);
// As above; a failure shows the "cannot create" box and is passed over.
void PrepareTableOrSay(MigrationRun& run, TTable& table, const std::string& folder, std::string_view fileName);

// The fourteen widening passes. Errors pass on.
void WidenFields(MigrationRun& run);

// One rebuild pass in `folder`.
bool RebuildTable(MigrationRun& run, const RebuildPlan& plan, const std::string& folder);

// One table created in `folder` unless it is there.
bool CreateIfMissing(MigrationRun& run, const CreatedTable& wanted, const std::string& folder);

}  // namespace migration
