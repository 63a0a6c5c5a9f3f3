#pragma once
// The one exception class of the LHA layer. It records what went wrong and where: the member
// (stored name, as far as it was read) and the byte offset in the archive.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace lha {

enum class ErrorKind {
  NotArchive,     // the bytes do not start like an LHA archive
  HeaderBroken,   // a header field is inconsistent or runs past the archive
  HeaderCrc,      // the header's CRC or checksum does not match
  DataCrc,        // the unpacked data does not match its CRC-16
  Truncated,      // the packed data ends early
  UnknownMethod,  // a method this library does not unpack
  BadHuffmanCode, // the compressed stream holds an impossible code table or code
  TooLarge,       // a size beyond what this library handles
  UnsafeName,     // a stored name that would leave the destination folder or name a device
  Io,             // a file could not be read or written
};

const char* ErrorKindName(ErrorKind kind);

class ELhaError : public std::runtime_error {
 public:
  ELhaError(ErrorKind kind, const std::string& detail, std::string member, std::uint64_t offset);

  ErrorKind Kind() const { return kind_; }
  const std::string& Detail() const { return detail_; }
  // Stored name of the member concerned; empty when not known (e.g. the header itself is bad).
  const std::string& Member() const { return member_; }
  std::uint64_t Offset() const { return offset_; }

 private:
  ErrorKind kind_;
  std::string detail_;
  std::string member_;
  std::uint64_t offset_;
};

// The one place errors of this layer are raised.
[[noreturn]] void ThrowLhaError(ErrorKind kind, const std::string& detail, const std::string& member = {},
                                std::uint64_t offset = 0);

}  // namespace lha
