#include "lha/ArchiveReader.h"

#include "lha/Crc16.h"
#include "lha/LhaError.h"

namespace lha {

ArchiveReader::ArchiveReader(std::span<const std::uint8_t> archive) : archive_(archive) {
  if (archive_.empty()) ThrowLhaError(ErrorKind::NotArchive, "empty file");
}

std::optional<MemberHeader> ArchiveReader::Next() {
  if (done_) return std::nullopt;
  done_ = true;
  std::optional<MemberHeader> h = ParseHeader(archive_, offset_);
  if (!h) {
    if (offset_ == 0) ThrowLhaError(ErrorKind::NotArchive, "no member header", {}, 0);
    return std::nullopt;
  }
  offset_ = h->dataOffset + h->packedSize;
  done_ = false;
  return h;
}

std::span<const std::uint8_t> ArchiveReader::PackedData(const MemberHeader& m) const {
  if (m.dataOffset > archive_.size() || m.packedSize > archive_.size() - m.dataOffset)
    ThrowLhaError(ErrorKind::Truncated, "packed data runs past the end of the archive", m.path, m.dataOffset);
  return archive_.subspan(static_cast<std::size_t>(m.dataOffset), static_cast<std::size_t>(m.packedSize));
}

void ArchiveReader::Extract(const MemberHeader& m, const ByteSink& sink) const {
  if (m.method == Method::Unknown)
    ThrowLhaError(ErrorKind::UnknownMethod, "method " + m.methodId + " is not supported", m.path, m.headerOffset);
  if (m.method == Method::Directory) return;
  std::span<const std::uint8_t> packed = PackedData(m);
  std::uint16_t crc = 0;
  std::uint64_t produced = 0;
  try {
    Decode(m.method, packed, m.originalSize, [&](std::span<const std::uint8_t> piece) {
      crc = UpdateCrc16(crc, piece);
      produced += piece.size();
      sink(piece);
    });
  } catch (const ELhaError& e) {
    if (!e.Member().empty()) throw;
    ThrowLhaError(e.Kind(), e.Detail(), m.path, m.dataOffset + e.Offset());
  }
  if (produced != m.originalSize) ThrowLhaError(ErrorKind::Truncated, "data shorter than its size", m.path, m.dataOffset);
  if (m.hasDataCrc && crc != m.dataCrc) ThrowLhaError(ErrorKind::DataCrc, "data CRC mismatch", m.path, m.dataOffset);
}

std::vector<std::uint8_t> ArchiveReader::ExtractToVector(const MemberHeader& m) const {
  if (m.originalSize > kMaxInMemoryMember) ThrowLhaError(ErrorKind::TooLarge, "member too large to unpack in memory", m.path, m.headerOffset);
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(m.originalSize, m.packedSize * 8 + 4096)));
  Extract(m, [&](std::span<const std::uint8_t> piece) { out.insert(out.end(), piece.begin(), piece.end()); });
  return out;
}

std::vector<MemberHeader> ListMembers(std::span<const std::uint8_t> archive) {
  ArchiveReader reader(archive);
  std::vector<MemberHeader> members;
  while (std::optional<MemberHeader> h = reader.Next()) members.push_back(std::move(*h));
  return members;
}

}  // namespace lha
