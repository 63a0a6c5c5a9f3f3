#pragma once
// Member headers of LHA archives: reading levels 0, 1 and 2, writing level 2.
//
// All numbers are little-endian. An archive is a sequence of members, each a header followed
// directly by its packed data, ended by a single 0x00 byte (or simply by the end of the file).
//
// Level 0 (offsets from the start of the header; N = name length):
// | Offset | Size | Meaning                                                          |
// |--------|------|------------------------------------------------------------------|
// | 0      | 1    | header size, not counting these first 2 bytes                    |
// | 1      | 1    | checksum: sum of the header bytes from offset 2 on, modulo 256   |
// | 2      | 5    | method, e.g. "-lh5-"                                             |
// | 7      | 4    | packed size                                                      |
// | 11     | 4    | original size                                                    |
// | 15     | 4    | MS-DOS time (low word) and date (high word), local time          |
// | 19     | 1    | MS-DOS attributes                                                |
// | 20     | 1    | header level: 0                                                  |
// | 21     | 1    | N                                                                |
// | 22     | N    | path name, "\" or "/" separating folders; Amiga and MorphOS       |
// |        |      | archivers add a NUL and a file comment ("a.txt\0comment")       |
// | 22+N   | 2    | CRC-16 of the original data                                      |
// | 24+N   | ...  | optional extension (OS id and Unix fields); ignored here         |
//
// Level 1: as level 0 up to offset 24+N (offset 19 holds 0x20, offset 20 holds 1), then
// | 24+N   | 1    | OS id                                                            |
// | 25+N   | 2    | size of the first extended header (0: none)                      |
// The extended headers follow the base header; each has a 2-byte size field and the packed
// size at offset 7 counts them too.
//
// Level 2:
// | Offset | Size | Meaning                                                          |
// |--------|------|------------------------------------------------------------------|
// | 0      | 2    | total header size, extended headers and any padding byte included |
// | 2      | 5    | method                                                           |
// | 7      | 4    | packed size: bytes of data after the header                      |
// | 11     | 4    | original size                                                    |
// | 15     | 4    | modification time, seconds since 1970-01-01 00:00 UTC            |
// | 19     | 1    | reserved (0x20)                                                  |
// | 20     | 1    | header level: 2                                                  |
// | 21     | 2    | CRC-16 of the original data                                      |
// | 23     | 1    | OS id ('M' MS-DOS, 'U' Unix, 'w' Windows 95, ...)                |
// | 24     | 2    | size of the first extended header (0: none)                      |
// | 26     | ...  | extended headers                                                 |
// LHA 2.01 for OS-9/68k (OS id 'K') states a size two bytes short: it leaves out the 0 "next
// size" that ends the extended headers. Such a header ends, and its data begins, after that 0.
// A writer adds one padding byte when the total size would have a low byte of 0x00, which a
// reader could take for the end of the archive. Not every writer does: a 0x00 followed by a
// method id at offset 2 and level 2 at offset 20 is read as such an unpadded header.
//
// Extended header: 1 type byte, data, 2-byte size of the next extended header (0 after the
// last); a size counts the type byte, the data and those 2 bytes.
// | Type | Data                                                                       |
// |------|----------------------------------------------------------------------------|
// | 0x00 | CRC-16 of the whole header computed with these 2 bytes as zero (+ optional byte) |
// | 0x01 | file name, no terminator                                                   |
// | 0x02 | folder path, 0xFF between folders                                          |
// | 0x40 | MS-DOS attributes (2)                                                      |
// | 0x41 | three FILETIMEs (100 ns since 1601 UTC, 8 bytes each): creation, last write, |
// |      | last access (readers disagree on the order of the last two)               |
// | 0x42 | 64-bit packed size, 64-bit original size                                   |
// | 0x54 | Unix modification time (4)                                                 |

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lha {

namespace level0 {
constexpr std::size_t kHeaderSize = 0;  // 1 byte
constexpr std::size_t kChecksum = 1;    // 1 byte
constexpr std::size_t kMethod = 2;
constexpr std::size_t kPackedSize = 7;
constexpr std::size_t kOriginalSize = 11;
constexpr std::size_t kDosTime = 15;
constexpr std::size_t kAttribute = 19;
constexpr std::size_t kLevel = 20;
constexpr std::size_t kNameLength = 21;
constexpr std::size_t kName = 22;
// After the name (offsets relative to kName + N):
constexpr std::size_t kCrcAfterName = 0;
constexpr std::size_t kOsIdAfterName = 2;         // level 1 only
constexpr std::size_t kFirstExtAfterName = 3;     // level 1 only
}  // namespace level0

namespace level2 {
constexpr std::size_t kHeaderSize = 0;  // 2 bytes
constexpr std::size_t kMethod = 2;
constexpr std::size_t kPackedSize = 7;
constexpr std::size_t kOriginalSize = 11;
constexpr std::size_t kUnixTime = 15;
constexpr std::size_t kReserved = 19;
constexpr std::size_t kLevel = 20;
constexpr std::size_t kDataCrc = 21;
constexpr std::size_t kOsId = 23;
constexpr std::size_t kFirstExtSize = 24;
constexpr std::size_t kFirstExt = 26;
}  // namespace level2

constexpr std::size_t kMethodLength = 5;
constexpr std::uint8_t kOsIdOs9_68k = 'K';
// What the OS-9/68k writer leaves out of a level-2 header's stated size.
constexpr std::size_t kOs9UncountedTerminator = 2;

namespace ext {
constexpr std::uint8_t kHeaderCrc = 0x00;
constexpr std::uint8_t kFileName = 0x01;
constexpr std::uint8_t kFolder = 0x02;
constexpr std::uint8_t kComment = 0x3F;
constexpr std::uint8_t kDosAttributes = 0x40;
constexpr std::uint8_t kFileTimes = 0x41;
constexpr std::uint8_t kLargeSizes = 0x42;
constexpr std::uint8_t kUnixTime = 0x54;
constexpr std::uint8_t kFolderSeparator = 0xFF;
constexpr std::size_t kFileTimesSize = 1 + 24 + 2;
constexpr std::size_t kHeaderCrcSize = 1 + 2 + 2;
}  // namespace ext

enum class Method { Stored, Lh4, Lh5, Lh6, Lh7, Directory, Unknown };

Method MethodFromId(std::string_view id);
const char* MethodId(Method m);

// 100-ns intervals since 1601-01-01 UTC, the Windows FILETIME.
using FileTime = std::uint64_t;
constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;
// FILETIMEs from 2^63 on (the year 30828 and later) fit no signed 64-bit count of 100 ns, so
// both conversions count in unsigned arithmetic; whole seconds, rounded towards 1970.
inline FileTime FileTimeFromUnix(std::int64_t seconds) {
  return static_cast<FileTime>(seconds) * 10000000ULL + kFileTimeUnixEpoch;
}
inline std::int64_t UnixFromFileTime(FileTime t) {
  if (t >= kFileTimeUnixEpoch) return static_cast<std::int64_t>((t - kFileTimeUnixEpoch) / 10000000ULL);
  return -static_cast<std::int64_t>((kFileTimeUnixEpoch - t) / 10000000ULL);
}

struct MemberHeader {
  std::uint64_t headerOffset = 0;  // where the header starts in the archive
  std::uint64_t dataOffset = 0;    // where the packed data starts
  std::size_t headerSize = 0;
  std::string methodId;            // the 5 bytes as stored
  Method method = Method::Unknown;
  std::uint64_t packedSize = 0;
  std::uint64_t originalSize = 0;
  int level = 0;
  std::uint8_t attribute = 0;
  std::uint8_t osId = 0;
  std::uint16_t dataCrc = 0;
  bool hasDataCrc = true;          // level 0/1 headers without the CRC field have none
  // Stored path bytes (code page of the archiver, usually 932), folders separated by "/".
  std::string path;
  // Level 0/1: the bytes after a NUL in the base header's name field (a file comment); never
  // part of the path.
  std::string comment;
  std::optional<std::int64_t> unixTime;   // level 2 base field or the 0x54 header
  std::optional<std::uint32_t> dosTime;   // level 0/1 base field (local time)
  std::optional<FileTime> creationTime;   // 0x41
  std::optional<FileTime> writeTime;      // 0x41, second slot
  std::optional<FileTime> accessTime;     // 0x41, third slot

  // The modification time as Unix seconds: 0x41's write time, else the Unix time, else the
  // MS-DOS time read as UTC.
  std::int64_t ModificationUnixTime() const;
};

// Reads the header at `offset`. std::nullopt at the end of the archive (a 0x00 byte that does not
// start an unpadded level-2 header, or the end of the bytes). Throws ELhaError on a header that cannot be trusted.
std::optional<MemberHeader> ParseHeader(std::span<const std::uint8_t> archive, std::uint64_t offset);

// The same for a header whose bytes were read from `offset` of an archive of `archiveSize`
// bytes; `bytes` holds at least the whole header, or everything up to the archive's end.
std::optional<MemberHeader> ParseHeader(std::span<const std::uint8_t> bytes, std::uint64_t offset, std::uint64_t archiveSize);

// Fields of a level-2 header as this program writes it: name, file times, header CRC, in that
// order, attribute 0x20, OS id 'M'.
struct Level2Fields {
  std::string name;  // stored bytes, no folder part
  Method method = Method::Lh5;
  std::uint64_t packedSize = 0;
  std::uint64_t originalSize = 0;
  std::int64_t unixTime = 0;
  std::uint16_t dataCrc = 0;
};

constexpr std::uint8_t kWrittenAttribute = 0x20;
constexpr std::uint8_t kWrittenOsId = 0x4D;  // 'M'

std::vector<std::uint8_t> BuildLevel2Header(const Level2Fields& fields);

}  // namespace lha
