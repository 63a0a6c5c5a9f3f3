#pragma once
// Test data of different kinds, generated so that the tests need no stored files.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace lha_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>(rng());
  return b;
}

// Text with a skewed word distribution, line breaks and some numbers, like a settings file or
// a readme.
inline Bytes TextBytes(std::size_t n, std::uint32_t seed) {
  static const char* const kWords[] = {"the", "update", "customer", "motorcycle", "table", "field", "index",
                                       "record", "version", "setting", "=", "[Section]", "Path", "C:\\Tovo",
                                       "of", "and", "to", "is", "data", "file", "\xE9\xA1\xA7\xE5\xAE\xA2"};
  std::mt19937 rng(seed);
  std::geometric_distribution<int> pick(0.18);
  Bytes b;
  b.reserve(n + 32);
  while (b.size() < n) {
    const int w = std::min<int>(pick(rng), static_cast<int>(std::size(kWords)) - 1);
    const std::string word = kWords[w];
    b.insert(b.end(), word.begin(), word.end());
    const unsigned r = rng() % 16;
    if (r == 0) {
      const std::string num = std::to_string(rng() % 100000);
      b.push_back(' ');
      b.insert(b.end(), num.begin(), num.end());
    }
    b.push_back(r < 2 ? '\r' : ' ');
    if (r < 2) b.push_back('\n');
  }
  b.resize(n);
  return b;
}

// Fixed-size records with counters and repeated fields, like table data.
inline Bytes RecordBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  b.reserve(n + 64);
  std::uint32_t id = 1000;
  while (b.size() < n) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    const char* names[] = {"YAMAHA  ", "HONDA   ", "SUZUKI  ", "KAWASAKI"};
    const std::string name = names[rng() % 4];
    b.insert(b.end(), name.begin(), name.end());
    for (int i = 0; i < 20; ++i) b.push_back(static_cast<std::uint8_t>(i < 6 ? rng() % 10 + '0' : 0));
    ++id;
  }
  b.resize(n);
  return b;
}

inline Bytes RunBytes(std::size_t n, std::uint8_t value) { return Bytes(n, value); }

// A system program, as a sample of executable code; empty when absent.
inline Bytes SystemBinary(const char* path, std::size_t maxBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() > maxBytes) b.resize(maxBytes);
  return b;
}

struct Sample {
  std::string name;
  Bytes data;
};

// The round-trip corpus: empty and tiny files, window-boundary sizes, text, records, random
// (incompressible) data, long runs, executables, and one large mixed file.
inline std::vector<Sample> Corpus(bool withLarge) {
  std::vector<Sample> c;
  c.push_back({"empty.dat", {}});
  c.push_back({"one.dat", {0x41}});
  c.push_back({"two.dat", {0x00, 0xFF}});
  c.push_back({"three.dat", {0x20, 0x20, 0x20}});
  c.push_back({"spaces.dat", RunBytes(5000, 0x20)});
  c.push_back({"zeros.dat", RunBytes(70000, 0)});
  c.push_back({"w8191.txt", TextBytes(8191, 1)});
  c.push_back({"w8192.txt", TextBytes(8192, 2)});
  c.push_back({"w8193.txt", TextBytes(8193, 3)});
  c.push_back({"readme.txt", TextBytes(200000, 4)});
  c.push_back({"records.db", RecordBytes(300000, 5)});
  c.push_back({"random.bin", RandomBytes(100000, 6)});
  Bytes mixed = TextBytes(30000, 7);
  Bytes rnd = RandomBytes(30000, 8);
  mixed.insert(mixed.end(), rnd.begin(), rnd.end());
  Bytes rec = RecordBytes(30000, 9);
  mixed.insert(mixed.end(), rec.begin(), rec.end());
  c.push_back({"mixed.bin", mixed});
  for (const char* exe : {"/usr/bin/ls", "/usr/bin/bash"}) {
    Bytes b = SystemBinary(exe, 1 << 20);
    if (!b.empty()) c.push_back({std::filesystem::path(exe).filename().string() + ".exe", b});
  }
  if (withLarge) {
    // 16 MiB in 256 KiB pieces: mostly random, with text and records between, so that the
    // encoder stays quick under the sanitizers while blocks of every kind follow one another.
    Bytes big;
    big.reserve(16u << 20);
    std::uint32_t seed = 100;
    while (big.size() < (16u << 20)) {
      const std::size_t n = 1 << 18;
      Bytes piece = seed % 8 == 0 ? TextBytes(n, seed) : seed % 8 == 4 ? RecordBytes(n, seed) : RandomBytes(n, seed);
      big.insert(big.end(), piece.begin(), piece.end());
      ++seed;
    }
    big.resize(16u << 20);
    c.push_back({"large.bin", big});
  }
  return c;
}

}  // namespace lha_test
