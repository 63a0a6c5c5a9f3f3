#pragma once
// The 16-bit CRC of the LHA format (CRC-16/ARC): reflected polynomial 0xA001, initial value 0,
// no final inversion. It guards both the member data and the level-2 header.

#include <cstddef>
#include <cstdint>
#include <span>

namespace lha {

// Continues `crc` over `bytes`; start with 0.
std::uint16_t UpdateCrc16(std::uint16_t crc, std::span<const std::uint8_t> bytes);

inline std::uint16_t Crc16(std::span<const std::uint8_t> bytes) { return UpdateCrc16(0, bytes); }

}  // namespace lha
