#pragma once
// The index commands of the pdx tool.
//   pdx reindex TABLE --out DIR   rebuilds the .PX and every secondary index of TABLE from its
//                                 records and writes them into DIR under their own names
// and the secondary-index part of `pdx check`.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pdx {

// `args` as Run gets them ("reindex", TABLE, "--out", DIR). Returns the exit code.
int RunReindex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The first fault of the table's secondary indexes, or std::nullopt.
std::optional<std::string> CheckIndexes(const std::filesystem::path& dataFile);

}  // namespace pdx
