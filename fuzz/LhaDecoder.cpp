// libFuzzer target: the decoders fed raw packed streams.
// | Offset | Size | Meaning                                                             |
// |--------|------|---------------------------------------------------------------------|
// | 0      | 1    | method: low 3 bits 0 -lh0-, 1 -lh4-, 2 -lh5-, 3 -lh6-, 4 -lh7-, 5+ -lh5- |
// | 1      | 4    | original size (the low 20 bits: more costs time, not new paths)        |
// | 5      | ...  | the packed bytes                                                      |
// Unpacking from memory and from an archive source must hand over the same bytes; a stream
// unpacked without an error gives exactly the original size.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "lha/Crc16.h"
#include "lha/Decoder.h"
#include "lha/LhaError.h"

namespace {

constexpr std::uint32_t kSizeMask = (1u << 20) - 1;

lha::Method MethodOf(std::uint8_t selector) {
  switch (selector & 7) {
    case 0: return lha::Method::Stored;
    case 1: return lha::Method::Lh4;
    case 3: return lha::Method::Lh6;
    case 4: return lha::Method::Lh7;
    default: return lha::Method::Lh5;
  }
}

struct Outcome {
  bool failed = false;
  std::uint64_t size = 0;
  std::uint16_t crc = 0;
};

template <class Run>
Outcome Unpack(Run run) {
  Outcome out;
  try {
    run([&](std::span<const std::uint8_t> piece) {
      if (piece.size() > lha::kMaxSinkPiece) std::abort();
      out.size += piece.size();
      out.crc = lha::UpdateCrc16(out.crc, piece);
    });
  } catch (const lha::ELhaError&) {
    out.failed = true;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  const lha::Method method = MethodOf(in.TakeU8());
  const std::uint64_t originalSize = in.TakeU32() & kSizeMask;
  const std::span<const std::uint8_t> packed = in.TakeRest();

  const Outcome fromMemory =
      Unpack([&](const lha::ByteSink& sink) { lha::Decode(method, packed, originalSize, sink); });
  lha::MemorySource source(packed);
  const Outcome fromSource = Unpack(
      [&](const lha::ByteSink& sink) { lha::Decode(method, source, 0, packed.size(), originalSize, sink); });

  if (fromMemory.failed != fromSource.failed) std::abort();
  if (!fromMemory.failed &&
      (fromMemory.size != originalSize || fromSource.size != originalSize || fromMemory.crc != fromSource.crc))
    std::abort();
  return 0;
}
