#pragma once
// Telling the system how a large buffer will be used.

#include <cstddef>

namespace paradox {

// Memory about to be filled front to back, megabytes of it: backed by large pages where the
// system offers them on request (Linux), so that filling it costs one page fault per 2 MiB
// rather than one per 4 KiB; virtual machines make each fault dear. Nothing elsewhere, and
// nothing when the system declines.
void AdviseLargePages(void* data, std::size_t size) noexcept;

}  // namespace paradox
