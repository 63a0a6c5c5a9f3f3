#pragma once
// Consistency check of a table family: the data file, its memo file and its primary index
// against each other (what `pdx check` reports).
//   data file: header, block chain, record count, key order of a keyed table, no duplicates;
//   memo file: every blob pointer of every record lands on a used block of the right kind and
//     length;
//   primary index: present for a keyed table, one entry per data block in chain order holding
//     that block's first key and record count.

#include <filesystem>
#include <optional>
#include <string>

namespace paradox {

// The first fault found, or std::nullopt when the family is sound. Opens the table shared.
std::optional<std::string> CheckTable(const std::filesystem::path& dataFile);

}  // namespace paradox
