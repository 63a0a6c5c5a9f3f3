// The one little-endian reader and writer: byte order, unaligned places, and the top bit kept
// (a sign or a high bit lost in a promotion would misread sizes above 2 GiB and Paradox's
// negative block links).
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "os/LittleEndian.h"

namespace {

TEST(LittleEndian, ReadsLowByteFirstAtAnyPlaceAndWritesWhatItReads) {
  const std::array<unsigned char, 11> bytes{0xEE, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88, 0xFF, 0xFF};
  EXPECT_EQ(le::Get16(bytes.data() + 1), 0x0201u);
  EXPECT_EQ(le::Get32(bytes.data() + 1), 0x04030201u);
  EXPECT_EQ(le::Get64(bytes.data() + 1), 0x8807060504030201ull);
  EXPECT_EQ(le::Get16(bytes.data() + 9), 0xFFFFu);
  EXPECT_EQ(le::Get32(bytes.data() + 7), 0xFFFF8807u);

  std::array<char, 11> out{};
  le::Put16(out.data() + 1, 0x0201);
  le::Put32(out.data() + 3, 0x06050403u);
  le::Put32(out.data() + 7, 0xFFFF8807u);
  EXPECT_EQ(le::Get64(out.data() + 1), 0x8807060504030201ull);
  EXPECT_EQ(le::Get16(out.data() + 9), 0xFFFFu);
  EXPECT_EQ(out[0], 0);

  std::array<std::uint8_t, 8> wide{};
  le::Put64(wide.data(), 0xF123456789ABCDEFull);
  EXPECT_EQ(wide[0], 0xEF);
  EXPECT_EQ(wide[7], 0xF1);
  EXPECT_EQ(le::Get64(wide.data()), 0xF123456789ABCDEFull);
}

}  // namespace
