#include "lha/Decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "lha/LhaError.h"

namespace lha {
namespace {

// Most bits one symbol with its position can take: a 16-bit symbol code, a 16-bit position code
// and 15 extra position bits (-lh7-).
constexpr unsigned kMaxSymbolBits = 47;
// A match copy moves 8 bytes at a time and may write up to 7 bytes past the match.
constexpr std::size_t kCopySlack = 8;

// MSB-first bits of the packed data, pulled from the source a chunk at a time. Past the packed
// size it supplies zero bits so that it can always look ahead; Overrun() tells whether any of
// them were consumed.
class BitReader {
 public:
  BitReader(ArchiveSource& source, std::uint64_t offset, std::uint64_t size)
      : source_(source), offset_(offset), size_(size), chunk_(kInputChunk), next_(chunk_.data()), end_(chunk_.data()) {}

  // Tops the bit buffer up to at least kMaxSymbolBits bits.
  void Refill() {
    if (count_ > kMaxSymbolBits) return;
    if (end_ - next_ >= 8) {
      // Eight bytes at once; bits beyond the counted ones are the stream's next bits, so
      // loading them again later ORs in the same values.
      std::uint64_t v = 0;
      for (int i = 0; i < 8; ++i) v = (v << 8) | next_[i];
      bits_ |= v >> count_;
      const unsigned whole = (63 - count_) >> 3;
      next_ += whole;
      count_ += whole * 8;
      return;
    }
    while (count_ <= 56) {
      if (next_ == end_) LoadChunk();
      bits_ |= static_cast<std::uint64_t>(*next_++) << (56 - count_);
      count_ += 8;
    }
  }

  std::uint32_t Peek(unsigned n) const { return static_cast<std::uint32_t>(bits_ >> (64 - n)); }
  void Skip(unsigned n) {
    bits_ <<= n;
    count_ -= n;
  }
  // n <= 16 bits after a Refill.
  std::uint32_t Take(unsigned n) {
    if (n == 0) return 0;
    const std::uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  std::uint32_t Get(unsigned n) {
    Refill();
    return Take(n);
  }

  // Bytes of the packed data consumed so far (rounded down), for error offsets.
  std::uint64_t ByteOffset() const { return (BitsLoaded() - count_) >> 3; }
  bool Overrun() const { return BitsLoaded() - count_ > size_ * 8; }
  void CheckOverrun() const {
    if (Overrun()) ThrowLhaError(ErrorKind::Truncated, "compressed data ends early", {}, size_);
  }

 private:
  std::uint64_t BitsLoaded() const { return (chunkStart_ + static_cast<std::uint64_t>(next_ - chunk_.data())) * 8; }

  void LoadChunk() {
    chunkStart_ += static_cast<std::uint64_t>(end_ - chunk_.data());
    std::size_t n = 0;
    if (chunkStart_ < size_) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk_.size(), size_ - chunkStart_));
      n = source_.ReadAt(offset_ + chunkStart_, std::span<std::uint8_t>(chunk_.data(), want));
      if (n != want) ThrowLhaError(ErrorKind::Truncated, "packed data runs past the end of the archive", {}, chunkStart_ + n);
    } else {
      // Past the end: a few zero bytes for the look-ahead; the decoder stops on Overrun().
      n = 16;
      std::fill_n(chunk_.begin(), n, 0);
    }
    next_ = chunk_.data();
    end_ = chunk_.data() + n;
  }

  ArchiveSource& source_;
  std::uint64_t offset_;
  std::uint64_t size_;
  std::vector<std::uint8_t> chunk_;
  std::uint64_t chunkStart_ = 0;  // packed-data offset of chunk_[0]
  const std::uint8_t* next_;
  const std::uint8_t* end_;
  std::uint64_t bits_ = 0;  // the next count_ bits, MSB-aligned
  unsigned count_ = 0;
};

// A stream cut short reads as zero bits, which often make an impossible code first.
[[noreturn]] void BadCode(const BitReader& in, const std::string& what) {
  in.CheckOverrun();
  ThrowLhaError(ErrorKind::BadHuffmanCode, what, {}, in.ByteOffset());
}

// A canonical Huffman code. Codes of up to kLookupBits bits decode with one table look-up; the
// rare longer ones walk the canonical code's first codes by length.
class HuffmanTable {
 public:
  static constexpr unsigned kLookupBits = 12;

  // Every bit pattern decodes to `symbol` and costs no bits.
  void SetSingle(unsigned symbol) { lookup_.fill(static_cast<std::uint32_t>(symbol) << kSymbolShift); }

  // lengths[i] = code length of symbol i (0 = unused). The code must be complete.
  void Build(const BitReader& in, std::span<const std::uint8_t> lengths) {
    std::array<unsigned, kMaxCodeLength + 1> count{};
    for (std::uint8_t l : lengths) {
      if (l > kMaxCodeLength) BadCode(in, "code length over 16");
      ++count[l];
    }
    count[0] = 0;
    std::uint32_t kraft = 0;
    for (unsigned l = 1; l <= kMaxCodeLength; ++l) kraft += count[l] << (kMaxCodeLength - l);
    if (kraft != (1u << kMaxCodeLength)) BadCode(in, "incomplete or oversubscribed Huffman code");

    std::array<std::uint32_t, kMaxCodeLength + 1> nextCode{};
    std::array<unsigned, kMaxCodeLength + 1> nextIndex{};
    std::uint32_t code = 0;
    unsigned index = 0;
    for (unsigned l = 1; l <= kMaxCodeLength; ++l) {
      firstCode_[l] = nextCode[l] = code;
      count_[l] = count[l];
      firstIndex_[l] = nextIndex[l] = index;
      code = (code + count[l]) << 1;
      index += count[l];
    }
    lookup_.fill(kLongCode);
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      const unsigned l = lengths[s];
      if (l == 0) continue;
      sorted_[nextIndex[l]++] = static_cast<std::uint16_t>(s);
      const std::uint32_t c = nextCode[l]++;
      if (l > kLookupBits) continue;
      const std::uint32_t first = c << (kLookupBits - l);
      std::fill_n(lookup_.begin() + first, std::size_t{1} << (kLookupBits - l), (static_cast<std::uint32_t>(s) << kSymbolShift) | l);
    }
  }

  // After a Refill.
  unsigned Decode(BitReader& in) const {
    const std::uint32_t entry = lookup_[in.Peek(kLookupBits)];
    if ((entry & kLengthMask) == kLongCode) return DecodeLong(in);
    in.Skip(entry & kLengthMask);
    return entry >> kSymbolShift;
  }

 private:
  static constexpr unsigned kSymbolShift = 5;
  static constexpr std::uint32_t kLengthMask = 31;
  static constexpr std::uint32_t kLongCode = 31;

  unsigned DecodeLong(BitReader& in) const {
    const std::uint32_t bits = in.Peek(kMaxCodeLength);
    for (unsigned l = kLookupBits + 1; l <= kMaxCodeLength; ++l) {
      const std::uint32_t c = (bits >> (kMaxCodeLength - l)) - firstCode_[l];
      if (c < count_[l]) {
        in.Skip(l);
        return sorted_[firstIndex_[l] + c];
      }
    }
    return 0;  // unreachable for a complete code
  }

  std::array<std::uint32_t, std::size_t{1} << kLookupBits> lookup_{};
  std::array<std::uint32_t, kMaxCodeLength + 1> firstCode_{};
  std::array<unsigned, kMaxCodeLength + 1> count_{};
  std::array<unsigned, kMaxCodeLength + 1> firstIndex_{};
  std::array<std::uint16_t, kSymbolCodes> sorted_{};
};

// Copies a match of `length` bytes from `distance` bytes back; the two ranges may overlap.
inline void CopyMatch(std::uint8_t* dst, std::size_t distance, std::size_t length) {
  const std::uint8_t* src = dst - distance;
  if (distance >= 8) {
    // Each 8-byte read lies wholly before the bytes it writes.
    for (std::size_t i = 0; i < length; i += 8) std::memcpy(dst + i, src + i, 8);
  } else if (distance == 1) {
    std::memset(dst, *src, length);
  } else {
    for (std::size_t i = 0; i < length; ++i) dst[i] = src[i];
  }
}

// The sliding window and the output gathered behind it share one buffer:
// | history: the last window's worth of bytes | new output, up to kOutputChunk | slack |
// When the new output fills its part it goes to the sink and the last window's worth of bytes
// moves to the front, so a match never wraps around.
class LzssDecoder {
 public:
  LzssDecoder(LzssParameters params, ArchiveSource& source, std::uint64_t offset, std::uint64_t size)
      : p_(params),
        in_(source, offset, size),
        window_(std::size_t{1} << params.dictionaryBits),
        buffer_(window_ + kOutputChunk + kMaxMatch + kCopySlack, 0x20) {}

  void Run(std::uint64_t originalSize, const ByteSink& sink) {
    std::uint8_t* const out = buffer_.data();
    const std::size_t limit = window_ + kOutputChunk;
    std::size_t pos = window_;
    std::uint64_t remaining = originalSize;
    unsigned blockLeft = 0;
    while (remaining > 0) {
      if (blockLeft == 0) {
        blockLeft = in_.Get(16);
        if (blockLeft == 0) BadCode(in_, "empty block");
        ReadTables();
      }
      --blockLeft;
      in_.Refill();
      const unsigned c = symbols_.Decode(in_);
      if (c < kLiteralCodes) {
        out[pos++] = static_cast<std::uint8_t>(c);
        --remaining;
      } else {
        const unsigned pc = positions_.Decode(in_);
        const std::size_t distance = (pc <= 1 ? pc : (std::size_t{1} << (pc - 1)) + in_.Take(pc - 1)) + 1;
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(c - kLiteralCodes + kMinMatch, remaining));
        CopyMatch(out + pos, distance, length);
        pos += length;
        remaining -= length;
      }
      if (pos >= limit) {
        in_.CheckOverrun();
        sink(std::span<const std::uint8_t>(out + window_, pos - window_));
        std::memmove(out, out + pos - window_, window_);
        pos = window_;
      }
    }
    in_.CheckOverrun();
    if (pos > window_) sink(std::span<const std::uint8_t>(out + window_, pos - window_));
  }

 private:
  // Lengths of the pt or position code: 3 bits each, 7 and more in unary continuation.
  void ReadLengths(unsigned maxCount, unsigned countBits, int specialIndex, HuffmanTable& table) {
    const unsigned n = in_.Get(countBits);
    if (n == 0) {
      const unsigned s = in_.Get(countBits);
      if (s >= maxCount) BadCode(in_, "single code out of range");
      table.SetSingle(s);
      return;
    }
    if (n > maxCount) BadCode(in_, "too many code lengths");
    std::array<std::uint8_t, 32> lengths{};
    unsigned i = 0;
    while (i < n) {
      unsigned l = in_.Get(3);
      if (l == 7) {
        while (in_.Get(1) == 1) {
          if (++l > kMaxCodeLength) BadCode(in_, "code length over 16");
        }
      }
      lengths[i++] = static_cast<std::uint8_t>(l);
      if (static_cast<int>(i) == specialIndex) {
        unsigned zeros = in_.Get(2);
        while (zeros-- > 0 && i < n) lengths[i++] = 0;
      }
    }
    table.Build(in_, std::span<const std::uint8_t>(lengths.data(), maxCount));
  }

  void ReadSymbolLengths() {
    const unsigned n = in_.Get(9);
    if (n == 0) {
      const unsigned s = in_.Get(9);
      if (s >= kSymbolCodes) BadCode(in_, "single symbol out of range");
      symbols_.SetSingle(s);
      return;
    }
    if (n > kSymbolCodes) BadCode(in_, "too many symbol lengths");
    std::array<std::uint8_t, kSymbolCodes> lengths{};
    unsigned i = 0;
    while (i < n) {
      in_.Refill();
      const unsigned c = lengthCode_.Decode(in_);
      if (c <= 2) {
        const unsigned zeros = c == 0 ? 1 : c == 1 ? in_.Take(4) + 3 : in_.Take(9) + 20;
        if (i + zeros > n) BadCode(in_, "zero run past the symbol count");
        i += zeros;  // lengths are already zero
      } else {
        lengths[i++] = static_cast<std::uint8_t>(c - 2);
      }
    }
    symbols_.Build(in_, lengths);
  }

  void ReadTables() {
    ReadLengths(kCodeLengthCodes, 5, 3, lengthCode_);
    ReadSymbolLengths();
    ReadLengths(p_.positionCodes, p_.positionCountBits, -1, positions_);
    in_.CheckOverrun();
  }

  LzssParameters p_;
  BitReader in_;
  std::size_t window_;
  std::vector<std::uint8_t> buffer_;
  HuffmanTable lengthCode_;
  HuffmanTable symbols_;
  HuffmanTable positions_;
};

void DecodeStored(ArchiveSource& source, std::uint64_t offset, std::uint64_t packedSize, std::uint64_t originalSize,
                  const ByteSink& sink) {
  if (packedSize < originalSize) ThrowLhaError(ErrorKind::Truncated, "stored data shorter than its size", {}, packedSize);
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(kOutputChunk, originalSize)));
  for (std::uint64_t done = 0; done < originalSize;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), originalSize - done));
    const std::size_t got = source.ReadAt(offset + done, std::span<std::uint8_t>(chunk.data(), want));
    if (got != want) ThrowLhaError(ErrorKind::Truncated, "stored data runs past the end of the archive", {}, done + got);
    sink(std::span<const std::uint8_t>(chunk.data(), got));
    done += got;
  }
}

}  // namespace

LzssParameters ParametersOf(Method method) {
  switch (method) {
    case Method::Lh4: return {12, 13, 4};
    case Method::Lh5: return {13, 14, 4};
    case Method::Lh6: return {15, 16, 5};
    case Method::Lh7: return {16, 17, 5};
    default: break;
  }
  ThrowLhaError(ErrorKind::UnknownMethod, std::string("method ") + MethodId(method) + " is not an LZSS method");
}

void Decode(Method method, ArchiveSource& source, std::uint64_t dataOffset, std::uint64_t packedSize,
            std::uint64_t originalSize, const ByteSink& sink) {
  if (method == Method::Stored) return DecodeStored(source, dataOffset, packedSize, originalSize, sink);
  if (method == Method::Directory) return;
  if (method == Method::Unknown) ThrowLhaError(ErrorKind::UnknownMethod, "unsupported method");
  if (originalSize == 0) return;
  LzssDecoder decoder(ParametersOf(method), source, dataOffset, packedSize);
  decoder.Run(originalSize, sink);
}

void Decode(Method method, std::span<const std::uint8_t> packed, std::uint64_t originalSize, const ByteSink& sink) {
  MemorySource source(packed);
  Decode(method, source, 0, packed.size(), originalSize, sink);
}

std::vector<std::uint8_t> DecodeToVector(Method method, std::span<const std::uint8_t> packed, std::uint64_t originalSize) {
  std::vector<std::uint8_t> out;
  // Reserve no more than the data could plausibly need: a hostile size must not allocate.
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(originalSize, packed.size() * 8ULL + 4096)));
  Decode(method, packed, originalSize, [&](std::span<const std::uint8_t> piece) { out.insert(out.end(), piece.begin(), piece.end()); });
  return out;
}

}  // namespace lha
