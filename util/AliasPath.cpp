#include "util/AliasPath.h"

#include <stdexcept>
#include <vector>

#include "engine/Session.h"

void GetAliasPath(const std::string& alias, std::string& path) {
  path = "False";
  std::vector<std::string> params;  // freed on every path by its destructor
  Session().GetAliasParams(alias, params);
  if (params.empty()) throw std::out_of_range("List index out of bounds (0)");
  const std::string& first = params.front();
  std::size_t eq = first.find('=');
  path = eq == std::string::npos ? first : first.substr(eq + 1);
}
