#include "lha/LhaError.h"

#include "lha/MemberPath.h"

namespace lha {
namespace {

std::string Compose(ErrorKind kind, const std::string& detail, const std::string& member, std::uint64_t offset) {
  std::string s = ErrorKindName(kind);
  s += ": ";
  s += detail;
  if (!member.empty()) s += " (member \"" + ShownPath(member) + "\")";
  s += " at offset " + std::to_string(offset);
  return s;
}

}  // namespace

const char* ErrorKindName(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::NotArchive: return "not an LHA archive";
    case ErrorKind::HeaderBroken: return "broken header";
    case ErrorKind::HeaderCrc: return "header CRC error";
    case ErrorKind::DataCrc: return "CRC error";
    case ErrorKind::Truncated: return "truncated data";
    case ErrorKind::UnknownMethod: return "unknown method";
    case ErrorKind::BadHuffmanCode: return "bad Huffman code";
    case ErrorKind::TooLarge: return "too large";
    case ErrorKind::UnsafeName: return "unsafe name";
    case ErrorKind::Io: return "I/O error";
  }
  return "error";
}

ELhaError::ELhaError(ErrorKind kind, const std::string& detail, std::string member, std::uint64_t offset)
    : std::runtime_error(Compose(kind, detail, member, offset)),
      kind_(kind),
      detail_(detail),
      member_(std::move(member)),
      offset_(offset) {}

void ThrowLhaError(ErrorKind kind, const std::string& detail, const std::string& member, std::uint64_t offset) {
  throw ELhaError(kind, detail, member, offset);
}

}  // namespace lha
