#include "tools/pdx/PdxIndexCommands.h"

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"
#include "paradox/IndexRebuild.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableFamily.h"
#include "text/Utf8Path.h"

namespace fs = std::filesystem;

namespace pdx {

namespace {

fs::path DataFileOf(const std::string& arg) {
  fs::path p = text::PathFromUtf8(arg);
  std::error_code ec;
  if (fs::is_regular_file(p, ec)) return p;
  fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  if (auto found = paradox::FindDataFile(dir, text::PathToUtf8(p.filename()))) return *found;
  RaiseEngineError(EngineMessage::kTableNotFound, {}, arg);
}

}  // namespace

int RunReindex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 4 || args[2] != "--out") {
    err << "usage: pdx reindex TABLE --out DIR\n";
    return 2;
  }
  try {
    const fs::path data = DataFileOf(args[1]);
    const fs::path dir = text::PathFromUtf8(args[3]);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
      err << "pdx reindex: cannot make the folder " << args[3] << "\n";
      return 1;
    }
    if (fs::equivalent(dir, data.parent_path(), ec)) {
      // The table's own files would be replaced while they are read.
      err << "pdx reindex: the output folder must not be the table's folder\n";
      return 2;
    }
    for (const auto& p : paradox::RebuildIndexes(data, dir)) out << paradox::PathText(p) << "\n";
    return 0;
  } catch (const EDatabaseError& e) {
    err << "pdx reindex: " << e.what() << "\n";
    return 1;
  }
}

std::optional<std::string> CheckIndexes(const fs::path& dataFile) { return paradox::CheckSecondaryIndexes(dataFile); }

}  // namespace pdx
