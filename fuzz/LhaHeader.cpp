// libFuzzer target: one LHA member header, read at the start of a buffer and, as the streamed
// reader meets it, from a buffer that holds only part of a larger archive.
// | Offset | Size | Meaning                                                 |
// |--------|------|---------------------------------------------------------|
// | 0      | 8    | archive size claimed for the second reading              |
// | 8      | 8    | offset of the header in that archive                      |
// | 16     | ...  | the header's bytes                                        |

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzInput.h"
#include "lha/Header.h"
#include "lha/LhaError.h"

namespace {

void Check(const lha::MemberHeader& h, std::uint64_t offset, std::uint64_t archiveSize) {
  // A header the reader accepts lies inside the archive, and so does its data.
  if (h.headerOffset != offset || h.dataOffset < h.headerOffset || h.dataOffset > archiveSize) std::abort();
  (void)h.ModificationUnixTime();
  (void)lha::MethodId(h.method);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput in(data, size);
  const std::uint64_t claimedSize = in.TakeU64();
  const std::uint64_t offset = in.TakeU64();
  const auto bytes = in.TakeRest();
  try {
    if (auto h = lha::ParseHeader(bytes, 0)) Check(*h, 0, bytes.size());
  } catch (const lha::ELhaError&) {
  }
  // The bytes read from `offset` are all the archive has from there on, or a part of it.
  if (claimedSize < offset || claimedSize - offset < bytes.size()) return 0;
  try {
    if (auto h = lha::ParseHeader(bytes, offset, claimedSize)) Check(*h, offset, claimedSize);
  } catch (const lha::ELhaError&) {
  }
  return 0;
}
