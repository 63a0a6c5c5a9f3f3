#pragma once
// A captured picture, and writing it as a PNG file through the GUI driver's encoder (8-bit RGB,
// stored deflate blocks: the files are for people to look at, not to be small).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3 bytes, rows top to bottom

  std::uint32_t Pixel(int x, int y) const {  // 0x00RRGGBB
    const std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
};

std::string EncodePng(const RgbImage& image);
void WritePng(const std::filesystem::path& path, const RgbImage& image);

}  // namespace e2e
