#pragma once
// Reads an LHA archive, in memory or from a file: member headers one after another, and each
// member's data unpacked and checked against its CRC-16 as it goes. Unpacking holds a bounded
// amount of memory (see lha/Decoder.h) whatever the sizes of the archive and its members.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "lha/ArchiveSource.h"
#include "lha/Decoder.h"
#include "lha/Header.h"

namespace lha {

// ExtractToVector refuses members larger than this.
constexpr std::uint64_t kMaxInMemoryMember = 1ULL << 30;

// A header larger than this is refused (level-2 headers stop at 64 KiB; only a chain of level-1
// extended headers could grow further).
constexpr std::size_t kMaxHeaderBytes = 1 << 20;

class ArchiveReader {
 public:
  // `archive` must outlive the reader.
  explicit ArchiveReader(std::span<const std::uint8_t> archive);
  // `source` must outlive the reader.
  explicit ArchiveReader(ArchiveSource& source);

  // The next member's header, or std::nullopt after the last one. Throws ELhaError; after a
  // throw the reader does not go on.
  std::optional<MemberHeader> Next();

  // Unpacks `member`, handing the bytes to `sink` in pieces, and checks the CRC (throws DataCrc
  // after the last byte was handed over). Errors carry the member's name and archive offsets.
  void Extract(const MemberHeader& member, const ByteSink& sink) const;
  std::vector<std::uint8_t> ExtractToVector(const MemberHeader& member) const;

 private:
  std::size_t HeaderExtent(std::span<const std::uint8_t> probe) const;

  std::unique_ptr<MemorySource> ownSource_;
  ArchiveSource* source_;
  std::uint64_t offset_ = 0;
  bool done_ = false;
};

// Every header of the archive, in order.
std::vector<MemberHeader> ListMembers(std::span<const std::uint8_t> archive);
std::vector<MemberHeader> ListMembers(ArchiveSource& source);

}  // namespace lha
