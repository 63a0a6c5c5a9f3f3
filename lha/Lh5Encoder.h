#pragma once
// The -lh5- encoder: LZSS over an 8 KiB window with hash chains and lazy matching, then static
// Huffman blocks whose boundaries follow the data (a block is split where separate code tables
// cost less than one shared table). The stream format is described in lha/Decoder.h.

#include <cstdint>
#include <span>
#include <vector>

namespace lha {

struct Lh5EncoderOptions {
  unsigned maxChain = 256;  // hash-chain steps per position; more finds longer matches, slower
};

std::vector<std::uint8_t> EncodeLh5(std::span<const std::uint8_t> input, const Lh5EncoderOptions& options = {});

}  // namespace lha
