#include "lha/Lh5Encoder.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "lha/Decoder.h"

namespace lha {
namespace {

constexpr unsigned kMaxPositionCodes = 17;  // -lh7-
constexpr unsigned kHashBits = 15;
// A 3-byte match this far back costs more bits than three literals.
constexpr std::size_t kTooFarForThree = 4096;

struct Token {
  std::uint16_t symbol;    // 0-255 literal, 256.. match of length symbol - 253
  std::uint16_t distance;  // distance - 1, for matches
};

unsigned PositionCode(unsigned d) {
  unsigned p = 0;
  while (d) {
    ++p;
    d >>= 1;
  }
  return p;
}

class MatchFinder {
 public:
  MatchFinder(std::span<const std::uint8_t> data, unsigned maxChain, unsigned dictionaryBits)
      : data_(data),
        maxChain_(maxChain),
        mask_((std::size_t{1} << dictionaryBits) - 1),
        // A distance of the whole window would reach the slot being written; stay one short.
        maxDistance_(mask_),
        head_(std::size_t{1} << kHashBits, -1),
        prev_(mask_ + 1, -1) {}

  void Insert(std::size_t i) {
    if (i + 3 > data_.size()) return;
    const std::uint32_t h = Hash(i);
    prev_[i & mask_] = head_[h];
    head_[h] = static_cast<std::int32_t>(i);
  }

  // Longest match at i among earlier positions (i itself not yet inserted).
  unsigned Longest(std::size_t i, unsigned& distance) const {
    if (i + kMinMatch > data_.size()) return 0;
    const std::size_t maxLen = std::min<std::size_t>(kMaxMatch, data_.size() - i);
    const std::uint8_t* cur = data_.data() + i;
    unsigned best = 0;
    std::int32_t cand = head_[Hash(i)];
    unsigned steps = maxChain_;
    while (cand >= 0 && steps-- > 0) {
      const std::size_t c = static_cast<std::size_t>(cand);
      if (c >= i || i - c > maxDistance_) break;
      const std::uint8_t* p = data_.data() + c;
      if (p[best] == cur[best] && p[0] == cur[0] && p[1] == cur[1]) {
        unsigned len = 2;
        while (len < maxLen && p[len] == cur[len]) ++len;
        if (len > best) {
          best = len;
          distance = static_cast<unsigned>(i - c);
          if (len == maxLen) break;
        }
      }
      const std::int32_t next = prev_[c & mask_];
      if (next >= cand) break;
      cand = next;
    }
    if (best == kMinMatch && distance > kTooFarForThree) best = 0;
    return best >= kMinMatch ? best : 0;
  }

 private:
  std::uint32_t Hash(std::size_t i) const {
    const std::uint32_t v = data_[i] | (data_[i + 1] << 8) | (data_[i + 2] << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  std::span<const std::uint8_t> data_;
  unsigned maxChain_;
  std::size_t mask_;
  std::size_t maxDistance_;
  std::vector<std::int32_t> head_;
  std::vector<std::int32_t> prev_;
};

std::vector<Token> Tokenise(std::span<const std::uint8_t> data, unsigned maxChain, unsigned dictionaryBits) {
  std::vector<Token> tokens;
  tokens.reserve(data.size() / 2 + 16);
  MatchFinder mf(data, maxChain, dictionaryBits);
  std::size_t i = 0;
  unsigned len = 0, dist = 0;
  bool haveCurrent = false;
  while (i < data.size()) {
    if (!haveCurrent) len = mf.Longest(i, dist);
    haveCurrent = false;
    if (len >= kMinMatch && len < kMaxMatch && i + 1 < data.size()) {
      // Lazy matching: a longer match one byte later wins over this one.
      mf.Insert(i);
      unsigned dist2 = 0;
      const unsigned len2 = mf.Longest(i + 1, dist2);
      if (len2 > len) {
        tokens.push_back({data[i], 0});
        ++i;
        len = len2;
        dist = dist2;
        haveCurrent = true;
        continue;
      }
      tokens.push_back({static_cast<std::uint16_t>(kLiteralCodes + len - kMinMatch), static_cast<std::uint16_t>(dist - 1)});
      for (std::size_t k = 1; k < len; ++k) mf.Insert(i + k);
      i += len;
      continue;
    }
    mf.Insert(i);
    if (len >= kMinMatch) {
      tokens.push_back({static_cast<std::uint16_t>(kLiteralCodes + len - kMinMatch), static_cast<std::uint16_t>(dist - 1)});
      for (std::size_t k = 1; k < len; ++k) mf.Insert(i + k);
      i += len;
    } else {
      tokens.push_back({data[i], 0});
      ++i;
    }
  }
  return tokens;
}

// Code lengths of a Huffman code for `freq`, at most `limit` bits. Unused symbols get 0. With
// fewer than two used symbols the result has at most one non-zero entry (length 0 or 1); the
// caller writes such tables in their one-symbol form.
std::vector<std::uint8_t> CodeLengths(std::span<const std::uint32_t> freq, unsigned limit) {
  const std::size_t n = freq.size();
  std::vector<std::uint8_t> lengths(n, 0);
  std::vector<unsigned> used;
  for (std::size_t s = 0; s < n; ++s)
    if (freq[s]) used.push_back(static_cast<unsigned>(s));
  if (used.size() < 2) return lengths;
  // Huffman tree by the two-queue method: leaves sorted by weight, internal nodes created in
  // non-decreasing order of weight, so the two lightest are always at the queue fronts.
  std::vector<unsigned> order = used;
  std::stable_sort(order.begin(), order.end(), [&](unsigned x, unsigned y) { return freq[x] < freq[y]; });
  const std::size_t leaves = order.size();
  std::vector<std::uint64_t> weight(2 * leaves - 1);
  std::vector<std::size_t> parent(2 * leaves - 1, 0);
  for (std::size_t k = 0; k < leaves; ++k) weight[k] = freq[order[k]];
  std::size_t nextLeaf = 0, nextInner = leaves, created = leaves;
  auto takeLightest = [&]() {
    if (nextLeaf < leaves && (nextInner >= created || weight[nextLeaf] <= weight[nextInner])) return nextLeaf++;
    return nextInner++;
  };
  while (created < 2 * leaves - 1) {
    const std::size_t x = takeLightest();
    const std::size_t y = takeLightest();
    weight[created] = weight[x] + weight[y];
    parent[x] = parent[y] = created;
    ++created;
  }
  std::vector<unsigned> depth(2 * leaves - 1, 0);
  for (std::size_t k = 2 * leaves - 1; k-- > 0;)
    if (k != 2 * leaves - 2) depth[k] = depth[parent[k]] + 1;
  std::vector<unsigned> count(64, 0);
  for (std::size_t k = 0; k < leaves; ++k) ++count[std::min<unsigned>(depth[k], 63)];
  // Move leaves above the limit up, keeping the code complete (the JPEG procedure).
  for (unsigned l = 63; l > limit; --l) {
    while (count[l] > 0) {
      unsigned j = l - 2;
      while (count[j] == 0) --j;
      count[l] -= 2;
      count[l - 1] += 1;
      count[j + 1] += 2;
      count[j] -= 1;
    }
  }
  // Most frequent symbols (the end of `order`) get the shortest codes.
  std::size_t k = leaves;
  for (unsigned l = 1; l <= limit; ++l)
    for (unsigned c = 0; c < count[l]; ++c) lengths[order[--k]] = static_cast<std::uint8_t>(l);
  return lengths;
}

// Canonical codes: shorter first, then ascending symbol.
std::vector<std::uint16_t> CanonicalCodes(std::span<const std::uint8_t> lengths) {
  std::array<std::uint32_t, kMaxCodeLength + 2> count{}, next{};
  for (std::uint8_t l : lengths) ++count[l];
  count[0] = 0;
  std::uint32_t code = 0;
  for (unsigned l = 1; l <= kMaxCodeLength; ++l) {
    code = (code + count[l - 1]) << 1;
    next[l] = code;
  }
  std::vector<std::uint16_t> codes(lengths.size(), 0);
  for (std::size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = static_cast<std::uint16_t>(next[lengths[s]]++);
  return codes;
}

class BitWriter {
 public:
  explicit BitWriter(bool countOnly) : countOnly_(countOnly) {}

  void Put(unsigned n, std::uint32_t value) {
    bits_ += n;
    if (countOnly_) return;
    acc_ = (acc_ << n) | (value & ((1u << n) - 1));
    accBits_ += n;
    while (accBits_ >= 8) {
      accBits_ -= 8;
      out_.push_back(static_cast<std::uint8_t>(acc_ >> accBits_));
    }
  }

  std::vector<std::uint8_t> Finish() {
    if (accBits_) out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - accBits_)));
    accBits_ = 0;
    return std::move(out_);
  }

  // Counts bits without writing them (count-only writers).
  void Skip(std::uint64_t n) { bits_ += n; }

  std::uint64_t Bits() const { return bits_; }

 private:
  bool countOnly_;
  std::uint64_t bits_ = 0;
  std::vector<std::uint8_t> out_;
  std::uint64_t acc_ = 0;  // fewer than 8 bits are left in it between calls
  unsigned accBits_ = 0;
};

int UsedCount(std::span<const std::uint32_t> freq, unsigned& only) {
  int used = 0;
  for (std::size_t s = 0; s < freq.size(); ++s)
    if (freq[s]) {
      ++used;
      only = static_cast<unsigned>(s);
    }
  return used;
}

// A length table in the 3-bit/unary form (pt and position tables).
void PutLengths(BitWriter& w, std::span<const std::uint8_t> lengths, unsigned countBits, int special) {
  std::size_t n = lengths.size();
  while (n > 0 && lengths[n - 1] == 0) --n;
  w.Put(countBits, static_cast<std::uint32_t>(n));
  std::size_t i = 0;
  while (i < n) {
    const unsigned l = lengths[i++];
    if (l <= 6) {
      w.Put(3, l);
    } else {
      w.Put(3, 7);
      w.Put(l - 6, (1u << (l - 6)) - 2);  // (l-7) ones and a zero
    }
    if (static_cast<int>(i) == special) {
      unsigned zeros = 0;
      while (zeros < 3 && i + zeros < n && lengths[i + zeros] == 0) ++zeros;
      w.Put(2, zeros);
      i += zeros;
    }
  }
}

// Calls emit(ptSymbol, extraBits, extraValue) for the pt-coded form of the symbol lengths.
template <typename Emit>
void ForEachLengthCode(std::span<const std::uint8_t> cLen, Emit emit) {
  std::size_t n = cLen.size();
  while (n > 0 && cLen[n - 1] == 0) --n;
  std::size_t i = 0;
  while (i < n) {
    if (cLen[i] != 0) {
      emit(cLen[i] + 2u, 0u, 0u);
      ++i;
      continue;
    }
    std::size_t run = 0;
    while (i + run < n && cLen[i + run] == 0) ++run;
    i += run;
    if (run <= 2) {
      for (std::size_t k = 0; k < run; ++k) emit(0u, 0u, 0u);
    } else if (run <= 18) {
      emit(1u, 4u, static_cast<unsigned>(run - 3));
    } else if (run == 19) {
      emit(0u, 0u, 0u);
      emit(1u, 4u, 15u);
    } else {
      emit(2u, 9u, static_cast<unsigned>(run - 20));
    }
  }
}

struct Frequencies {
  std::array<std::uint32_t, kSymbolCodes> c{};
  std::array<std::uint32_t, kMaxPositionCodes> p{};

  explicit Frequencies(std::span<const Token> tokens) {
    for (const Token& t : tokens) {
      ++c[t.symbol];
      if (t.symbol >= kLiteralCodes) ++p[PositionCode(t.distance)];
    }
  }
  Frequencies& operator+=(const Frequencies& o) {
    for (std::size_t i = 0; i < c.size(); ++i) c[i] += o.c[i];
    for (std::size_t i = 0; i < p.size(); ++i) p[i] += o.p[i];
    return *this;
  }
};

// The symbol table's lengths, themselves coded with a code-length ("pt") code.
void PutSymbolLengths(BitWriter& w, std::span<const std::uint8_t> cLen) {
  std::array<std::uint32_t, kCodeLengthCodes> tFreq{};
  ForEachLengthCode(cLen, [&](unsigned s, unsigned, unsigned) { ++tFreq[s]; });
  unsigned tOnly = 0;
  if (UsedCount(tFreq, tOnly) <= 1) tFreq[tOnly == 0 ? 1 : 0] = 1;
  const std::vector<std::uint8_t> tLen = CodeLengths(tFreq, kMaxCodeLength);
  const std::vector<std::uint16_t> tCode = CanonicalCodes(tLen);
  PutLengths(w, tLen, 5, 3);
  std::size_t n = cLen.size();
  while (n > 0 && cLen[n - 1] == 0) --n;
  w.Put(9, static_cast<std::uint32_t>(n));
  ForEachLengthCode(cLen, [&](unsigned s, unsigned extraBits, unsigned extra) {
    w.Put(tLen[s], tCode[s]);
    if (extraBits) w.Put(extraBits, extra);
  });
}

// Writes one block with the symbol counts `f`: the code tables, then the symbols of `tokens`
// (which must be the tokens counted in `f`). Without tokens only the size is accounted for,
// which the block splitter uses to compare layouts.
// `last` marks the stream's final block.
void WriteBlock(BitWriter& w, const LzssParameters& params, const Frequencies& f, std::span<const Token> tokens,
                bool withSymbols, bool last = false) {
  std::array<std::uint32_t, kSymbolCodes> cFreq = f.c;
  const std::span<const std::uint32_t> pFreq = std::span(f.p).first(params.positionCodes);
  std::uint32_t count = 0;
  for (std::uint32_t v : cFreq) count += v;
  // A block of one match length only (a long run) takes the one-symbol form of the symbol
  // table, in which each symbol costs no bits, as other LHA archivers write it and every
  // decoder here reads it. Blocks of one literal keep the two-code form below: bsdtar rejects
  // those in the one-symbol form. So does the last block: bsdtar gives up on a stream whose
  // final symbols take no bits at all.
  unsigned cOnly = 0;
  const int cUsed = UsedCount(cFreq, cOnly);
  const bool singleMatch = !last && cUsed == 1 && cOnly >= kLiteralCodes;
  std::vector<std::uint8_t> cLen(kSymbolCodes, 0);
  w.Put(16, count);
  if (singleMatch) {
    w.Put(5, 0);
    w.Put(5, 0);
    w.Put(9, 0);
    w.Put(9, cOnly);
  } else {
    // A second, unused symbol makes the one-literal case an ordinary two-code table at a cost
    // of one bit per symbol; it is placed so that the code-length table also gets two codes.
    if (cUsed <= 1) cFreq[cOnly >= 2 ? 0 : cOnly + 2] = 1;
    cLen = CodeLengths(cFreq, kMaxCodeLength);
    PutSymbolLengths(w, cLen);
  }
  const std::vector<std::uint8_t> pLen = CodeLengths(pFreq, kMaxCodeLength);
  unsigned pOnly = 0;
  if (UsedCount(pFreq, pOnly) <= 1) {
    w.Put(params.positionCountBits, 0);
    w.Put(params.positionCountBits, pOnly);
  } else {
    PutLengths(w, pLen, params.positionCountBits, -1);
  }
  if (!withSymbols) {
    std::uint64_t bits = 0;
    for (std::size_t s = 0; s < f.c.size(); ++s) bits += std::uint64_t{f.c[s]} * cLen[s];
    for (std::size_t q = 0; q < pFreq.size(); ++q) bits += std::uint64_t{pFreq[q]} * (pLen[q] + (q > 1 ? q - 1 : 0));
    w.Skip(bits);
    return;
  }
  const std::vector<std::uint16_t> cCode = CanonicalCodes(cLen);
  const std::vector<std::uint16_t> pCode = CanonicalCodes(pLen);
  for (const Token& t : tokens) {
    w.Put(cLen[t.symbol], cCode[t.symbol]);
    if (t.symbol >= kLiteralCodes) {
      const unsigned q = PositionCode(t.distance);
      w.Put(pLen[q], pCode[q]);
      if (q > 1) w.Put(q - 1, t.distance - (1u << (q - 1)));
    }
  }
}

std::uint64_t BlockBits(const LzssParameters& params, const Frequencies& f) {
  BitWriter counter(true);
  WriteBlock(counter, params, f, {}, false);
  return counter.Bits();
}

// Splits the token stream into blocks: pieces of a fixed size are merged with the block before
// them while one shared code table is cheaper than two.
std::vector<std::span<const Token>> SplitBlocks(const LzssParameters& params, std::span<const Token> tokens) {
  constexpr std::size_t kPiece = 2048;
  std::vector<std::span<const Token>> blocks;
  std::size_t start = 0;
  std::size_t end = std::min(tokens.size(), kPiece);
  Frequencies current(tokens.subspan(start, end - start));
  std::uint64_t currentBits = BlockBits(params, current);
  while (end < tokens.size()) {
    const std::size_t pieceEnd = std::min(tokens.size(), end + kPiece);
    const Frequencies piece(tokens.subspan(end, pieceEnd - end));
    const std::uint64_t pieceBits = BlockBits(params, piece);
    const bool fits = pieceEnd - start <= kMaxBlockSymbols;
    Frequencies merged = current;
    merged += piece;
    const std::uint64_t mergedBits = fits ? BlockBits(params, merged) : 0;
    if (fits && mergedBits <= currentBits + pieceBits) {
      current = merged;
      currentBits = mergedBits;
    } else {
      blocks.push_back(tokens.subspan(start, end - start));
      start = end;
      current = piece;
      currentBits = pieceBits;
    }
    end = pieceEnd;
  }
  if (end > start) blocks.push_back(tokens.subspan(start, end - start));
  return blocks;
}

}  // namespace

std::vector<std::uint8_t> EncodeLzss(Method method, std::span<const std::uint8_t> input, const Lh5EncoderOptions& options) {
  const LzssParameters params = ParametersOf(method);
  if (input.empty()) return {};
  const std::vector<Token> tokens = Tokenise(input, std::max(1u, options.maxChain), params.dictionaryBits);
  BitWriter w(false);
  const auto blocks = SplitBlocks(params, tokens);
  for (std::size_t i = 0; i < blocks.size(); ++i)
    WriteBlock(w, params, Frequencies(blocks[i]), blocks[i], true, i + 1 == blocks.size());
  return w.Finish();
}

std::vector<std::uint8_t> EncodeLh5(std::span<const std::uint8_t> input, const Lh5EncoderOptions& options) {
  return EncodeLzss(Method::Lh5, input, options);
}

}  // namespace lha
