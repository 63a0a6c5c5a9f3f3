#include "PngFile.h"

#include <fstream>
#include <stdexcept>
#include <vector>

#include "GuiDriver.h"

namespace e2e {

std::string EncodePng(const RgbImage& image) {
  return gui::EncodePng(image.width, image.height, std::vector<unsigned char>(image.rgb.begin(), image.rgb.end()));
}

void WritePng(const std::filesystem::path& path, const RgbImage& image) {
  std::string bytes = EncodePng(image);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace e2e
