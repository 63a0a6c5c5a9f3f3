#include <system_error>

#include "paradox/EngineConfig.h"

namespace paradox {

std::optional<std::filesystem::path> RegisteredEngineConfigFile() { return std::nullopt; }

std::filesystem::path ProgramFolder() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec);
  return self.parent_path();
}

std::filesystem::path LocateEngineConfigFile() { return ProgramFolder() / "IDAPI.CFG"; }

}  // namespace paradox
