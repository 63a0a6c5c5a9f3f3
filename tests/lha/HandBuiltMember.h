#pragma once
// Level-2 members written byte by byte from the layout in lha/Header.h, for headers no writer of
// ours would produce: extended headers in any order and a stated header size that may disagree
// with the chain it holds. The data is stored (-lh0-) unless packed bytes are given. Also the
// level-0 and level-1 headers of other platforms' archivers.

#include <cstdint>
#include <vector>

#include <string>

#include "lha/Crc16.h"
#include "lha/Header.h"
#include "lha/Lh5Encoder.h"

namespace lha_test {

struct ExtField {
  std::uint8_t type;
  std::vector<std::uint8_t> data;
};

struct HandBuiltMember {
  std::vector<ExtField> exts;
  std::vector<std::uint8_t> data;
  // The header size field: the real size of base header plus chain, plus this.
  int statedDelta = 0;
  // Where the data begins: right after the chain, or at the stated size (cutting the chain).
  bool dataAtStatedSize = false;
  std::uint32_t unixTime = 1600000000;
  std::uint8_t osId = 'M';
  const char* method = "-lh0-";
  std::vector<std::uint8_t> packed;  // with a method other than -lh0-: the data packed
};

inline void PutLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::vector<std::uint8_t> Text(const char* s) {
  std::vector<std::uint8_t> b;
  while (*s) b.push_back(static_cast<std::uint8_t>(*s++));
  return b;
}

// The header, then the data. The 0x00 header, where present, holds the CRC of the header as far
// as the chain goes, as a writer computes it.
inline std::vector<std::uint8_t> HandBuiltHeaderAndData(const HandBuiltMember& m) {
  namespace l2 = lha::level2;
  std::vector<std::uint8_t> h(l2::kFirstExt, 0);
  const bool stored = std::string(m.method) == "-lh0-";
  const std::vector<std::uint8_t>& data = stored ? m.data : m.packed;
  for (std::size_t i = 0; i < lha::kMethodLength; ++i) h[l2::kMethod + i] = static_cast<std::uint8_t>(m.method[i]);
  PutLe(h, l2::kPackedSize, static_cast<std::uint32_t>(data.size()), 4);
  PutLe(h, l2::kOriginalSize, static_cast<std::uint32_t>(m.data.size()), 4);
  PutLe(h, l2::kUnixTime, m.unixTime, 4);
  h[l2::kReserved] = 0x20;
  h[l2::kLevel] = 2;
  PutLe(h, l2::kDataCrc, lha::Crc16(m.data), 2);
  h[l2::kOsId] = m.osId;
  std::size_t sizeFieldAt = l2::kFirstExtSize;
  std::size_t crcAt = 0;
  for (const ExtField& e : m.exts) {
    const std::size_t size = 1 + e.data.size() + 2;
    PutLe(h, sizeFieldAt, static_cast<std::uint32_t>(size), 2);
    if (e.type == lha::ext::kHeaderCrc) crcAt = h.size() + 1;
    h.push_back(e.type);
    h.insert(h.end(), e.data.begin(), e.data.end());
    h.push_back(0);
    h.push_back(0);
    sizeFieldAt = h.size() - 2;
  }
  const std::size_t stated = static_cast<std::size_t>(static_cast<int>(h.size()) + m.statedDelta);
  PutLe(h, l2::kHeaderSize, static_cast<std::uint32_t>(stated), 2);
  if (crcAt != 0) PutLe(h, crcAt, lha::Crc16(h), 2);
  if (m.dataAtStatedSize) h.resize(stated);
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

// The members one after the other, then the end-of-archive byte.
inline std::vector<std::uint8_t> HandBuiltArchive(std::initializer_list<HandBuiltMember> members) {
  std::vector<std::uint8_t> a;
  for (const HandBuiltMember& m : members) {
    const std::vector<std::uint8_t> b = HandBuiltHeaderAndData(m);
    a.insert(a.end(), b.begin(), b.end());
  }
  a.push_back(0);
  return a;
}
inline std::vector<std::uint8_t> HandBuiltArchive(const HandBuiltMember& m) { return HandBuiltArchive({m}); }

// A member as LHA 2.01 for OS-9/68k writes it: -lh5-, OS id 'K', extended headers permissions,
// owner and name, and a stated header size two short, leaving out the 0 that ends the chain
// (for the name "gpl-2": stated 44, name at 38, that 0 at 44-45, data from 46).
inline HandBuiltMember Os9Member(const char* name, std::vector<std::uint8_t> content) {
  HandBuiltMember m;
  m.exts = {{0x50, {0xED, 0x01}}, {0x51, {0x00, 0x00, 0x05, 0x00}}, {lha::ext::kFileName, Text(name)}};
  m.packed = lha::EncodeLh5(content);
  m.data = std::move(content);
  m.method = "-lh5-";
  m.osId = lha::kOsIdOs9_68k;
  m.statedDelta = -2;
  return m;
}

// A level-0 or level-1 member (stored data, no extended headers) whose name field is given
// whole: Amiga and MorphOS archivers put a NUL and a file comment after the name.
inline std::vector<std::uint8_t> Level01Member(int level, const std::string& nameField, const std::vector<std::uint8_t>& data) {
  namespace l0 = lha::level0;
  std::vector<std::uint8_t> h(l0::kName, 0);
  for (std::size_t i = 0; i < lha::kMethodLength; ++i) h[l0::kMethod + i] = static_cast<std::uint8_t>("-lh0-"[i]);
  PutLe(h, l0::kPackedSize, static_cast<std::uint32_t>(data.size()), 4);
  PutLe(h, l0::kOriginalSize, static_cast<std::uint32_t>(data.size()), 4);
  PutLe(h, l0::kDosTime, 0x50210000, 4);  // 2020-01-01 00:00
  h[l0::kAttribute] = level == 1 ? 0x20 : 0x00;
  h[l0::kLevel] = static_cast<std::uint8_t>(level);
  h[l0::kNameLength] = static_cast<std::uint8_t>(nameField.size());
  h.insert(h.end(), nameField.begin(), nameField.end());
  const std::uint16_t crc = lha::Crc16(data);
  h.push_back(static_cast<std::uint8_t>(crc));
  h.push_back(static_cast<std::uint8_t>(crc >> 8));
  if (level == 1) h.insert(h.end(), {'A', 0, 0});  // OS id, no extended headers
  h[l0::kHeaderSize] = static_cast<std::uint8_t>(h.size() - 2);
  unsigned sum = 0;
  for (std::size_t i = 2; i < h.size(); ++i) sum += h[i];
  h[l0::kChecksum] = static_cast<std::uint8_t>(sum);
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

inline HandBuiltMember NamedMember(const char* name, const char* content) {
  HandBuiltMember m;
  m.exts = {{lha::ext::kHeaderCrc, {0, 0}}, {lha::ext::kFileName, Text(name)}, {lha::ext::kDosAttributes, {0x20, 0}}};
  m.data = Text(content);
  return m;
}

}  // namespace lha_test
