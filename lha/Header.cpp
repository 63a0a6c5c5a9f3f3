#include "lha/Header.h"

#include <cstring>
#include <ctime>

#include "lha/Crc16.h"
#include "lha/LhaError.h"
#include "os/LittleEndian.h"
#include "text/CodePage.h"

namespace lha {
namespace {

using le::Get16;
using le::Get32;
using le::Get64;
using le::Put16;
using le::Put32;
using le::Put64;

// Folder separators of the base name fields: "/" always (it is never a Shift-JIS trail byte),
// "\" only where it is not the second byte of a double-byte character.
std::string NormaliseSeparators(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(raw[i]);
    if (c == 0xFF || c == '\\') {
      out += '/';
    } else if (text::IsShiftJisLeadByte(c) && i + 1 < raw.size() &&
               static_cast<unsigned char>(raw[i + 1]) >= 0x40 && raw[i + 1] != 0x7F) {
      out += raw[i];
      out += raw[++i];
    } else {
      out += raw[i];
    }
  }
  return out;
}

struct ExtResult {
  std::string name;
  std::string folder;
  bool hasName = false;
  std::optional<std::size_t> crcOffset;  // offset of the 0x00 header's CRC bytes in the header
  std::uint64_t endPos = 0;              // just past the last extended header
};

// Walks a chain of extended headers in [begin, end) of `header` (offsets from the header's
// start, which lies at `headerOffset` in the archive), the first of `firstSize` bytes.
ExtResult ReadExtendedHeaders(std::span<const std::uint8_t> header, std::uint64_t headerOffset,
                              std::uint64_t begin, std::uint64_t end, std::size_t firstSize,
                              MemberHeader& h) {
  ExtResult r;
  std::uint64_t pos = begin;
  std::size_t size = firstSize;
  int count = 0;
  while (size != 0) {
    if (size < 3) ThrowLhaError(ErrorKind::HeaderBroken, "extended header shorter than 3 bytes", r.name, headerOffset + pos);
    if (pos + size > end) ThrowLhaError(ErrorKind::HeaderBroken, "extended header runs past the header", r.name, headerOffset + pos);
    if (++count > 1000) ThrowLhaError(ErrorKind::HeaderBroken, "too many extended headers", r.name, headerOffset + pos);
    const std::uint8_t* p = header.data() + pos;
    std::uint8_t type = p[0];
    const std::uint8_t* data = p + 1;
    std::size_t dataSize = size - 3;
    switch (type) {
      case ext::kHeaderCrc:
        if (dataSize < 2) ThrowLhaError(ErrorKind::HeaderBroken, "header CRC field too short", r.name, headerOffset + pos);
        r.crcOffset = static_cast<std::size_t>(pos + 1);
        break;
      case ext::kFileName:
        r.name.assign(reinterpret_cast<const char*>(data), dataSize);
        r.hasName = true;
        break;
      case ext::kFolder:
        r.folder.assign(reinterpret_cast<const char*>(data), dataSize);
        break;
      case ext::kFileTimes:
        if (dataSize >= 24) {
          h.creationTime = Get64(data);
          h.writeTime = Get64(data + 8);
          h.accessTime = Get64(data + 16);
        }
        break;
      case ext::kLargeSizes:
        if (dataSize >= 16) {
          h.packedSize = Get64(data);
          h.originalSize = Get64(data + 8);
        }
        break;
      case ext::kUnixTime:
        if (dataSize >= 4) h.unixTime = static_cast<std::int64_t>(Get32(data));
        break;
      default:
        break;
    }
    pos += size;
    size = Get16(p + size - 2);
  }
  r.endPos = pos;
  return r;
}

// A first byte of 0x00 ends the archive, except where it is the low byte of a level-2 header
// size of 256 * k: writers that do not pad such a header leave exactly that, and lhasa reads on.
// Only a method id and level 2 in their places make it a header; anything else after the end
// byte (padding, a resource's alignment) still ends the archive.
bool IsEndOfArchive(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return true;
  if (bytes[0] != 0) return false;
  if (bytes.size() < level2::kFirstExt) return true;
  const bool methodId = bytes[level2::kMethod] == '-' && bytes[level2::kMethod + kMethodLength - 1] == '-';
  return !(methodId && bytes[level2::kLevel] == 2 && Get16(bytes.data() + level2::kHeaderSize) >= level2::kFirstExt);
}

// The end of a level-2 header's extended headers as far as they may go: the stated size, or
// for the OS-9/68k writer two bytes more when those two bytes are 0 (the uncounted end of the
// chain). Anything else past the stated size stays refused.
std::size_t Level2ChainLimit(std::span<const std::uint8_t> bytes, std::size_t stated, std::uint8_t osId) {
  const std::size_t extended = stated + kOs9UncountedTerminator;
  if (osId != kOsIdOs9_68k || extended > bytes.size()) return stated;
  if (bytes[stated] != 0 || bytes[stated + 1] != 0) return stated;
  return extended;
}

}  // namespace

Method MethodFromId(std::string_view id) {
  if (id == "-lh0-" || id == "-lz4-") return Method::Stored;
  if (id == "-lh4-") return Method::Lh4;
  if (id == "-lh5-") return Method::Lh5;
  if (id == "-lh6-") return Method::Lh6;
  if (id == "-lh7-") return Method::Lh7;
  if (id == "-lhd-") return Method::Directory;
  return Method::Unknown;
}

const char* MethodId(Method m) {
  switch (m) {
    case Method::Stored: return "-lh0-";
    case Method::Lh4: return "-lh4-";
    case Method::Lh5: return "-lh5-";
    case Method::Lh6: return "-lh6-";
    case Method::Lh7: return "-lh7-";
    case Method::Directory: return "-lhd-";
    case Method::Unknown: break;
  }
  return "?????";
}

std::int64_t MemberHeader::ModificationUnixTime() const {
  if (writeTime && *writeTime >= kFileTimeUnixEpoch) return UnixFromFileTime(*writeTime);
  if (unixTime) return *unixTime;
  if (dosTime) {
    std::uint32_t t = *dosTime;
    std::tm tm{};
    tm.tm_year = static_cast<int>(((t >> 25) & 0x7F) + 80);
    tm.tm_mon = static_cast<int>(((t >> 21) & 0x0F)) - 1;
    tm.tm_mday = static_cast<int>((t >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((t >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((t >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>((t & 0x1F) * 2);
    // Days from civil date (proleptic Gregorian), so no time-zone database is involved.
    int y = tm.tm_year + 1900, m = tm.tm_mon + 1, d = tm.tm_mday;
    if (m < 1 || m > 12) return 0;
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    return days * 86400 + tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
  }
  return 0;
}

std::optional<MemberHeader> ParseHeader(std::span<const std::uint8_t> bytes, std::uint64_t offset, std::uint64_t total) {
  if (IsEndOfArchive(bytes)) return std::nullopt;
  const std::uint64_t avail = bytes.size();
  if (avail < 22) ThrowLhaError(ErrorKind::HeaderBroken, "header cut short by the end of the archive", {}, offset);
  const std::uint8_t* p = bytes.data();
  MemberHeader h;
  h.headerOffset = offset;
  h.methodId.assign(reinterpret_cast<const char*>(p + level2::kMethod), kMethodLength);
  if (h.methodId[0] != '-' || h.methodId[4] != '-')
    ThrowLhaError(offset == 0 ? ErrorKind::NotArchive : ErrorKind::HeaderBroken, "no method id", {}, offset);
  h.method = MethodFromId(h.methodId);
  h.level = p[level2::kLevel];
  h.packedSize = Get32(p + level2::kPackedSize);
  h.originalSize = Get32(p + level2::kOriginalSize);

  if (h.level == 0 || h.level == 1) {
    const std::size_t baseSize = static_cast<std::size_t>(p[level0::kHeaderSize]) + 2;
    if (baseSize > avail) ThrowLhaError(ErrorKind::HeaderBroken, "header runs past the archive", {}, offset);
    const std::size_t nameLength = p[level0::kNameLength];
    if (level0::kName + nameLength > baseSize) ThrowLhaError(ErrorKind::HeaderBroken, "name runs past the header", {}, offset);
    unsigned sum = 0;
    for (std::size_t i = 2; i < baseSize; ++i) sum += p[i];
    const std::string_view nameField(reinterpret_cast<const char*>(p + level0::kName), nameLength);
    const std::size_t nul = nameField.find('\0');
    h.path = NormaliseSeparators(nameField.substr(0, nul));
    if (nul != std::string_view::npos) {
      const std::string_view rest = nameField.substr(nul + 1);
      h.comment.assign(rest.substr(0, rest.find('\0')));
    }
    if ((sum & 0xFF) != p[level0::kChecksum]) ThrowLhaError(ErrorKind::HeaderCrc, "header checksum mismatch", h.path, offset);
    h.dosTime = Get32(p + level0::kDosTime);
    h.attribute = p[level0::kAttribute];
    const std::size_t afterName = level0::kName + nameLength;
    h.hasDataCrc = afterName + 2 <= baseSize;
    if (h.hasDataCrc) h.dataCrc = Get16(p + afterName + level0::kCrcAfterName);
    h.headerSize = baseSize;
    if (h.level == 1) {
      if (afterName + level0::kFirstExtAfterName + 2 > baseSize)
        ThrowLhaError(ErrorKind::HeaderBroken, "level-1 header too short", h.path, offset);
      h.osId = p[afterName + level0::kOsIdAfterName];
      // Level-1 extended headers follow the base header and are counted in the packed size.
      ExtResult r = ReadExtendedHeaders(bytes, offset, baseSize, avail, Get16(p + baseSize - 2), h);
      const std::uint64_t extBytes = r.endPos - baseSize;
      if (extBytes > h.packedSize) ThrowLhaError(ErrorKind::HeaderBroken, "extended headers larger than the packed size", h.path, offset);
      h.packedSize -= extBytes;
      h.headerSize = static_cast<std::size_t>(r.endPos);
      if (r.hasName || !r.folder.empty()) {
        std::string name = r.hasName ? NormaliseSeparators(r.name) : h.path;
        std::string folder = NormaliseSeparators(r.folder);
        if (!folder.empty() && folder.back() != '/') folder += '/';
        h.path = folder + name;
      }
    }
  } else if (h.level == 2) {
    const std::size_t stated = Get16(p + level2::kHeaderSize);
    if (stated < level2::kFirstExt) ThrowLhaError(ErrorKind::HeaderBroken, "level-2 header too short", {}, offset);
    if (stated > avail) ThrowLhaError(ErrorKind::HeaderBroken, "header runs past the archive", {}, offset);
    h.unixTime = static_cast<std::int64_t>(Get32(p + level2::kUnixTime));
    h.attribute = p[level2::kReserved];
    h.dataCrc = Get16(p + level2::kDataCrc);
    h.osId = p[level2::kOsId];
    const std::size_t limit = Level2ChainLimit(bytes, stated, h.osId);
    ExtResult r = ReadExtendedHeaders(bytes, offset, level2::kFirstExt, limit, Get16(p + level2::kFirstExtSize), h);
    // Past the stated size only where the chain's closing 0 is exactly the two bytes after it.
    if (r.endPos > stated && r.endPos != limit)
      ThrowLhaError(ErrorKind::HeaderBroken, "extended header runs past the header", r.name, offset + stated);
    const std::size_t headerSize = r.endPos > stated ? static_cast<std::size_t>(r.endPos) : stated;
    h.headerSize = headerSize;
    std::string name = NormaliseSeparators(r.name);
    std::string folder = NormaliseSeparators(r.folder);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    h.path = folder + name;
    if (r.crcOffset) {
      std::vector<std::uint8_t> copy(p, p + headerSize);
      const std::uint16_t stored = Get16(copy.data() + *r.crcOffset);
      copy[*r.crcOffset] = 0;
      copy[*r.crcOffset + 1] = 0;
      if (Crc16(copy) != stored) ThrowLhaError(ErrorKind::HeaderCrc, "header CRC mismatch", h.path, offset);
    }
  } else {
    ThrowLhaError(offset == 0 ? ErrorKind::NotArchive : ErrorKind::HeaderBroken,
                  "unsupported header level " + std::to_string(h.level), {}, offset);
  }
  h.dataOffset = offset + h.headerSize;
  if ((h.dataOffset > total || h.packedSize > total - h.dataOffset))
    ThrowLhaError(ErrorKind::Truncated, "packed data runs past the end of the archive", h.path, h.dataOffset);
  return h;
}

std::optional<MemberHeader> ParseHeader(std::span<const std::uint8_t> archive, std::uint64_t offset) {
  if (offset >= archive.size()) return std::nullopt;
  return ParseHeader(archive.subspan(static_cast<std::size_t>(offset)), offset, archive.size());
}

std::vector<std::uint8_t> BuildLevel2Header(const Level2Fields& f) {
  if (f.name.size() > 1024) ThrowLhaError(ErrorKind::TooLarge, "name longer than 1024 bytes", f.name);
  if (f.packedSize > 0xFFFFFFFFULL || f.originalSize > 0xFFFFFFFFULL)
    ThrowLhaError(ErrorKind::TooLarge, "member of 4 GiB or more", f.name);
  const std::size_t nameExt = 1 + f.name.size() + 2;
  std::size_t size = level2::kFirstExt + nameExt + ext::kFileTimesSize + ext::kHeaderCrcSize;
  const bool pad = (size & 0xFF) == 0;
  if (pad) ++size;
  std::vector<std::uint8_t> h(size, 0);
  std::uint8_t* p = h.data();
  Put16(p + level2::kHeaderSize, static_cast<std::uint32_t>(size));
  std::memcpy(p + level2::kMethod, MethodId(f.method), kMethodLength);
  Put32(p + level2::kPackedSize, f.packedSize);
  Put32(p + level2::kOriginalSize, f.originalSize);
  Put32(p + level2::kUnixTime, static_cast<std::uint64_t>(f.unixTime));
  p[level2::kReserved] = kWrittenAttribute;
  p[level2::kLevel] = 2;
  Put16(p + level2::kDataCrc, f.dataCrc);
  p[level2::kOsId] = kWrittenOsId;
  Put16(p + level2::kFirstExtSize, static_cast<std::uint32_t>(nameExt));
  std::size_t pos = level2::kFirstExt;
  p[pos] = ext::kFileName;
  std::memcpy(p + pos + 1, f.name.data(), f.name.size());
  Put16(p + pos + nameExt - 2, ext::kFileTimesSize);
  pos += nameExt;
  // The modification time goes into both the write and the access slot, because readers
  // disagree on which of the two is the write time.
  const FileTime t = FileTimeFromUnix(f.unixTime);
  p[pos] = ext::kFileTimes;
  Put64(p + pos + 1, t);
  Put64(p + pos + 9, t);
  Put64(p + pos + 17, t);
  Put16(p + pos + ext::kFileTimesSize - 2, ext::kHeaderCrcSize);
  pos += ext::kFileTimesSize;
  p[pos] = ext::kHeaderCrc;
  const std::size_t crcAt = pos + 1;
  Put16(p + pos + ext::kHeaderCrcSize - 2, 0);
  Put16(p + crcAt, Crc16(h));
  return h;
}

}  // namespace lha
