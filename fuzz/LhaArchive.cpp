// libFuzzer target: a whole LHA archive, as SETUP.EXE's payload or an archive handed to our
// UNLHA32.DLL. The input is the archive. Every member is listed and unpacked through the
// reader over memory and through the reader over an archive source; members larger than
// kMaxMemberBytes are listed only (unpacking them costs time, not new paths).
// A member unpacked without an error has exactly its original size.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "lha/ArchiveReader.h"
#include "lha/ArchiveSource.h"
#include "lha/LhaError.h"

namespace {

constexpr std::uint64_t kMaxMemberBytes = 1u << 20;
constexpr std::uint64_t kMaxInputBytes = 4u << 20;  // unpacked per input, over all members

void ReadAll(lha::ArchiveReader& reader) {
  std::uint64_t budget = kMaxInputBytes;
  try {
    while (std::optional<lha::MemberHeader> member = reader.Next()) {
      if (member->originalSize > kMaxMemberBytes || member->originalSize > budget) continue;
      budget -= member->originalSize;
      std::uint64_t delivered = 0;
      try {
        reader.Extract(*member, [&](std::span<const std::uint8_t> piece) {
          if (piece.size() > lha::kMaxSinkPiece) std::abort();
          delivered += piece.size();
        });
      } catch (const lha::ELhaError&) {
        continue;
      }
      if (delivered != member->originalSize) std::abort();
    }
  } catch (const lha::ELhaError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> archive(data, size);
  try {
    lha::ArchiveReader inMemory(archive);
    ReadAll(inMemory);
  } catch (const lha::ELhaError&) {
  }
  lha::MemorySource source(archive);
  try {
    lha::ArchiveReader streamed(source);
    ReadAll(streamed);
  } catch (const lha::ELhaError&) {
  }
  return 0;
}
