#pragma once
// Unpacking of member data: -lh0- (stored) and the static-Huffman LZSS family -lh4- to -lh7-.
//
// -lh4- to -lh7- stream (bits MSB first; no end code, the decoder stops after the original
// size). The sliding window starts filled with spaces (0x20).
// | Method | Window  | Position codes (np) | Bits of the position-table count (pbit) |
// |--------|---------|---------------------|-----------------------------------------|
// | -lh4-  | 4 KiB   | 13                  | 4                                       |
// | -lh5-  | 8 KiB   | 14                  | 4                                       |
// | -lh6-  | 32 KiB  | 16                  | 5                                       |
// | -lh7-  | 64 KiB  | 17                  | 5                                       |
// Each block:
// | Bits      | Meaning                                                                   |
// |-----------|---------------------------------------------------------------------------|
// | 16        | number of symbols in the block (1 to 65,535)                             |
// | 5 + ...   | code-length code ("pt", 19 lengths): count; 0 = 5 more bits give the only |
// |           | symbol. Lengths 0-6 in 3 bits, 7+ as 111 then (length-7) ones and a zero; |
// |           | after the third length a 2-bit count of zero lengths                      |
// | 9 + ...   | symbol code (510 lengths): count; 0 = 9 more bits give the only symbol.   |
// |           | pt symbol 0 = one zero, 1 = 4 bits + 3 zeros, 2 = 9 bits + 20 zeros,      |
// |           | k >= 3 = length k-2                                                       |
// | pbit + ...| position code (np lengths): as the pt code, without the 2-bit zero count  |
// | ...       | symbols: 0-255 literal; 256+(len-3) a match of len 3-256, then a position |
// |           | code c: distance-1 = c for c <= 1, else (1 << (c-1)) + next c-1 bits      |
// Huffman codes are canonical (shorter codes first, then ascending symbol), at most 16 bits
// long, and complete.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "lha/ArchiveSource.h"
#include "lha/Header.h"

namespace lha {

struct LzssParameters {
  unsigned dictionaryBits;  // window = 1 << dictionaryBits
  unsigned positionCodes;   // np
  unsigned positionCountBits;  // pbit
};

// Parameters of Lh4..Lh7; throws ELhaError(UnknownMethod) for the others.
LzssParameters ParametersOf(Method method);

constexpr unsigned kLiteralCodes = 256;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 256;
constexpr unsigned kSymbolCodes = kLiteralCodes + kMaxMatch - kMinMatch + 1;  // 510
constexpr unsigned kCodeLengthCodes = 19;
constexpr unsigned kMaxCodeLength = 16;
constexpr unsigned kMaxBlockSymbols = 65535;

// Receives the unpacked bytes in order, in pieces of at most kMaxSinkPiece bytes.
using ByteSink = std::function<void(std::span<const std::uint8_t>)>;

// What the decoder holds whatever the member's size: the packed bytes are read in pieces of
// kInputChunk, and the output is gathered behind the sliding window in pieces of kOutputChunk.
constexpr std::size_t kInputChunk = 64 * 1024;
constexpr std::size_t kOutputChunk = 128 * 1024;
constexpr std::size_t kMaxSinkPiece = kOutputChunk + kMaxMatch;

// Unpacks the `packedSize` bytes at `dataOffset` of `source` with `method` into exactly
// `originalSize` bytes. Throws ELhaError (Truncated, BadHuffmanCode, UnknownMethod, Io) with
// the offset counted from `dataOffset`; it never reads outside the packed bytes.
void Decode(Method method, ArchiveSource& source, std::uint64_t dataOffset, std::uint64_t packedSize,
            std::uint64_t originalSize, const ByteSink& sink);

// The same for packed bytes in memory.
void Decode(Method method, std::span<const std::uint8_t> packed, std::uint64_t originalSize, const ByteSink& sink);

std::vector<std::uint8_t> DecodeToVector(Method method, std::span<const std::uint8_t> packed, std::uint64_t originalSize);

}  // namespace lha
