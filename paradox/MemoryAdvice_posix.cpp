#include "paradox/MemoryAdvice.h"

#include <sys/mman.h>

#include <cstdint>

namespace paradox {

void AdviseLargePages(void* data, std::size_t size) noexcept {
#ifdef MADV_HUGEPAGE
  // Only whole large pages inside the buffer can be backed so.
  constexpr std::uintptr_t kLarge = 2u << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kLarge - 1) & ~(kLarge - 1);
  const std::uintptr_t end = (begin + size) & ~(kLarge - 1);
  if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace paradox
