#include "engine/IndexSupport.h"

#include "paradox/ParadoxTable.h"
#include "paradox/SecondaryIndex.h"

namespace engine {

void BuildSecondaryIndexes(const std::filesystem::path& dataFile, const std::vector<SecondaryIndexSpec>& wanted) {
  if (wanted.empty()) return;
  std::vector<paradox::SecondaryIndexDef> defs;
  for (const SecondaryIndexSpec& s : wanted) {
    paradox::SecondaryIndexDef d;
    d.name = s.name;
    d.fields = s.fields;
    d.caseInsensitive = s.caseInsensitive;
    d.descending = s.descending;
    d.unique = s.unique;
    defs.push_back(std::move(d));
  }
  paradox::CreateSecondaryIndexes(dataFile, defs);
}

std::unique_ptr<paradox::IndexMaintainer> MaintainSecondaryIndexes(paradox::ParadoxTable& table) {
  if (table.SecondaryIndexFiles().empty()) return nullptr;
  return paradox::SecondaryIndexSet::Attach(table);
}

}  // namespace engine
