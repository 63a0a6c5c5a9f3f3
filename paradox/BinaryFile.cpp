#include "paradox/BinaryFile.h"

namespace paradox {

std::string PathText(const std::filesystem::path& p) {
  auto u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

}  // namespace paradox
