#include "MigrationTestSupport.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "engine/Session.h"
#include "paradox/ParadoxTable.h"
#include "paradox/Record.h"
#include "paradox/TableFamily.h"
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

std::map<std::string, std::string> FolderBytes(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files[Utf8Path(e.path().filename())] = testing_support::ReadFileBytes(e.path());
  return files;
}

std::string Utf8Path(const fs::path& p) {
  std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

}  // namespace migration_test
