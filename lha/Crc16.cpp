#include "lha/Crc16.h"

#include <array>

namespace lha {
namespace {

constexpr unsigned kSlices = 16;
using Tables = std::array<std::array<std::uint16_t, 256>, kSlices>;

// tables[0] is the classic one-byte table; tables[k][b] is the CRC of byte b followed by k zero
// bytes, so sixteen input bytes fold into the CRC with sixteen independent look-ups instead of
// a chain of sixteen dependent ones.
constexpr Tables MakeTables() {
  Tables t{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t r = static_cast<std::uint16_t>(i);
    for (int k = 0; k < 8; ++k) r = (r & 1) ? static_cast<std::uint16_t>((r >> 1) ^ 0xA001) : static_cast<std::uint16_t>(r >> 1);
    t[0][i] = r;
  }
  for (unsigned k = 1; k < kSlices; ++k)
    for (unsigned i = 0; i < 256; ++i)
      t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

std::uint16_t UpdateCrc16(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  std::uint32_t c = crc;
  for (; n >= kSlices; n -= kSlices, p += kSlices) {
    c ^= static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
    c = kTables[15][c & 0xFF] ^ kTables[14][c >> 8];
    for (unsigned i = 2; i < kSlices; ++i) c ^= kTables[kSlices - 1 - i][p[i]];
  }
  for (; n > 0; --n, ++p) c = (c >> 8) ^ kTables[0][(c ^ *p) & 0xFF];
  return static_cast<std::uint16_t>(c);
}

}  // namespace lha
