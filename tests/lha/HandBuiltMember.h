#pragma once
// Level-2 members written byte by byte from the layout in lha/Header.h, for headers no writer of
// ours would produce: extended headers in any order and a stated header size that may disagree
// with the chain it holds. The data is stored (-lh0-).

#include <cstdint>
#include <vector>

#include "lha/Crc16.h"
#include "lha/Header.h"

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
};

inline void PutLe(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::vector<std::uint8_t> Text(const char* s) {
  std::vector<std::uint8_t> b;
  while (*s) b.push_back(static_cast<std::uint8_t>(*s++));
  return b;
}

// The header, then the data, then the end-of-archive byte. The 0x00 header, where present, holds
// the CRC of the header as far as the chain goes, as a writer computes it.
inline std::vector<std::uint8_t> HandBuiltArchive(const HandBuiltMember& m) {
  namespace l2 = lha::level2;
  std::vector<std::uint8_t> h(l2::kFirstExt, 0);
  const char method[] = "-lh0-";
  for (std::size_t i = 0; i < lha::kMethodLength; ++i) h[l2::kMethod + i] = static_cast<std::uint8_t>(method[i]);
  PutLe(h, l2::kPackedSize, static_cast<std::uint32_t>(m.data.size()), 4);
  PutLe(h, l2::kOriginalSize, static_cast<std::uint32_t>(m.data.size()), 4);
  PutLe(h, l2::kUnixTime, m.unixTime, 4);
  h[l2::kReserved] = 0x20;
  h[l2::kLevel] = 2;
  PutLe(h, l2::kDataCrc, lha::Crc16(m.data), 2);
  h[l2::kOsId] = 'M';
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
  h.insert(h.end(), m.data.begin(), m.data.end());
  h.push_back(0);
  return h;
}

inline HandBuiltMember NamedMember(const char* name, const char* content) {
  HandBuiltMember m;
  m.exts = {{lha::ext::kHeaderCrc, {0, 0}}, {lha::ext::kFileName, Text(name)}, {lha::ext::kDosAttributes, {0x20, 0}}};
  m.data = Text(content);
  return m;
}

}  // namespace lha_test
