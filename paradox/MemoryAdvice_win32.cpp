#include "paradox/MemoryAdvice.h"

namespace paradox {

// Large pages need a privilege that an installer does not hold.
void AdviseLargePages(void*, std::size_t) noexcept {}

}  // namespace paradox
