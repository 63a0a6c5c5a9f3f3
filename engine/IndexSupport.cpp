#include "engine/IndexSupport.h"

namespace engine {

void BuildSecondaryIndexes(const std::filesystem::path& dataFile, const std::vector<paradox::SecondaryIndexDef>& defs) {
  if (!defs.empty()) paradox::CreateSecondaryIndexes(dataFile, defs);
}

std::unique_ptr<paradox::IndexMaintainer> MaintainSecondaryIndexes(paradox::ParadoxTable& table) {
  if (table.SecondaryIndexFiles().empty()) return nullptr;
  return paradox::SecondaryIndexSet::Attach(table);
}

}  // namespace engine
