#pragma once
// Secondary indexes for the table layer: building the index files of a new table and keeping
// the indexes of an open table up to date while it is written.

#include <filesystem>
#include <memory>
#include <vector>

#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"

namespace engine {

// Writes the (empty) index files of the newly created, empty table at `dataFile`.
void BuildSecondaryIndexes(const std::filesystem::path& dataFile, const std::vector<paradox::SecondaryIndexDef>& defs);

// A maintainer attached to `table` when it has secondary index files, else nullptr. It must
// live until the table is closed.
std::unique_ptr<paradox::IndexMaintainer> MaintainSecondaryIndexes(paradox::ParadoxTable& table);

}  // namespace engine
