#include "lha/ArchiveWriter.h"

#include "lha/Crc16.h"
#include "lha/Header.h"
#include "lha/LhaError.h"
#include "lha/Lh5Encoder.h"

namespace lha {

void ArchiveWriter::Add(const ArchiveEntry& entry) {
  if (entry.name.empty()) ThrowLhaError(ErrorKind::UnsafeName, "empty member name");
  std::vector<std::uint8_t> packed = EncodeLh5(entry.data);
  Level2Fields f;
  f.name = entry.name;
  f.method = Method::Lh5;
  if (options_.storeIncompressible && packed.size() >= entry.data.size()) {
    f.method = Method::Stored;
    packed = entry.data;
  }
  f.packedSize = packed.size();
  f.originalSize = entry.data.size();
  f.unixTime = entry.unixTime;
  f.dataCrc = Crc16(entry.data);
  const std::vector<std::uint8_t> header = BuildLevel2Header(f);
  bytes_.insert(bytes_.end(), header.begin(), header.end());
  bytes_.insert(bytes_.end(), packed.begin(), packed.end());
}

std::vector<std::uint8_t> ArchiveWriter::Finish() const {
  std::vector<std::uint8_t> out = bytes_;
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> WritePayloadArchive(const std::vector<ArchiveEntry>& entries) {
  ArchiveWriter writer;
  for (const ArchiveEntry& e : entries) writer.Add(e);
  return writer.Finish();
}

}  // namespace lha
