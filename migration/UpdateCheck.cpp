#include "migration/UpdateCheck.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "migration/CheckMessages.h"
#include "engine/Table.h"
#include "migration/MigrationData.h"
// The check opens every family file exclusively and tries a folder with a probe file
// (BinaryFile, DurableFile), runs the engine's own table check (TableCheck) and looks for
// pending replacements (TableFamily, TableSwap); EngineError for its texts.
#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "paradox/TableSwap.h"
#include "text/Ascii.h"
#include "text/Utf8Path.h"

namespace updatecheck {
namespace {

namespace fs = std::filesystem;

constexpr char kWriteProbeName[] = "~NVXCHK.TMP";

// As the user reads it in a message.
std::string ShownPath(const std::string& folder, const std::string& table) { return folder + "\\" + table; }

std::string Stem(const std::string& name) {
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// The data file and its companions (index, memo, secondary indexes): the files that a copy of
// the table by name takes along.
std::uint64_t FamilySize(const std::string& folder, const std::string& table) {
  std::error_code ec;
  std::uint64_t total = 0;
  const std::string stem = Stem(table);
  for (fs::directory_iterator it(text::PathFromUtf8(folder), ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (!text::SameTextAscii(Stem(text::PathToUtf8(it->path().filename())), stem)) continue;
    std::uint64_t size = it->file_size(ec);
    if (!ec) total += size;
  }
  return total;
}

std::optional<std::string> CheckTable(const std::string& folder, const std::string& name) {
  const std::string shown = ShownPath(folder, name);
  TTable table;
  table.SetDatabaseName(folder);
  table.SetTableName(name);
  table.SetTableType(TTableType::ttParadox);
  table.SetExclusive(true);
  if (!table.Exists()) return updatemsg::TableMissing(shown);
  try {
    table.Open();
    table.Close();
  } catch (const EDBEngineError& e) {
    switch (e.Code()) {
      case EngineErrorCode::kFileLocked: return updatemsg::TableInUse(shown);
      case EngineErrorCode::kCorruptFile: return updatemsg::TableDamaged(shown, e.what());
      case EngineErrorCode::kFileNotFound: return updatemsg::TableMissing(shown);
      default: return updatemsg::TableUnreadable(shown, e.what());
    }
  } catch (const EDatabaseError& e) {
    return updatemsg::TableUnreadable(shown, e.what());
  }
  // The migration rewrites every member; one that is read-only or that another program holds
  // would stop it halfway through.
  const fs::path dir = text::PathFromUtf8(folder);
  for (const fs::path& member : paradox::FamilyFilesByBase(dir, paradox::TableBaseName(name))) {
    try {
      paradox::BinaryFile::Open(member, paradox::FileAccess::kReadWriteExclusive);
    } catch (const EDBEngineError& e) {
      if (e.Code() == EngineErrorCode::kFileLocked) return updatemsg::TableInUse(shown);
      return updatemsg::TableUnreadable(shown, e.what());
    }
  }
  try {
    // The data file as it is spelled on the disk: a case-sensitive file system holds TOVO.DB
    // after a migration, where the table is asked for as tovo.db.
    const auto dataFile = paradox::FindDataFile(dir, name);
    if (!dataFile) return updatemsg::TableMissing(shown);
    if (auto fault = paradox::CheckTable(*dataFile)) return updatemsg::TableDamaged(shown, *fault);
  } catch (const EDatabaseError& e) {
    return updatemsg::TableDamaged(shown, e.what());
  }
  return std::nullopt;
}

// The migration makes new files beside the old ones (and in the backup folder).
std::optional<std::string> CheckWritable(const std::string& folder) {
  const fs::path probe = text::PathFromUtf8(folder) / text::PathFromUtf8(kWriteProbeName);
  try {
    paradox::BinaryFile::Open(probe, paradox::FileAccess::kCreateExclusive);
    paradox::RemoveFile(probe);
  } catch (const EDBEngineError& e) {
    return updatemsg::FolderNotWritable(folder, e.what());
  }
  return std::nullopt;
}

std::optional<std::string> CheckFoldersWritable(const std::vector<AliasFolder>& folders) {
  for (const AliasFolder& f : folders)
    if (auto problem = CheckWritable(f.path)) return problem;
  const std::string backup = text::PathToUtf8(text::PathFromUtf8(folders.front().path) / text::PathFromUtf8(migration::kBackupFolderName));
  std::error_code ec;
  if (fs::is_directory(text::PathFromUtf8(backup), ec)) return CheckWritable(backup);
  return std::nullopt;
}

// Folders on one drive share its free space.
std::optional<std::string> CheckRoom(const std::vector<AliasFolder>& folders) {
  std::map<std::string, std::pair<std::uint64_t, std::string>> needByDrive;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const fs::path p = fs::absolute(text::PathFromUtf8(folders[i].path));
    auto& entry = needByDrive[text::AsciiUpper(text::PathToUtf8(p.root_path()))];
    entry.first += EstimatedNeed(folders[i].path, i == 0);
    if (entry.second.empty()) entry.second = folders[i].path;
  }
  for (const auto& [drive, need] : needByDrive) {
    std::error_code ec;
    const fs::space_info space = fs::space(text::PathFromUtf8(need.second), ec);
    if (ec || space.available >= need.first) continue;
    const std::uint64_t missing = need.first - space.available;
    return updatemsg::DiskFull(need.second, (missing + (1u << 20) - 1) >> 20);
  }
  return std::nullopt;
}

std::optional<std::string> FirstProblem(const std::vector<AliasFolder>& folders) {
  for (const AliasFolder& f : folders) {
    if (f.path.empty()) return updatemsg::AliasMissing(f.alias);
    std::error_code ec;
    if (!fs::is_directory(text::PathFromUtf8(f.path), ec)) return updatemsg::FolderMissing(f.alias, f.path);
  }
  for (const std::string& table : MigratedTables())
    for (const AliasFolder& f : folders)
      if (auto problem = CheckTable(f.path, table)) return problem;
  if (auto problem = CheckFoldersWritable(folders)) return problem;
  return CheckRoom(folders);
}

}  // namespace

// Spelled out rather than left to std::filesystem: the MinGW library does not count a UNC
// path ("\\server\share") as absolute.
bool IsAbsoluteFolder(const std::string& path) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (path.size() >= 3 && letter(path[0]) && path[1] == ':' && separator(path[2])) return true;
  if (path.size() < 5 || !separator(path[0]) || !separator(path[1]) || separator(path[2])) return false;
  const std::size_t shareStart = path.find_first_of("\\/", 2);
  return shareStart != std::string::npos && shareStart + 1 < path.size() && !separator(path[shareStart + 1]);
}

// Taken from the migration's own data, so that the check follows what it will open.
const std::vector<std::string>& MigratedTables() {
  static const std::vector<std::string> tables = [] {
    std::vector<std::string> names;
    auto add = [&](std::string_view table) {
      for (const std::string& n : names)
        if (text::SameTextAscii(n, table)) return;
      names.emplace_back(table);
    };
    for (const migration::WideningRow& row : migration::WideningRows()) add(row.table);
    for (const migration::RebuildPlan& rebuild : migration::Rebuilds()) add(rebuild.source);
    return names;
  }();
  return tables;
}

const std::vector<std::string>& RebuiltTables() {
  static const std::vector<std::string> tables = [] {
    std::vector<std::string> names;
    for (const migration::RebuildPlan& rebuild : migration::Rebuilds()) names.emplace_back(rebuild.source);
    return names;
  }();
  return tables;
}

std::uint64_t EstimatedNeed(const std::string& folder, bool withBackup) {
  std::uint64_t need = 0;
  for (const std::string& t : RebuiltTables()) need += FamilySize(folder, t) * (withBackup ? 2 : 1);
  // A restructure writes the table anew before the old files go; the largest one sets the peak.
  std::uint64_t largestWidened = 0;
  for (const std::string& t : MigratedTables()) largestWidened = std::max(largestWidened, FamilySize(folder, t));
  return need + largestWidened;
}

std::optional<std::string> CheckBeforeUpdate(const std::vector<AliasFolder>& folders,
                                             const std::vector<std::string>& settled) {
  // Every refusal ends with "nothing was changed", which settling may have made untrue.
  if (std::optional<std::string> problem = FirstProblem(folders)) return updatemsg::AfterSettling(*problem, settled);
  return std::nullopt;
}

std::vector<TableCount> CountRecords(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(text::PathFromUtf8(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = text::PathToUtf8(it->path().filename());
    if (it->is_regular_file(ec) && name.size() > 3 && text::SameTextAscii(name.substr(name.size() - 3), ".db"))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return text::AsciiUpper(a) < text::AsciiUpper(b);
  });
  std::vector<TableCount> counts;
  for (const std::string& name : names) {
    TableCount c{name, std::nullopt, {}};
    try {
      TTable table;
      table.SetDatabaseName(folder);
      table.SetTableName(name);
      table.SetTableType(TTableType::ttParadox);
      table.Open();
      c.records = table.RecordCount();
    } catch (const std::exception& e) {
      c.error = e.what();
    }
    counts.push_back(std::move(c));
  }
  return counts;
}

}  // namespace updatecheck
