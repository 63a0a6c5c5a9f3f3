#pragma once
// Secondary indexes for the table layer: building the index files of a new table and keeping
// the indexes of an open table up to date while it is written. An index the engine cannot
// build fails with EDBEngineError rather than leave a table without the indexes it was
// defined with.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace paradox {
class IndexMaintainer;
class ParadoxTable;
}  // namespace paradox

namespace engine {

// One secondary index as TIndexDefs define it, fields resolved to table positions.
struct SecondaryIndexSpec {
  std::string name;
  std::vector<std::size_t> fields;  // 0-based table positions, in index order
  bool caseInsensitive = false;
  bool descending = false;
  bool unique = false;
};

// Writes the (empty) index files of the newly created, empty table at `dataFile`.
void BuildSecondaryIndexes(const std::filesystem::path& dataFile, const std::vector<SecondaryIndexSpec>& wanted);

// A maintainer attached to `table` when it has secondary index files, else nullptr. It must
// live until the table is closed.
std::unique_ptr<paradox::IndexMaintainer> MaintainSecondaryIndexes(paradox::ParadoxTable& table);

}  // namespace engine
