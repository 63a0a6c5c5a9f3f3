// The order of fixed-size keys as unsigned bytes, checked against a plain sort of the keys:
// keys shorter than, as long as and longer than the eight bytes compared first, keys that
// share long prefixes, bytes above 0x7F (which a signed comparison would put first).

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "paradox/KeyOrder.h"

namespace {

TEST(KeyOrder, AgreesWithASortOfTheKeysAsUnsignedBytes) {
  std::mt19937 rng(1201);
  for (std::size_t keySize : {1u, 3u, 8u, 9u, 17u, 40u}) {
    for (int round = 0; round < 20; ++round) {
      const std::uint32_t count = 1 + rng() % 3000;
      // Records of keySize + 5 bytes; the bytes after the key must not matter.
      const std::size_t recordSize = keySize + 5;
      std::string records(count * recordSize, '\0');
      const std::size_t shared = rng() % (keySize + 1);  // a prefix most keys have in common
      for (std::uint32_t i = 0; i < count; ++i)
        for (std::size_t b = 0; b < recordSize; ++b)
          records[i * recordSize + b] = static_cast<char>(b < shared && rng() % 8 ? 0xA5 : rng() % 4 ? rng() % 256 : 0x80);
      const auto keyAt = [&](std::uint32_t i) { return records.data() + static_cast<std::size_t>(i) * recordSize; };
      const std::vector<std::uint32_t> order = paradox::OrderByKey(count, keySize, keyAt);

      std::vector<std::string> want;
      for (std::uint32_t i = 0; i < count; ++i) want.emplace_back(keyAt(i), keySize);
      std::sort(want.begin(), want.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
      });
      ASSERT_EQ(order.size(), count);
      std::vector<bool> seen(count, false);
      for (std::uint32_t k = 0; k < count; ++k) {
        ASSERT_LT(order[k], count);
        EXPECT_FALSE(seen[order[k]]) << "position " << order[k] << " twice";
        seen[order[k]] = true;
        ASSERT_EQ(std::string(keyAt(order[k]), keySize), want[k]) << "key size " << keySize << ", place " << k;
      }
    }
  }
}

}  // namespace
