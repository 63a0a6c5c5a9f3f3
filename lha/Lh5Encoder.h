#pragma once
// The -lh5- encoder: LZSS over an 8 KiB window with hash chains and lazy matching, then static
// Huffman blocks whose boundaries follow the data (a block is split where separate code tables
// cost less than one shared table). The same encoder serves -lh4-, -lh6- and -lh7- with their
// windows. The stream format is described in lha/Decoder.h.

#include <cstdint>
#include <span>
#include <vector>

#include "lha/Header.h"

namespace lha {

struct Lh5EncoderOptions {
  unsigned maxChain = 256;  // hash-chain steps per position; more finds longer matches, slower
};

std::vector<std::uint8_t> EncodeLh5(std::span<const std::uint8_t> input, const Lh5EncoderOptions& options = {});

// The same encoder with the window and position codes of -lh4-, -lh6- or -lh7-.
std::vector<std::uint8_t> EncodeLzss(Method method, std::span<const std::uint8_t> input,
                                     const Lh5EncoderOptions& options = {});

}  // namespace lha
