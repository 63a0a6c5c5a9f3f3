#include "migration/SettleInterrupted.h"

#include <filesystem>
#include <system_error>

#include "migration/CheckMessages.h"
#include "migration/MigrationData.h"
#include "migration/MigrationMessages.h"
// Settling completes or undoes the engine's own interrupted restructures and swaps, which
// only the engine knows (Restructure, TableFamily, TableSwap); EngineError for its texts.
#include "paradox/EngineError.h"
#include "paradox/Restructure.h"
#include "paradox/TableFamily.h"
#include "paradox/TableSwap.h"
#include "text/Ascii.h"
#include "text/Utf8Path.h"

namespace migration {
namespace {

namespace fs = std::filesystem;

// The rebuild that replaces `table`, if any: its failure line is the table's.
const RebuildPlan* RebuildOf(const std::string& table) {
  for (const RebuildPlan& plan : Rebuilds())
    if (text::SameTextAscii(plan.source, table)) return &plan;
  return nullptr;
}

std::string FailureLine(const std::string& table, const std::string& shown) {
  if (const RebuildPlan* plan = RebuildOf(table)) return std::string(RebuildFailureLine(plan->failure));
  return updatemsg::WidenedTableFailed(shown);
}

void Note(SettleReport& report, const std::string& shown, paradox::Settled outcome) {
  if (outcome != paradox::Settled::kNothing)
    report.done.push_back({shown, outcome == paradox::Settled::kCompleted});
}

// A restructure first: a rebuilt table's fields were widened before it was rebuilt.
void SettleTable(SettleReport& report, const fs::path& dir, const std::string& folder, const std::string& table) {
  const std::string shown = folder + "\\" + table;
  try {
    Note(report, shown, paradox::SettleRestructure(dir, table));
    if (const RebuildPlan* plan = RebuildOf(table)) Note(report, shown, paradox::SettleTableSwap(dir, plan->finalName));
  } catch (const EDBEngineError& e) {
    report.failure = FailureLine(table, shown) + "\r\r" + e.what();
  }
}

}  // namespace

std::string SettledOperation::Describe() const {
  return completed ? updatemsg::SettledCompleted(table) : updatemsg::SettledUndone(table);
}

std::vector<std::string> SettleReport::Lines() const {
  std::vector<std::string> lines;
  for (const SettledOperation& op : done) lines.push_back(op.Describe());
  return lines;
}

SettleReport SettleInterrupted(const std::vector<updatecheck::AliasFolder>& folders) {
  SettleReport report;
  for (const updatecheck::AliasFolder& f : folders) {
    std::error_code ec;
    const fs::path dir = text::PathFromUtf8(f.path);
    if (f.path.empty() || !fs::is_directory(dir, ec)) continue;
    for (const std::string& table : updatecheck::MigratedTables()) {
      SettleTable(report, dir, f.path, table);
      if (report.failure) return report;
    }
  }
  return report;
}

}  // namespace migration
