// libFuzzer entry: lists and unpacks whatever it is given. Any crash, hang or sanitizer report
// is a fault; ELhaError is the expected outcome for most inputs.

#include <cstddef>
#include <cstdint>

#include "lha/ArchiveReader.h"
#include "lha/LhaError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    lha::ArchiveReader reader(std::span<const std::uint8_t>(data, size));
    while (auto m = reader.Next()) {
      try {
        if (m->originalSize <= (16u << 20)) reader.Extract(*m, [](std::span<const std::uint8_t>) {});
      } catch (const lha::ELhaError&) {
      }
    }
  } catch (const lha::ELhaError&) {
  }
  return 0;
}
