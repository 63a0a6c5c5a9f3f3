#include "MigrationTestSupport.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "engine/Session.h"
#include "engine/Table.h"
#include "migration/MigrationPasses.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/Record.h"
#include "paradox/Restructure.h"
#include "paradox/TableFamily.h"
#include "paradox/TableSwap.h"
#include "support/TestPaths.h"

namespace migration_test {

namespace fs = std::filesystem;

void RecordingUi::CreateProgress() {
  log.push_back("create");
  position = 0;
}
void RecordingUi::SetProgressMax(int m) {
  max = m;
  log.push_back("max " + std::to_string(m));
}
void RecordingUi::ShowProgress() {
  showing = true;
  log.push_back("show");
}
void RecordingUi::StepProgress(int delta) {
  position = std::min(max, position + delta);
  log.push_back("bar " + std::to_string(position));
}
void RecordingUi::CloseProgress() {
  showing = false;
  log.push_back("close");
}
void RecordingUi::SetBusyCursor(bool b) {
  busy = b;
  log.push_back(b ? "busy" : "idle");
}
unsigned RecordingUi::ShowMessage(const std::string& text, migration::MessageKind kind, unsigned buttons) {
  messages.push_back({text, kind, buttons, showing});
  log.push_back("message");
  return buttons & (~buttons + 1);
}

std::string DayText(int year, int month, int day) {
  return "day " + std::to_string(paradox::DayNumberFromCivil({year, month, day}));
}

TableImage ReadTable(const fs::path& dir, const std::string& name) {
  std::optional<fs::path> file = paradox::FindDataFile(dir, name);
  if (!file) throw std::runtime_error("no table " + name + " in " + dir.string());
  auto table = paradox::ParadoxTable::Open(*file, paradox::OpenMode::kShared);
  TableImage image;
  const paradox::TableSchema& schema = table->Schema();
  for (std::size_t i = 0; i < schema.FieldCount(); ++i) image.fieldNames.push_back(schema.Field(i).name);
  table->ForEachRecord([&](const paradox::Record& r) {
    Row row;
    for (std::size_t i = 0; i < schema.FieldCount(); ++i) {
      std::optional<std::string> v;
      if (!r.IsNull(i)) {
        switch (schema.Field(i).type) {
          case paradox::FieldType::kAlpha: v = r.GetAlpha(i); break;
          case paradox::FieldType::kShort:
          case paradox::FieldType::kLong: v = std::to_string(*r.GetInteger(i)); break;
          case paradox::FieldType::kDate: v = "day " + std::to_string(*r.GetDate(i)); break;
          case paradox::FieldType::kMemo: v = r.GetBlob(i); break;
          default: v = "?";
        }
      }
      row[schema.Field(i).name] = v;
    }
    image.rows.push_back(std::move(row));
    return true;
  });
  return image;
}

std::vector<std::string> Canonical(const std::vector<Row>& rows) {
  std::vector<std::string> out;
  for (const Row& row : rows) {
    std::ostringstream s;
    for (const auto& [name, value] : row) s << name << "=" << (value ? "'" + *value + "'" : "null") << ";";
    out.push_back(s.str());
  }
  std::sort(out.begin(), out.end());
  return out;
}

Installation MakeInstallation(const std::string& name, sample::SampleOptions options) {
  Installation inst;
  inst.root = testing_support::FreshTempDir("migration-" + name);
  // No engine configuration: new tables get the Japanese driver.
  Session().SetConfigFile(inst.root / "NO-IDAPI32.CFG");
  inst.live = inst.root / "Data";
  inst.demo = inst.root / "Demo";
  options.liveFolder = Utf8Path(inst.live);
  options.demoFolder = Utf8Path(inst.demo);
  sample::WriteSampleInstallation(options);
  inst.options = options;
  return inst;
}

Installation CopyInstallation(const Installation& pristine, const std::string& name, const fs::path& parent) {
  Installation inst = pristine;
  inst.root = (parent.empty() ? pristine.root.parent_path() : parent) / ("migration-" + name);
  inst.live = inst.root / "Data";
  inst.demo = inst.root / "Demo";
  fs::remove_all(inst.root);
  fs::create_directories(inst.root);
  fs::copy(pristine.live, inst.live, fs::copy_options::recursive);
  fs::copy(pristine.demo, inst.demo, fs::copy_options::recursive);
  return inst;
}

bool Migrate(const Installation& inst, const migration::MigrationProbe& probe) {
  RecordingUi ui;
  return migration::MigrateTables(ui, migration::AliasFolders(Utf8Path(inst.live), Utf8Path(inst.demo)), probe);
}

const std::vector<KeyedTable>& KeyedTables() {
  static const std::vector<KeyedTable> tables = {{"tovo.db", "NewTovo", {"SYARYOU_NO", "SYATAI_NO"}},
                                                 {"kokyaku.db", "NewKokyaku", {"ID"}},
                                                 {"bigtovo.db", "NewBigTovo", {"SYATAI_NO"}},
                                                 {"bicycle.db", nullptr, {"TOUROKU_NO"}}};
  return tables;
}

std::set<std::string> KeysIn(const fs::path& dir, const std::string& table, const KeyedTable& k) {
  std::set<std::string> keys;
  if (!paradox::FindDataFile(dir, table)) return keys;
  for (const Row& r : ReadTable(dir, table).rows) {
    std::string key;
    for (const char* f : k.key) key += r.count(f) && r.at(f) ? *r.at(f) + "|" : "-|";
    keys.insert(key);
  }
  return keys;
}

SourceKeys KeysOfSources(const Installation& inst) {
  SourceKeys keys;
  for (const KeyedTable& k : KeyedTables()) {
    keys[{0, k.table}] = KeysIn(inst.live, k.table, k);
    keys[{1, k.table}] = KeysIn(inst.demo, k.table, k);
  }
  return keys;
}

namespace {

// What the migration does first when it runs again: an interrupted restructure or swap of the
// table is settled.
void Settle(const fs::path& dir, const std::string& table) {
  paradox::SettleRestructure(dir, table);
  paradox::SettleTableSwap(dir, table);
}

}  // namespace

std::string FirstLostRecord(const Installation& inst, const SourceKeys& sources, bool settleFirst) {
  for (int folder = 0; folder < 2; ++folder) {
    const fs::path dir = folder == 0 ? inst.live : inst.demo;
    for (const KeyedTable& k : KeyedTables()) {
      if (settleFirst) Settle(dir, k.table);
      std::set<std::string> found = KeysIn(dir, k.table, k);
      auto add = [&found](const std::set<std::string>& more) { found.insert(more.begin(), more.end()); };
      if (k.rebuiltAs) {
        // A new table whose writing was cut short carries the engine's mark and is not read;
        // what it holds does not count.
        try {
          add(KeysIn(dir, k.rebuiltAs, k));
        } catch (const EDBEngineError&) {
        }
      }
      // A backup copy cut short may lack a member and not be read; the records are then in
      // the table itself.
      if (folder == 0) {
        try {
          add(KeysIn(dir / "TempData", k.table, k));
        } catch (const EDBEngineError&) {
        }
      }
      for (const std::string& key : sources.at({folder, k.table}))
        if (!found.count(key)) return std::string(k.table) + " record " + key + " in " + Utf8Path(dir);
    }
  }
  return {};
}

MigratedState StateOf(const Installation& inst) {
  MigratedState s;
  for (const char* t : {"TOVO", "KOKYAKU", "BIGTOVO", "bicycle"}) {
    s[std::string("live ") + t] = Canonical(ReadTable(inst.live, t).rows);
    s[std::string("demo ") + t] = Canonical(ReadTable(inst.demo, t).rows);
  }
  return s;
}

std::map<std::string, std::string> FolderBytes(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files[Utf8Path(e.path().filename())] = testing_support::ReadFileBytes(e.path());
  return files;
}

std::map<std::string, std::string> TreeBytes(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[Utf8Path(fs::relative(e.path(), dir))] = testing_support::ReadFileBytes(e.path());
  return files;
}

#ifndef _WIN32
int MigrateInChild(const Installation& inst, const std::function<void()>& arm, const migration::MigrationProbe& probe) {
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (arm) arm();
    try {
      Migrate(inst, probe);
    } catch (...) {
      _exit(2);
    }
    _exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

UpdateOutcome SettleCheckMigrate(const Installation& inst, const migration::MigrationProbe& probe) {
  UpdateOutcome out;
  const std::vector<updatecheck::AliasFolder> folders{{"Tovo", Utf8Path(inst.live)}, {"TovoDemo", Utf8Path(inst.demo)}};
  out.settled = migration::SettleInterrupted(folders);
  if (out.settled.failure) return out;
  out.refusal = updatecheck::CheckBeforeUpdate(folders, out.settled.Lines());
  if (out.refusal) return out;
  out.migrated = migration::MigrateTables(out.ui, migration::AliasFolders(Utf8Path(inst.live), Utf8Path(inst.demo)), probe);
  return out;
}

std::string FirstTableNotBackedUp(const fs::path& original, const fs::path& backup) {
  std::vector<fs::path> copies;
  if (fs::exists(backup)) {
    copies.push_back(backup);
    for (const auto& e : fs::recursive_directory_iterator(backup))
      if (e.is_directory()) copies.push_back(e.path());
  }
  for (const char* table : {"tovo.db", "kokyaku.db", "bigtovo.db"}) {
    const std::vector<std::string> rows = Canonical(ReadTable(original, table).rows);
    const bool kept = std::any_of(copies.begin(), copies.end(), [&](const fs::path& dir) {
      try {
        return paradox::FindDataFile(dir, table) && Canonical(ReadTable(dir, table).rows) == rows;
      } catch (const EDBEngineError&) {
        return false;  // a copy cut short
      }
    });
    if (!kept) return table;
  }
  return {};
}

std::string Utf8Path(const fs::path& p) {
  std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace migration_test
