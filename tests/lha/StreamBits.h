#pragma once
// Hand-built -lh5- streams for decoder tests.

#include <cstdint>
#include <vector>

namespace lha_test {

// Builds compressed streams bit by bit, MSB first.
struct Bits {
  std::vector<std::uint8_t> out;
  unsigned n = 0;

  void Put(unsigned count, std::uint32_t v) {
    for (int i = static_cast<int>(count) - 1; i >= 0; --i) {
      if (n % 8 == 0) out.push_back(0);
      if ((v >> i) & 1) out.back() |= static_cast<std::uint8_t>(0x80 >> (n % 8));
      ++n;
    }
  }

  // A block whose three tables are all in the one-symbol form: every symbol costs 0 bits.
  void SingleSymbolBlock(unsigned symbols, unsigned symbol, unsigned position) {
    Put(16, symbols);
    Put(5, 0);
    Put(5, 0);
    Put(9, 0);
    Put(9, symbol);
    Put(4, 0);
    Put(4, position);
  }
};

inline std::vector<std::uint8_t> SingleSymbolBlock(unsigned symbols, unsigned symbol, unsigned position) {
  Bits b;
  b.SingleSymbolBlock(symbols, symbol, position);
  return b.out;
}

}  // namespace lha_test
