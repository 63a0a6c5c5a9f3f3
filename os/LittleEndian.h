#pragma once
// Little-endian integers in byte buffers: the one reader and writer of every binary format here
// (LHA headers, Paradox blocks and headers, PE resources, form data). Unaligned access is fine;
// the pointer may be to char, unsigned char or std::uint8_t. Bounds are the caller's: each
// format checks them once, where it reports its own corruption.

#include <cstddef>
#include <cstdint>

namespace le {

namespace detail {
template <class T>
constexpr T Load(const void* at, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(at);
  T v = 0;
  for (std::size_t i = 0; i < size; ++i) v = static_cast<T>(v | (static_cast<T>(p[i]) << (8 * i)));
  return v;
}
template <class T>
constexpr void Store(void* at, T v, std::size_t size) {
  auto* p = static_cast<unsigned char*>(at);
  for (std::size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
}  // namespace detail

inline std::uint16_t Get16(const void* at) { return detail::Load<std::uint16_t>(at, 2); }
inline std::uint32_t Get32(const void* at) { return detail::Load<std::uint32_t>(at, 4); }
inline std::uint64_t Get64(const void* at) { return detail::Load<std::uint64_t>(at, 8); }

inline void Put16(void* at, std::uint16_t v) { detail::Store(at, v, 2); }
inline void Put32(void* at, std::uint32_t v) { detail::Store(at, v, 4); }
inline void Put64(void* at, std::uint64_t v) { detail::Store(at, v, 8); }

}  // namespace le
