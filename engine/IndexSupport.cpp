#include "engine/IndexSupport.h"

#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"

#if __has_include("paradox/SecondaryIndex.h")
#include "paradox/SecondaryIndex.h"
#define NORVEX_HAVE_SECONDARY_INDEXES 1
#else
#define NORVEX_HAVE_SECONDARY_INDEXES 0
#endif

namespace engine {

#if NORVEX_HAVE_SECONDARY_INDEXES

void RequireSecondaryIndexSupport(const std::vector<SecondaryIndexSpec>&) {}

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

#else

void RequireSecondaryIndexSupport(const std::vector<SecondaryIndexSpec>& wanted) {
  if (!wanted.empty())
    throw EDBEngineError(EngineErrorCode::kNotSupported,
                         "Secondary indexes cannot be created by this engine: " + wanted.front().name);
}

void BuildSecondaryIndexes(const std::filesystem::path&, const std::vector<SecondaryIndexSpec>& wanted) {
  RequireSecondaryIndexSupport(wanted);
}

// Without a maintainer the engine itself refuses to write a table that has index files.
std::unique_ptr<paradox::IndexMaintainer> MaintainSecondaryIndexes(paradox::ParadoxTable&) { return nullptr; }

#endif

}  // namespace engine
