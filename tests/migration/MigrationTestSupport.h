#pragma once
// What the migration tests share: a user interface that records what it is asked to show, a
// sample installation in a fresh folder, and tables read back through the engine's own reader
// (not the table layer the migration writes through).

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "migration/MigrateTables.h"
#include "migration/SettleInterrupted.h"
#include "tools/sample/SampleInstallation.h"

namespace migration_test {

struct ShownMessage {
  std::string text;
  migration::MessageKind kind;
  unsigned buttons;
  bool progressShowing;
};

class RecordingUi : public migration::MigrationUi {
 public:
  void CreateProgress() override;
  void SetProgressMax(int max) override;
  void ShowProgress() override;
  void StepProgress(int delta) override;
  void CloseProgress() override;
  void SetBusyCursor(bool busy) override;
  unsigned ShowMessage(const std::string& text, migration::MessageKind kind, unsigned buttons) override;

  std::vector<std::string> log;  // "create", "max 10", "show", "bar 3", "close", "busy", "idle", "message", probes
  std::vector<ShownMessage> messages;
  int max = 0;
  int position = 0;
  bool showing = false;
  bool busy = false;
};

// Field name -> value; an empty value (null) is std::nullopt. Alpha and memo as their bytes,
// integers in decimal, dates as "day N" (Paradox day number).
using Row = std::map<std::string, std::optional<std::string>>;

struct TableImage {
  std::vector<std::string> fieldNames;
  std::vector<Row> rows;
};

// The table `name` of `dir` (any case, with or without ".db") through paradox::ParadoxTable.
TableImage ReadTable(const std::filesystem::path& dir, const std::string& name);
std::string DayText(int year, int month, int day);
constexpr const char* kZeroDay = "day 693594";  // 1899-12-30

// Rows in a canonical order, for comparing as multisets.
std::vector<std::string> Canonical(const std::vector<Row>& rows);

struct Installation {
  std::filesystem::path root, live, demo;
  sample::SampleOptions options;
};

// A sample installation in a fresh folder named `name`.
Installation MakeInstallation(const std::string& name, sample::SampleOptions options);

// A copy of `pristine` in a fresh folder named `name` (the same sample, written once), beside
// it or in `parent`.
Installation CopyInstallation(const Installation& pristine, const std::string& name,
                              const std::filesystem::path& parent = {});

bool Migrate(const Installation& inst, const migration::MigrationProbe& probe = {});

// The tables whose records the migration carries, each with the fields that tell its records
// apart in the sample (before and after the migration).
struct KeyedTable {
  const char* table;
  const char* rebuiltAs;  // the new table's name while it is built; nullptr when widened in place
  std::vector<const char*> key;
};
const std::vector<KeyedTable>& KeyedTables();

// The keys of the records of `table` in `dir`; none when there is no such table.
std::set<std::string> KeysIn(const std::filesystem::path& dir, const std::string& table, const KeyedTable& k);

// Folder 0 (live) and 1 (demo), table -> the keys of its records.
using SourceKeys = std::map<std::pair<int, std::string>, std::set<std::string>>;
SourceKeys KeysOfSources(const Installation& inst);

// The first source record found neither under its table's own name, nor in the table being
// built, nor (live folder) in the backup folder; "" when every one is found. With
// `settleFirst`, a restructure or a swap of each table that was cut short is first settled
// (paradox::SettleRestructure, paradox::SettleTableSwap).
std::string FirstLostRecord(const Installation& inst, const SourceKeys& sources, bool settleFirst);

// The rows of every table the migration changes, both folders, in canonical order.
using MigratedState = std::map<std::string, std::vector<std::string>>;
MigratedState StateOf(const Installation& inst);

// Every file of a folder (not below it) with its bytes.
std::map<std::string, std::string> FolderBytes(const std::filesystem::path& dir);
// Every file below `dir`, by its path relative to it, with its bytes.
std::map<std::string, std::string> TreeBytes(const std::filesystem::path& dir);

#ifndef _WIN32
// Runs the migration of `inst` in a child process, as a run the power or a kill may cut short:
// `arm` is called in the child first, and the child ends with _exit(0) where the run is to stop
// (from `arm`'s hook or `probe`). The child's exit status: 0 when it was stopped, 1 when the
// migration ran to its end, 2 when it threw, -1 when it did not exit.
int MigrateInChild(const Installation& inst, const std::function<void()>& arm,
                   const migration::MigrationProbe& probe = {});
#endif

// What the update does from the confirmation on, but for the program files: what an earlier
// run left interrupted is settled, the tables are checked, and the migration runs when the
// check passed.
struct UpdateOutcome {
  migration::SettleReport settled;
  std::optional<std::string> refusal;  // the check's message
  bool migrated = false;
  RecordingUi ui;
};
UpdateOutcome SettleCheckMigrate(const Installation& inst, const migration::MigrationProbe& probe = {});

// The first rebuilt table of `original` (a live folder as it was before any update) whose
// records are not all in one copy of it in the backup folder `backup` or a folder below it;
// "" when each has such a copy. Records, not bytes: the fields are widened before the backup.
std::string FirstTableNotBackedUp(const std::filesystem::path& original, const std::filesystem::path& backup);

std::string Utf8Path(const std::filesystem::path& p);

}  // namespace migration_test
