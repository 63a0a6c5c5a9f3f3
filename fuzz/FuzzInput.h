#pragma once
// Reading a fuzzer's input as a few length-prefixed parts and little-endian numbers. A length
// beyond what is left takes the rest, so every input splits somehow and mutations of a seed's
// lengths still reach the readers.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

  bool Empty() const { return bytes_.empty(); }
  std::size_t Left() const { return bytes_.size(); }

  // Missing bytes read as zero.
  std::uint8_t TakeU8() {
    if (bytes_.empty()) return 0;
    std::uint8_t v = bytes_[0];
    bytes_ = bytes_.subspan(1);
    return v;
  }
  std::uint32_t TakeU32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(TakeU8()) << (8 * i);
    return v;
  }
  std::uint64_t TakeU64() {
    std::uint64_t low = TakeU32();
    return low | static_cast<std::uint64_t>(TakeU32()) << 32;
  }

  // A u32 length, then that many bytes (or all that is left).
  std::span<const std::uint8_t> TakePart() {
    std::size_t n = TakeU32();
    return TakeBytes(n);
  }
  std::span<const std::uint8_t> TakeBytes(std::size_t n) {
    if (n > bytes_.size()) n = bytes_.size();
    std::span<const std::uint8_t> part = bytes_.first(n);
    bytes_ = bytes_.subspan(n);
    return part;
  }
  std::span<const std::uint8_t> TakeRest() { return TakeBytes(bytes_.size()); }

 private:
  std::span<const std::uint8_t> bytes_;
};

inline std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace fuzz
