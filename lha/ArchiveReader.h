#pragma once
// Reads an LHA archive held in memory: member headers one after another, and each member's
// data unpacked and checked against its CRC-16.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "lha/Decoder.h"
#include "lha/Header.h"

namespace lha {

// Members larger than this are refused when unpacked into memory.
constexpr std::uint64_t kMaxInMemoryMember = 1ULL << 30;

class ArchiveReader {
 public:
  // `archive` must outlive the reader.
  explicit ArchiveReader(std::span<const std::uint8_t> archive);

  // The next member's header, or std::nullopt after the last one. Throws ELhaError; after a
  // throw the reader does not go on.
  std::optional<MemberHeader> Next();

  // Unpacks `member`, handing the bytes to `sink`, and checks the CRC (throws DataCrc after the
  // last byte was handed over). Errors carry the member's name and archive offsets.
  void Extract(const MemberHeader& member, const ByteSink& sink) const;
  std::vector<std::uint8_t> ExtractToVector(const MemberHeader& member) const;

  std::span<const std::uint8_t> PackedData(const MemberHeader& member) const;

 private:
  std::span<const std::uint8_t> archive_;
  std::uint64_t offset_ = 0;
  bool done_ = false;
};

// Every header of the archive, in order.
std::vector<MemberHeader> ListMembers(std::span<const std::uint8_t> archive);

}  // namespace lha
