#pragma once
// Writes a picture as a PNG file: 8-bit RGB, no interlace, deflate with stored blocks only
// (the files are for people to look at, not to be small).
//
// File layout: the 8-byte signature 89 50 4E 47 0D 0A 1A 0A, then chunks of
//   offset 0  size 4  length of the data, big-endian
//          4       4  type ("IHDR", "IDAT", "IEND")
//          8       n  data
//        8+n       4  CRC-32 of type and data, big-endian
// IHDR data: width 4, height 4, bit depth 1 (8), colour type 1 (2 = RGB), compression 1 (0),
// filter 1 (0), interlace 1 (0). IDAT holds a zlib stream of the rows, each row prefixed by
// its filter byte (0 = none).

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
