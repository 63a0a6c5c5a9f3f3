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

// Orders the `count` records of `recordSize` bytes on their first `keySize` bytes and checks
// the order against a plain sort of the keys as unsigned bytes: every position once, in order.
void ExpectByteOrder(const std::string& records, std::uint32_t count, std::size_t recordSize, std::size_t keySize) {
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
    ASSERT_FALSE(seen[order[k]]) << "position " << order[k] << " twice";
    seen[order[k]] = true;
    ASSERT_EQ(std::string(keyAt(order[k]), keySize), want[k]) << "key size " << keySize << ", place " << k;
  }
}

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
      SCOPED_TRACE("round " + std::to_string(round));
      ExpectByteOrder(records, count, recordSize, keySize);
    }
  }
}

// Index keys as they come: a value padded with NULs far past the bytes compared at once, many
// records with the same value told apart only by the primary key at the end, and whole keys
// repeated. Each size puts the point where keys differ before, at and after a multiple of the
// bytes that travel with a position.
TEST(KeyOrder, KeysSharingLongPrefixesAndRepeatedKeysComeInByteOrder) {
  std::mt19937 rng(4096);
  for (std::size_t keySize : {15u, 16u, 17u, 32u, 33u, 38u, 64u, 70u}) {
    const std::uint32_t count = 20000;
    std::string records(count * keySize, '\0');
    const std::vector<std::string> values = {"SUZUKI 1", "SUZUKI 12", "SUZUKI 123", "\x83\x58\x83\x59\x83\x4c", ""};
    for (std::uint32_t i = 0; i < count; ++i) {
      char* key = records.data() + static_cast<std::size_t>(i) * keySize;
      const std::string& v = values[rng() % values.size()];
      std::copy(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(v.size(), keySize)), key);
      // The last bytes: a number from a small range, so that whole keys repeat.
      const std::uint32_t tail = rng() % 3000;
      for (std::size_t b = 0; b < std::min<std::size_t>(3, keySize); ++b)
        key[keySize - 1 - b] = static_cast<char>((tail >> (8 * b)) & 0xFF);
    }
    ExpectByteOrder(records, count, keySize, keySize);
  }
}

}  // namespace
