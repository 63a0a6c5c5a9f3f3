#include "tools/pdx/PdxCommands.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "paradox/BinaryFile.h"
#include "paradox/EngineConfig.h"
#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableCheck.h"
#include "paradox/TableFamily.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"
#include "tools/pdx/PdxIndexCommands.h"
#include "tools/pdx/PdxMigrate.h"

namespace fs = std::filesystem;
using namespace paradox;

namespace pdx {

namespace {

fs::path ResolveTable(const std::string& arg) {
  // The directory's own spelling of the name, so that messages name the real file.
  fs::path p = text::PathFromUtf8(arg);
  fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  if (auto found = FindDataFile(dir, text::PathToUtf8(p.filename()))) return *found;
  std::error_code ec;
  if (fs::is_regular_file(p, ec)) return p;
  RaiseEngineError(EngineMessage::kTableNotFound, {}, arg);
}

std::string Decimal(double v) {
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
  }
  char buf[64];
  for (int prec = 1; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  std::string s = buf;
  if (s.find_first_of("eE") != std::string::npos) {
    // Plain decimal, never an exponent.
    std::snprintf(buf, sizeof buf, "%.17f", v);
    s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}

std::string TwoDigits(unsigned v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string DateText(std::int32_t day) {
  CivilDate c = CivilFromDayNumber(day);
  std::string y = std::to_string(c.year < 0 ? -c.year : c.year);
  while (y.size() < 4) y = "0" + y;
  return (c.year < 0 ? "-" : "") + y + "-" + TwoDigits(c.month) + "-" + TwoDigits(c.day);
}

std::string TimeText(std::int64_t ms) {
  std::int64_t s = ms / 1000, frac = ms % 1000;
  std::string t = TwoDigits(static_cast<unsigned>(s / 3600)) + ":" + TwoDigits(static_cast<unsigned>(s / 60 % 60)) + ":" +
                  TwoDigits(static_cast<unsigned>(s % 60));
  if (frac) {
    std::string f = std::to_string(frac);
    while (f.size() < 3) f = "0" + f;
    t += "." + f;
  }
  return t;
}

std::string ValueText(const Record& r, std::size_t f, unsigned codePage) {
  if (r.IsNull(f)) return "";
  switch (r.Schema().Field(f).type) {
    case FieldType::kAlpha: return text::ToUtf8(r.GetAlpha(f), codePage);
    case FieldType::kShort:
    case FieldType::kLong:
    case FieldType::kAutoIncrement: return std::to_string(*r.GetInteger(f));
    case FieldType::kDate: return DateText(*r.GetDate(f));
    case FieldType::kNumber:
    case FieldType::kMoney: return Decimal(*r.GetNumber(f));
    case FieldType::kLogical: return *r.GetLogical(f) ? "true" : "false";
    case FieldType::kTime: {
      std::int32_t ms = *r.GetTime(f);
      if (ms < 0) return std::to_string(ms);  // not a time of day; shown as the raw count
      return TimeText(ms);
    }
    case FieldType::kTimestamp: {
      // Milliseconds counted so that day 1 (0001-01-01) starts at 86400000.
      auto total = static_cast<std::int64_t>(std::floor(*r.GetTimestamp(f)));
      std::int64_t day = total >= 0 ? total / 86400000 : -((-total + 86399999) / 86400000);
      return DateText(static_cast<std::int32_t>(day)) + " " + TimeText(total - day * 86400000);
    }
    case FieldType::kBcd: return r.GetBcd(f).value_or("");
    case FieldType::kMemo:
    case FieldType::kFormattedMemo: return text::ToUtf8(r.GetBlob(f), codePage);
    case FieldType::kBinary:
    case FieldType::kOle:
    case FieldType::kGraphic: return std::to_string(r.GetBlob(f).size());
    case FieldType::kBytes: return std::to_string(r.Raw(f).size());
  }
  return "";
}

// What an .X file defines: its fields as the table names and numbers them, each followed by the
// name and number its header records where those differ (an index kept through a restructure).
std::string SecondaryIndexText(const fs::path& xPath, const TableSchema& s, unsigned cp) {
  try {
    const SecondaryIndexFile f = ReadSecondaryIndexFile(xPath, s);
    const IndexRecordLayout l = MakeIndexRecordLayout(s, f.def);
    std::string text = f.def.name.empty() ? "" : " \"" + text::ToUtf8(f.def.name, cp) + "\"";
    if (f.def.caseInsensitive) text += " case-insensitive";
    text += " on";
    const std::size_t carried = s.KeyFieldCount() > 0 ? l.keyFields : l.indexFields;
    for (std::size_t i = 0; i < carried && i < f.storedFields.size(); ++i) {
      const StoredIndexField& stored = f.storedFields[i];
      const bool own = i < l.indexFields;
      text += i == 0 ? " " : i == l.indexFields ? ", carrying key " : "; ";
      text += text::ToUtf8(l.fields[i].name, cp);
      if (own) text += " (field " + std::to_string(l.fieldNumbers[i]) + ")";
      const bool renamed = l.fields[i].name != stored.name;
      const bool renumbered = own && l.fieldNumbers[i] != stored.number;
      if (renamed || renumbered) {
        text += " [stored as";
        if (renamed) text += " " + text::ToUtf8(stored.name, cp);
        if (renumbered) text += std::string(renamed ? "," : "") + " field " + std::to_string(stored.number);
        text += "]";
      }
    }
    return text;
  } catch (const EDatabaseError& e) {
    return std::string(" (unreadable: ") + e.what() + ")";
  }
}

int Info(const fs::path& path, std::ostream& out) {
  auto t = ParadoxTable::Open(path, OpenMode::kShared);
  const FileHeader& h = t->Header();
  const TableSchema& s = t->Schema();
  const unsigned cp = t->Driver().codePage;
  out << "File: " << PathText(path) << "\n";
  out << "Stored name: " << text::ToUtf8(t->StoredName(), cp) << "\n";
  out << "File type: " << unsigned(h.fileType) << (h.fileType == paradox::format::kFileKeyedDb ? " (keyed)" : " (unkeyed)") << "\n";
  out << "Level: " << unsigned(h.level) << "\n";
  out << "Record size: " << h.recordSize << "\n";
  out << "Header size: " << h.headerSize << "\n";
  out << "Block size: " << unsigned(h.blockSizeKiB) * 1024 << "\n";
  out << "Records: " << t->RecordCount() << "\n";
  out << "Blocks: " << h.blocksInUse << " in use, " << h.fileBlocks << " in the file, first " << h.firstBlock << ", last "
      << h.lastBlock << ", first free " << h.firstFreeBlock << "\n";
  out << "Change counter: " << h.changeCount << "\n";
  out << "Autoincrement: " << h.autoIncrement << "\n";
  out << "Language driver: " << t->Driver().sortOrderName << " (sort order 0x" << std::hex << unsigned(t->Driver().sortOrder)
      << std::dec << ", code page " << cp << ")\n";
  out << "Fields: " << s.FieldCount() << "\n";
  for (std::size_t i = 0; i < s.FieldCount(); ++i) {
    const FieldDef& f = s.Field(i);
    out << "  " << i + 1 << " " << text::ToUtf8(f.name, cp) << " " << FieldTypeName(f.type);
    if (f.type == FieldType::kAlpha || f.type == FieldType::kBytes) out << "(" << unsigned(f.size) << ")";
    if (IsBlobType(f.type)) out << "(" << unsigned(f.size) - 10 << ")";
    if (f.type == FieldType::kBcd) out << "(" << unsigned(f.size) << " decimals)";
    if (i < s.KeyFieldCount()) out << " key";
    out << "\n";
  }
  out << "Indexes:\n";
  if (s.KeyFieldCount() > 0) {
    out << "  primary (" << PathText(FamilyMemberPath(path, ".PX").filename()) << "):";
    for (unsigned i = 0; i < s.KeyFieldCount(); ++i) out << (i ? "; " : " ") << text::ToUtf8(s.Field(i).name, cp);
    out << "\n";
  }
  for (const auto& x : t->SecondaryIndexFiles()) {
    out << "  secondary: " << PathText(x.filename());
    const std::string ext = x.extension().string();
    if (ext.size() > 1 && (ext[1] == 'X' || ext[1] == 'x')) out << SecondaryIndexText(x, s, cp);
    out << "\n";
  }
  if (s.KeyFieldCount() == 0 && t->SecondaryIndexFiles().empty()) out << "  (none)\n";
  return 0;
}

int Dump(const fs::path& path, std::ostream& out) {
  auto t = ParadoxTable::Open(path, OpenMode::kShared);
  const TableSchema& s = t->Schema();
  const unsigned cp = t->Driver().codePage;
  for (std::size_t i = 0; i < s.FieldCount(); ++i) out << (i ? "," : "") << CsvField(text::ToUtf8(s.Field(i).name, cp));
  out << "\r\n";
  t->ForEachRecord([&](const Record& r) {
    for (std::size_t i = 0; i < s.FieldCount(); ++i) out << (i ? "," : "") << CsvField(ValueText(r, i, cp));
    out << "\r\n";
    return true;
  });
  return 0;
}

int Check(const fs::path& path, std::ostream& out, std::ostream& err) {
  if (auto fault = CheckTable(path)) {
    err << "pdx check: " << *fault << "\n";
    return 1;
  }
  if (auto fault = CheckIndexes(path)) {
    err << "pdx check: " << *fault << "\n";
    return 1;
  }
  out << PathText(path) << ": OK\n";
  return 0;
}

// The engine configuration's aliases listed, or one standard alias set (the file is made when
// it does not exist yet). Paths are stored in the engine's code page, as its own tool does.
int RunAlias(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2 && args.size() != 4) {
    err << "usage: pdx alias CONFIG [NAME PATH]\n";
    return 2;
  }
  const fs::path file = text::PathFromUtf8(args[1]);
  try {
    std::error_code ec;
    paradox::EngineConfig config = fs::exists(file, ec) ? paradox::EngineConfig::Load(file) : paradox::EngineConfig();
    if (args.size() == 2) {
      for (const std::string& name : config.AliasNames()) {
        auto params = config.AliasParams(name);
        out << text::ToUtf8(name) << ": " << (params && !params->empty() ? text::ToUtf8(params->front()) : "") << "\n";
      }
      return 0;
    }
    const std::optional<std::string> path = text::FromUtf8(args[3]);
    if (!path) {
      err << "pdx alias: the path cannot be written in code page 932\n";
      return 1;
    }
    config.SetStandardAlias(args[2], *path);
    config.Save(file);
    return 0;
  } catch (const EDatabaseError& e) {
    err << "pdx alias: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace

std::string CsvField(const std::string& v) {
  if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
  std::string q = "\"";
  for (char c : v) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "reindex") return RunReindex(args, out, err);
  if (!args.empty() && args[0] == "alias") return RunAlias(args, out, err);
  if (!args.empty() && args[0] == "migrate") return RunMigrate(args, out, err);
  if (args.size() != 2 || (args[0] != "info" && args[0] != "dump" && args[0] != "check")) {
    err << "usage: pdx info|dump|check TABLE\n       pdx reindex TABLE --out DIR\n"
           "       pdx migrate --live DIR --demo DIR\n       pdx alias CONFIG [NAME PATH]\n";
    return 2;
  }
  try {
    fs::path path = ResolveTable(args[1]);
    if (args[0] == "info") return Info(path, out);
    if (args[0] == "dump") return Dump(path, out);
    return Check(path, out, err);
  } catch (const EDatabaseError& e) {
    err << "pdx " << args[0] << ": " << e.what() << "\n";
    return 1;
  }
}

}  // namespace pdx
