#include "engine/FieldDefs.h"

std::vector<std::string> TIndexDef::FieldNames() const {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= fields.size()) {
    std::size_t cut = fields.find(';', start);
    if (cut == std::string::npos) cut = fields.size();
    std::string name = fields.substr(start, cut - start);
    std::size_t first = name.find_first_not_of(" \t");
    std::size_t last = name.find_last_not_of(" \t");
    if (first != std::string::npos) names.push_back(name.substr(first, last - first + 1));
    start = cut + 1;
  }
  return names;
}
