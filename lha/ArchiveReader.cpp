#include "lha/ArchiveReader.h"

#include "lha/Crc16.h"
#include "lha/LhaError.h"
#include "os/LittleEndian.h"

namespace lha {
namespace {

// Enough for every header of a usual archive in one read.
constexpr std::size_t kHeaderProbe = 4096;

using le::Get16;

}  // namespace

ArchiveReader::ArchiveReader(std::span<const std::uint8_t> archive)
    : ownSource_(std::make_unique<MemorySource>(archive)), source_(ownSource_.get()) {
  if (archive.empty()) ThrowLhaError(ErrorKind::NotArchive, "empty file");
}

ArchiveReader::ArchiveReader(ArchiveSource& source) : source_(&source) {
  if (source.Size() == 0) ThrowLhaError(ErrorKind::NotArchive, "empty file");
}

// How many bytes from the probe's start the header needs, as far as its size fields tell;
// ParseHeader checks them all.
std::size_t ArchiveReader::HeaderExtent(std::span<const std::uint8_t> probe) const {
  if (probe.size() < 22) return probe.size();
  const int level = probe[level2::kLevel];
  // Two bytes more than stated, for the OS-9 writer that leaves them out (see Header.h).
  if (level == 2) return Get16(probe.data() + level2::kHeaderSize) + kOs9UncountedTerminator;
  const std::size_t base = static_cast<std::size_t>(probe[level0::kHeaderSize]) + 2;
  if (level != 1 || base > probe.size()) return base;
  // Level-1 extended headers follow the base header, each naming the next one's size.
  std::size_t end = base;
  std::size_t next = Get16(probe.data() + base - 2);
  std::uint8_t sizeField[2];
  while (next >= 3 && end + next <= kMaxHeaderBytes) {
    end += next;
    if (source_->ReadAt(offset_ + end - 2, sizeField) != 2) break;
    next = Get16(sizeField);
  }
  if (next != 0 && end + next > kMaxHeaderBytes)
    ThrowLhaError(ErrorKind::TooLarge, "extended headers larger than 1 MiB", {}, offset_);
  return end;
}

std::optional<MemberHeader> ArchiveReader::Next() {
  if (done_) return std::nullopt;
  done_ = true;
  const std::uint64_t total = source_->Size();
  if (offset_ >= total) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(kHeaderProbe, total - offset_)));
  bytes.resize(source_->ReadAt(offset_, bytes));
  const std::size_t extent = std::min<std::uint64_t>(HeaderExtent(bytes), total - offset_);
  if (extent > bytes.size()) {
    bytes.resize(extent);
    bytes.resize(source_->ReadAt(offset_, bytes));
  }
  std::optional<MemberHeader> h = ParseHeader(bytes, offset_, total);
  if (!h) {
    if (offset_ == 0) ThrowLhaError(ErrorKind::NotArchive, "no member header", {}, 0);
    return std::nullopt;
  }
  offset_ = h->dataOffset + h->packedSize;
  done_ = false;
  return h;
}

void ArchiveReader::Extract(const MemberHeader& m, const ByteSink& sink) const {
  if (m.method == Method::Unknown)
    ThrowLhaError(ErrorKind::UnknownMethod, "method " + m.methodId + " is not supported", m.path, m.headerOffset);
  if (m.method == Method::Directory) return;
  if (m.dataOffset > source_->Size() || m.packedSize > source_->Size() - m.dataOffset)
    ThrowLhaError(ErrorKind::Truncated, "packed data runs past the end of the archive", m.path, m.dataOffset);
  std::uint16_t crc = 0;
  std::uint64_t produced = 0;
  try {
    Decode(m.method, *source_, m.dataOffset, m.packedSize, m.originalSize, [&](std::span<const std::uint8_t> piece) {
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

std::vector<MemberHeader> ListMembers(ArchiveSource& source) {
  ArchiveReader reader(source);
  std::vector<MemberHeader> members;
  while (std::optional<MemberHeader> h = reader.Next()) members.push_back(std::move(*h));
  return members;
}

std::vector<MemberHeader> ListMembers(std::span<const std::uint8_t> archive) {
  MemorySource source(archive);
  return ListMembers(source);
}

}  // namespace lha
