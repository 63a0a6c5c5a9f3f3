#include "PngFile.h"

#include <array>
#include <fstream>
#include <stdexcept>

namespace e2e {
namespace {

constexpr size_t kMaxStoredBlock = 65535;

std::uint32_t Crc32(const std::uint8_t* p, size_t n, std::uint32_t crc = 0) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBigEndian(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v >> 24));
  out.push_back(static_cast<char>(v >> 16));
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v));
}

void PutChunk(std::string& out, const char type[4], const std::string& data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  std::string typed = std::string(type, 4) + data;
  out += typed;
  PutBigEndian(out, Crc32(reinterpret_cast<const std::uint8_t*>(typed.data()), typed.size()));
}

std::string ZlibStored(const std::string& raw) {
  std::string z = "\x78\x01";
  size_t pos = 0;
  do {
    size_t n = std::min(kMaxStoredBlock, raw.size() - pos);
    bool last = pos + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<char>(n & 0xFF));
    z.push_back(static_cast<char>(n >> 8));
    z.push_back(static_cast<char>(~n & 0xFF));
    z.push_back(static_cast<char>((~n >> 8) & 0xFF));
    z.append(raw, pos, n);
    pos += n;
  } while (pos < raw.size());
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(z, (b << 16) | a);
  return z;
}

}  // namespace

std::string EncodePng(const RgbImage& image) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgb.size() != static_cast<size_t>(image.width) * image.height * 3)
    throw std::invalid_argument("EncodePng: picture size and pixel count disagree");
  std::string out = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutBigEndian(ihdr, static_cast<std::uint32_t>(image.width));
  PutBigEndian(ihdr, static_cast<std::uint32_t>(image.height));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  PutChunk(out, "IHDR", ihdr);
  std::string raw;
  size_t rowBytes = static_cast<size_t>(image.width) * 3;
  raw.reserve((rowBytes + 1) * image.height);
  for (int y = 0; y < image.height; ++y) {
    raw.push_back('\0');
    raw.append(reinterpret_cast<const char*>(&image.rgb[y * rowBytes]), rowBytes);
  }
  PutChunk(out, "IDAT", ZlibStored(raw));
  PutChunk(out, "IEND", "");
  return out;
}

void WritePng(const std::filesystem::path& path, const RgbImage& image) {
  std::string bytes = EncodePng(image);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace e2e
