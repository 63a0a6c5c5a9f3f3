#pragma once
// The order of many fixed-size keys that compare as unsigned bytes (index entries, staged
// records). Sorting the records themselves, or positions that compare through them, reaches
// into memory at random for every comparison; here each key's first eight bytes travel with
// its position as one number, so most comparisons touch neither, and only keys that share
// those bytes are compared in full.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace paradox {

// The positions 0..count-1 ordered by the `keySize` bytes at keyAt(position). Equal keys come
// in no particular order.
template <typename KeyAt>
std::vector<std::uint32_t> OrderByKey(std::uint32_t count, std::size_t keySize, KeyAt keyAt) {
  struct Item {
    std::uint64_t head;  // the first eight key bytes, big-endian: compares as the bytes do
    std::uint32_t position;
  };
  const std::size_t headSize = std::min<std::size_t>(keySize, 8);
  std::vector<Item> items(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto* key = reinterpret_cast<const unsigned char*>(keyAt(i));
    std::uint64_t head = 0;
    for (std::size_t b = 0; b < 8; ++b) head = (head << 8) | (b < headSize ? key[b] : 0u);
    items[i] = {head, i};
  }
  std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
    if (a.head != b.head) return a.head < b.head;
    if (keySize <= 8) return false;
    return std::memcmp(keyAt(a.position) + 8, keyAt(b.position) + 8, keySize - 8) < 0;
  });
  std::vector<std::uint32_t> order(count);
  for (std::uint32_t i = 0; i < count; ++i) order[i] = items[i].position;
  return order;
}

}  // namespace paradox
