#include "paradox/TableFamily.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <system_error>

#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "text/Ascii.h"
#include "text/Utf8Path.h"

namespace fs = std::filesystem;

namespace paradox {

namespace {

std::string Utf8Name(const fs::path& p) { return text::PathToUtf8(p.filename()); }

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The files of `dir`; a folder that is not there has none, one that cannot be listed raises.
std::vector<fs::path> ListDir(const fs::path& dir) {
  std::vector<fs::path> out;
  for (FolderEntry& e : ListFolder(dir))
    if (e.regularFile) out.push_back(std::move(e.path));
  return out;
}

bool LowerCaseExtension(std::string_view name) {
  auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  for (std::size_t i = dot + 1; i < name.size(); ++i)
    if (std::islower(static_cast<unsigned char>(name[i]))) return true;
  return false;
}

std::string CaseLike(const std::string& ext, bool lower) {
  return lower ? text::AsciiLower(ext) : text::AsciiUpper(ext);
}

}  // namespace

std::optional<FamilyMember> ClassifyFamilyExtension(std::string_view extension) {
  std::string e = text::AsciiUpper(extension);
  if (!e.empty() && e[0] == '.') e.erase(0, 1);
  if (e == "DB") return FamilyMember::kData;
  if (e == "PX") return FamilyMember::kPrimaryIndex;
  if (e == "MB") return FamilyMember::kMemo;
  if (e == "VAL") return FamilyMember::kValidity;
  if (e.size() == 3 && (e[0] == 'X' || e[0] == 'Y')) {
    if (e[1] == 'G' && std::isdigit(static_cast<unsigned char>(e[2]))) return FamilyMember::kSecondaryIndex;
    if (IsHex(e[1]) && IsHex(e[2])) return FamilyMember::kSecondaryIndex;
  }
  static const char* const kOther[] = {"TV", "FAM", "SET", "TVF", "FSL", "RSL", "SSL", "SCR", "PRS", "LCK"};
  for (const char* o : kOther)
    if (e == o) return e == "LCK" ? std::nullopt : std::optional(FamilyMember::kOther);
  return std::nullopt;
}

std::string TableBaseName(std::string_view tableName) {
  std::string n(tableName);
  if (n.size() > 3 && text::AsciiUpper(n.substr(n.size() - 3)) == ".DB") n.resize(n.size() - 3);
  return n;
}

std::optional<fs::path> FindDataFile(const fs::path& dir, std::string_view tableName) {
  std::string want = text::AsciiUpper(TableBaseName(tableName)) + ".DB";
  for (const auto& p : ListDir(dir))
    if (text::AsciiUpper(Utf8Name(p)) == want) return p;
  return std::nullopt;
}

fs::path DataFilePath(const fs::path& dir, std::string_view tableName) {
  if (auto existing = FindDataFile(dir, tableName)) return *existing;
  std::string base = TableBaseName(tableName);
  bool lower = tableName.size() > base.size() && LowerCaseExtension(tableName);
  return dir / text::PathFromUtf8(base + (lower ? ".db" : ".DB"));
}

std::pair<std::string, std::string> SplitName(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {std::string(name), ""};
  return {std::string(name.substr(0, dot)), std::string(name.substr(dot))};
}

std::vector<fs::path> FamilyFilesByBase(const fs::path& dir, std::string_view base) {
  const std::string want = text::AsciiUpper(base);
  std::vector<fs::path> found;
  for (fs::path& p : ListDir(dir)) {
    auto [stem, ext] = SplitName(Utf8Name(p));
    if (text::AsciiUpper(stem) != want || !ClassifyFamilyExtension(ext)) continue;
    found.push_back(std::move(p));
  }
  std::stable_partition(found.begin(), found.end(),
                        [](const fs::path& p) { return ClassifyFamilyExtension(SplitName(Utf8Name(p)).second) == FamilyMember::kData; });
  return found;
}

std::vector<fs::path> FindFamilyFiles(const fs::path& dataFile) {
  const fs::path dir = dataFile.parent_path();
  return FamilyFilesByBase(dir.empty() ? fs::path(".") : dir, SplitName(Utf8Name(dataFile)).first);
}

fs::path FamilyMemberPath(const fs::path& dataFile, std::string_view ext) {
  std::string name = Utf8Name(dataFile);
  auto [base, dataExt] = SplitName(name);
  std::string want = text::AsciiUpper(base + std::string(ext));
  fs::path dir = dataFile.parent_path();
  for (const auto& p : ListDir(dir.empty() ? fs::path(".") : dir))
    if (text::AsciiUpper(Utf8Name(p)) == want) return p;
  return dir / text::PathFromUtf8(base + CaseLike(std::string(ext), LowerCaseExtension(dataExt)));
}

bool TableExists(const fs::path& dir, std::string_view tableName) { return FindDataFile(dir, tableName).has_value(); }

void RemoveFamily(const fs::path& dir, std::string_view tableName) {
  fs::path probe = dir / text::PathFromUtf8(TableBaseName(tableName) + ".DB");
  for (const auto& p : FindFamilyFiles(probe)) RemoveFile(p);
}

void DeleteTable(const fs::path& dir, std::string_view tableName) {
  if (!FindDataFile(dir, tableName))
    RaiseEngineError(EngineMessage::kTableNotFound, {}, PathText(dir / text::PathFromUtf8(TableBaseName(tableName) + ".DB")));
  const std::vector<fs::path> family = FindFamilyFiles(*FindDataFile(dir, tableName));  // data file first
  {
    // Every member must be free to go before one goes: a member held by another program would
    // otherwise stay behind without its table.
    std::vector<std::unique_ptr<BinaryFile>> held;
    for (const auto& p : family) held.push_back(BinaryFile::Open(p, FileAccess::kReadWriteExclusive));
  }
  // The companions first and the data file last: while it is there, so is the table.
  for (auto it = family.rbegin(); it != family.rend(); ++it) RemoveFile(*it);
}

void RenameTable(const fs::path& dir, std::string_view oldName, std::string_view newName) {
  auto data = FindDataFile(dir, oldName);
  if (!data)
    RaiseEngineError(EngineMessage::kTableNotFound, {}, PathText(dir / text::PathFromUtf8(TableBaseName(oldName) + ".DB")));
  std::string newBase = TableBaseName(newName);
  bool sameTable = text::AsciiUpper(newBase) == text::AsciiUpper(TableBaseName(oldName));
  if (!sameTable && FindDataFile(dir, newName))
    RaiseEngineError(EngineMessage::kTableExists, {}, PathText(dir / text::PathFromUtf8(newBase + ".DB")));
  std::vector<std::pair<fs::path, fs::path>> done;
  for (const auto& p : FindFamilyFiles(*data)) {
    fs::path target = p.parent_path() / text::PathFromUtf8(newBase + SplitName(Utf8Name(p)).second);
    try {
      if (!sameTable) RemoveFile(target);  // a stray family file of no table
      ReplaceFileAtomically(p, target);
    } catch (const EDBEngineError&) {
      for (auto it = done.rbegin(); it != done.rend(); ++it) {
        try {
          ReplaceFileAtomically(it->second, it->first);
        } catch (const EDBEngineError&) {
        }
      }
      throw;
    }
    done.emplace_back(p, target);
  }
}

}  // namespace paradox
