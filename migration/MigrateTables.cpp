#include "migration/MigrateTables.h"

#include <cassert>
#include <ctime>

#include "engine/Table.h"
#include "fileops/FileOps.h"
#include "migration/MigrationMessages.h"
#include "migration/MigrationPasses.h"
// MakeFolder: the backup folder is made through the engine's gated file layer.
#include "paradox/DurableFile.h"
#include "text/Utf8Path.h"

namespace migration {
namespace {

// The folder's own separator: "\" on Windows, "/" natively.
std::string BelowFolder(const std::string& folder, std::string_view name) {
  return text::PathToUtf8(text::PathFromUtf8(folder) / text::PathFromUtf8(name));
}

void MakeBackupFolder(const std::string& path) {
  if (fileops::FolderExists(path)) return;
  // Not looked at here: a backup that cannot be written fails its check before any table is
  // deleted.
  paradox::MakeFolder(text::PathFromUtf8(path));
}

std::string StartStamp() {
  const std::time_t now = std::time(nullptr);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
  return stamp;
}

bool Abandon(MigrationUi& ui) {
  ui.SetBusyCursor(false);
  ui.CloseProgress();
  return false;
}

}  // namespace

void PrepareTable(TTable& table, const std::string& folder, std::string_view fileName) {
  table.SetDatabaseName(folder);
  table.SetTableName(std::string(fileName));
  table.SetTableType(ttParadox);
  table.SetExclusive(true);
}

void PrepareTableOrSay(MigrationRun& run, TTable& table, const std::string& folder, std::string_view fileName) {
  try {
    PrepareTable(table, folder, fileName);
  } catch (const std::exception&) {
    run.ui.ShowMessage(std::string(kCreateTableFailed), MessageKind::Error, kButtonYes);
  }
}

std::vector<updatecheck::AliasFolder> AliasFolders(std::string live, std::string demo) {
  return {{std::string(kLiveAlias), std::move(live)}, {std::string(kDemoAlias), std::move(demo)}};
}

bool MigrateTables(MigrationUi& ui, const std::vector<updatecheck::AliasFolder>& folders,
                   const MigrationProbe& probe) {
  assert(folders.size() == 2);
  ui.SetBusyCursor(true);
  ui.CreateProgress();
  ui.SetProgressMax(kProgressMax);
  ui.ShowProgress();

  MigrationRun run{ui, {}, {}, {}, probe, StartStamp(), {}};
  run.livePath = folders.front().path;
  run.demoPath = folders.back().path;
  run.backupPath = BelowFolder(run.livePath, kBackupFolderName);
  MakeBackupFolder(run.backupPath);

  WidenFields(run);
  ui.StepProgress(kProgressAfterWidening);

  for (const RebuildPlan& plan : Rebuilds())
    for (const std::string* folder : {&run.livePath, &run.demoPath})
      if (!RebuildTable(run, plan, *folder)) return Abandon(ui);

  for (const CreatedTable& wanted : CreatedTables())
    for (const std::string* folder : {&run.livePath, &run.demoPath})
      if (!CreateIfMissing(run, wanted, *folder)) return Abandon(ui);

  ui.SetBusyCursor(false);
  ui.CloseProgress();
  return true;
}

}  // namespace migration
