#include "lha/Decoder.h"

#include <algorithm>
#include <array>

#include "lha/LhaError.h"

namespace lha {
namespace {

class BitReader {
 public:
  explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes), totalBits_(bytes.size() * 8ULL) {}

  // The next n (<= 16) bits without consuming them; bits past the end read as zero.
  std::uint32_t Peek(unsigned n) {
    while (bufBits_ < n) {
      buf_ = (buf_ << 8) | (next_ < bytes_.size() ? bytes_[next_] : 0u);
      ++next_;
      bufBits_ += 8;
    }
    return static_cast<std::uint32_t>(buf_ >> (bufBits_ - n)) & ((1u << n) - 1);
  }

  void Skip(unsigned n) {
    bitPos_ += n;
    if (bitPos_ > totalBits_) ThrowLhaError(ErrorKind::Truncated, "compressed data ends early", {}, bytes_.size());
    bufBits_ -= n;
  }

  std::uint32_t Get(unsigned n) {
    if (n == 0) return 0;
    std::uint32_t v = Peek(n);
    Skip(n);
    return v;
  }

  std::uint64_t ByteOffset() const { return bitPos_ >> 3; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint64_t totalBits_;
  std::uint64_t bitPos_ = 0;
  std::uint64_t buf_ = 0;  // holds bufBits_ (< 24) not yet consumed bits in its low end
  unsigned bufBits_ = 0;
  std::size_t next_ = 0;
};

[[noreturn]] void BadCode(const BitReader& in, const std::string& what) {
  ThrowLhaError(ErrorKind::BadHuffmanCode, what, {}, in.ByteOffset());
}

// A canonical Huffman code decoded through a 16-bit lookup table.
class HuffmanTable {
 public:
  void SetSingle(unsigned symbol) {
    single_ = true;
    singleSymbol_ = static_cast<std::uint16_t>(symbol);
  }

  // lengths[i] = code length of symbol i (0 = unused). The code must be complete.
  void Build(const BitReader& in, std::span<const std::uint8_t> lengths) {
    single_ = false;
    std::array<unsigned, kMaxCodeLength + 1> count{};
    for (std::uint8_t l : lengths) {
      if (l > kMaxCodeLength) BadCode(in, "code length over 16");
      ++count[l];
    }
    count[0] = 0;
    std::uint32_t kraft = 0;
    for (unsigned l = 1; l <= kMaxCodeLength; ++l) kraft += count[l] << (kMaxCodeLength - l);
    if (kraft != (1u << kMaxCodeLength)) BadCode(in, "incomplete or oversubscribed Huffman code");
    // The table is indexed by as many bits as the longest code has.
    bits_ = 1;
    for (unsigned l = 1; l <= kMaxCodeLength; ++l)
      if (count[l]) bits_ = l;
    std::array<std::uint32_t, kMaxCodeLength + 2> start{};
    for (unsigned l = 1; l <= bits_; ++l) start[l + 1] = start[l] + (count[l] << (bits_ - l));
    table_.assign(std::size_t{1} << bits_, 0);
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      const unsigned l = lengths[s];
      if (l == 0) continue;
      const std::uint32_t first = start[l];
      const std::uint32_t span = 1u << (bits_ - l);
      start[l] += span;
      const std::uint32_t entry = (static_cast<std::uint32_t>(s) << 5) | l;
      std::fill(table_.begin() + first, table_.begin() + first + span, entry);
    }
  }

  unsigned Decode(BitReader& in) const {
    if (single_) return singleSymbol_;
    const std::uint32_t entry = table_[in.Peek(bits_)];
    in.Skip(entry & 31);
    return entry >> 5;
  }

 private:
  bool single_ = true;
  std::uint16_t singleSymbol_ = 0;
  unsigned bits_ = 1;
  std::vector<std::uint32_t> table_;
};

class LzssDecoder {
 public:
  LzssDecoder(LzssParameters params, std::span<const std::uint8_t> packed)
      : p_(params), in_(packed), window_(std::size_t{1} << params.dictionaryBits, 0x20) {}

  void Run(std::uint64_t originalSize, const ByteSink& sink) {
    const std::size_t mask = window_.size() - 1;
    std::size_t pos = 0;
    std::size_t flushed = 0;
    std::uint64_t remaining = originalSize;
    unsigned blockLeft = 0;
    auto flush = [&](std::size_t upTo) {
      if (upTo > flushed) sink(std::span<const std::uint8_t>(window_.data() + flushed, upTo - flushed));
      flushed = upTo == window_.size() ? 0 : upTo;
    };
    while (remaining > 0) {
      if (blockLeft == 0) {
        blockLeft = in_.Get(16);
        if (blockLeft == 0) BadCode(in_, "empty block");
        ReadTables();
      }
      --blockLeft;
      const unsigned c = symbols_.Decode(in_);
      if (c < kLiteralCodes) {
        window_[pos++] = static_cast<std::uint8_t>(c);
        --remaining;
        if (pos == window_.size()) {
          flush(pos);
          pos = 0;
        }
        continue;
      }
      std::uint64_t length = c - kLiteralCodes + kMinMatch;
      const unsigned pc = positions_.Decode(in_);
      std::size_t distance = pc <= 1 ? pc : (std::size_t{1} << (pc - 1)) + in_.Get(pc - 1);
      std::size_t from = (pos - distance - 1) & mask;
      length = std::min<std::uint64_t>(length, remaining);
      remaining -= length;
      for (std::uint64_t i = 0; i < length; ++i) {
        window_[pos++] = window_[from];
        from = (from + 1) & mask;
        if (pos == window_.size()) {
          flush(pos);
          pos = 0;
        }
      }
    }
    flush(pos);
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

  void ReadTables() {
    ReadLengths(kCodeLengthCodes, 5, 3, lengthCode_);
    const unsigned n = in_.Get(9);
    if (n == 0) {
      const unsigned s = in_.Get(9);
      if (s >= kSymbolCodes) BadCode(in_, "single symbol out of range");
      symbols_.SetSingle(s);
    } else {
      if (n > kSymbolCodes) BadCode(in_, "too many symbol lengths");
      std::array<std::uint8_t, kSymbolCodes> lengths{};
      unsigned i = 0;
      while (i < n) {
        const unsigned c = lengthCode_.Decode(in_);
        if (c <= 2) {
          unsigned zeros = c == 0 ? 1 : c == 1 ? in_.Get(4) + 3 : in_.Get(9) + 20;
          if (i + zeros > n) BadCode(in_, "zero run past the symbol count");
          i += zeros;  // lengths are already zero
        } else {
          lengths[i++] = static_cast<std::uint8_t>(c - 2);
        }
      }
      symbols_.Build(in_, lengths);
    }
    ReadLengths(p_.positionCodes, p_.positionCountBits, -1, positions_);
  }

  LzssParameters p_;
  BitReader in_;
  std::vector<std::uint8_t> window_;
  HuffmanTable lengthCode_;
  HuffmanTable symbols_;
  HuffmanTable positions_;
};

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

void Decode(Method method, std::span<const std::uint8_t> packed, std::uint64_t originalSize, const ByteSink& sink) {
  if (method == Method::Stored) {
    if (packed.size() < originalSize) ThrowLhaError(ErrorKind::Truncated, "stored data shorter than its size", {}, packed.size());
    sink(packed.first(static_cast<std::size_t>(originalSize)));
    return;
  }
  if (method == Method::Directory) return;
  if (method == Method::Unknown) ThrowLhaError(ErrorKind::UnknownMethod, "unsupported method");
  if (originalSize == 0) return;
  LzssDecoder decoder(ParametersOf(method), packed);
  decoder.Run(originalSize, sink);
}

std::vector<std::uint8_t> DecodeToVector(Method method, std::span<const std::uint8_t> packed, std::uint64_t originalSize) {
  std::vector<std::uint8_t> out;
  // Reserve no more than the data could plausibly need: a hostile size must not allocate.
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(originalSize, packed.size() * 8ULL + 4096)));
  Decode(method, packed, originalSize, [&](std::span<const std::uint8_t> piece) { out.insert(out.end(), piece.begin(), piece.end()); });
  return out;
}

}  // namespace lha
