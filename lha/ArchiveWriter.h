#pragma once
// Writes LHA archives with level-2 headers (see lha/Header.h): each member is a header with the
// name, file-time and header-CRC extended headers, then its packed data; a single 0x00 byte
// ends the archive.

#include <cstdint>
#include <string>
#include <vector>

namespace lha {

struct ArchiveEntry {
  std::string name;                // stored bytes (code page 932), no folder part
  std::vector<std::uint8_t> data;
  std::int64_t unixTime = 0;       // modification time, seconds since 1970 UTC
};

struct ArchiveWriterOptions {
  // Store a member as -lh0- when -lh5- would not be smaller (what LHA archivers usually do).
  // Off for the payload archive, whose layout asks for -lh5- throughout.
  bool storeIncompressible = false;
};

class ArchiveWriter {
 public:
  explicit ArchiveWriter(ArchiveWriterOptions options = {}) : options_(options) {}

  void Add(const ArchiveEntry& entry);
  // The archive so far with its end byte.
  std::vector<std::uint8_t> Finish() const;

 private:
  ArchiveWriterOptions options_;
  std::vector<std::uint8_t> bytes_;
};

// The payload archive: every member -lh5-, in the given order.
std::vector<std::uint8_t> WritePayloadArchive(const std::vector<ArchiveEntry>& entries);

}  // namespace lha
