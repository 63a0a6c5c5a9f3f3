#pragma once
// The order of many fixed-size keys that compare as unsigned bytes (index entries, staged
// records). Sorting the records themselves, or positions that compare through them, reaches
// into memory at random for every comparison; here sixteen key bytes travel with each
// position as two numbers, and the sort compares only those. Keys often share far more than
// sixteen leading bytes (names padded with NULs, Shift-JIS names with a common family name,
// one value followed by the primary key): each run of keys that tie on the bytes compared so
// far is sorted again on its next sixteen bytes, fetched once per key and run rather than
// once per comparison.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace paradox {

namespace key_order {

constexpr std::size_t kHeadBytes = 16;

// Up to eight bytes at `p` as a big-endian number, missing bytes as zero: compares as they do.
inline std::uint64_t BigEndianPart(const unsigned char* p, std::size_t available) {
  std::uint64_t v = 0;
  for (std::size_t b = 0; b < 8; ++b) v = (v << 8) | (b < available ? p[b] : 0u);
  return v;
}

inline void Prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

}  // namespace key_order

// The positions 0..count-1 ordered by the `keySize` bytes at keyAt(position). Equal keys come
// in no particular order.
template <typename KeyAt>
std::vector<std::uint32_t> OrderByKey(std::uint32_t count, std::size_t keySize, KeyAt keyAt) {
  using key_order::kHeadBytes;
  constexpr std::size_t kPrefetchAhead = 8;
  struct Item {
    std::uint64_t high, low;  // key bytes [depth, depth + 16) of the run the item is in
    std::uint32_t position;
  };
  struct Run {
    std::size_t begin, end, depth;
  };
  std::vector<Item> items(count);
  for (std::uint32_t i = 0; i < count; ++i) items[i].position = i;
  const auto sameHead = [](const Item& a, const Item& b) { return a.high == b.high && a.low == b.low; };
  const auto headBefore = [](const Item& a, const Item& b) { return a.high != b.high ? a.high < b.high : a.low < b.low; };

  std::vector<Run> runs;
  if (count > 1) runs.push_back({0, count, 0});
  while (!runs.empty()) {
    const Run run = runs.back();
    runs.pop_back();
    const std::size_t available = std::min(keySize - run.depth, kHeadBytes);
    for (std::size_t i = run.begin; i < run.end; ++i) {
      // Past the first run the keys are met in sorted, not stored, order: each read misses the
      // cache, so the reads a few items ahead are started now.
      if (i + kPrefetchAhead < run.end) key_order::Prefetch(keyAt(items[i + kPrefetchAhead].position) + run.depth);
      const auto* key = reinterpret_cast<const unsigned char*>(keyAt(items[i].position)) + run.depth;
      items[i].high = key_order::BigEndianPart(key, std::min<std::size_t>(available, 8));
      items[i].low = available > 8 ? key_order::BigEndianPart(key + 8, available - 8) : 0;
    }
    std::sort(items.begin() + run.begin, items.begin() + run.end, headBefore);
    const std::size_t next = run.depth + kHeadBytes;
    if (next >= keySize) continue;
    for (std::size_t b = run.begin; b < run.end;) {
      std::size_t e = b + 1;
      while (e < run.end && sameHead(items[b], items[e])) ++e;
      if (e - b > 1) runs.push_back({b, e, next});
      b = e;
    }
  }
  std::vector<std::uint32_t> order(count);
  for (std::uint32_t i = 0; i < count; ++i) order[i] = items[i].position;
  return order;
}

}  // namespace paradox
