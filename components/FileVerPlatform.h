#pragma once
// The three operations TVersionInfo needs of the platform, answered by the portable PE reader
// (FileVerPlatform.cpp) with the results the platform's version.dll gives. Paths are UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace filever {

// Size in bytes of `path`'s version information; 0 when there is none or the file cannot be
// read. `handle` receives the value to hand on to ReadVersionInfo.
std::uint32_t VersionInfoSize(const std::string& path, std::uint32_t& handle);

// Reads the version information into `block` (`size` bytes).
bool ReadVersionInfo(const std::string& path, std::uint32_t handle, std::uint32_t size, char* block);

// Position of the root fixed-information record in `block`, when the block has one of the
// record's full size.
std::optional<std::size_t> RootRecord(const char* block, std::size_t size);

}  // namespace filever
