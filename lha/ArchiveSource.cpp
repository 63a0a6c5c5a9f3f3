#include "lha/ArchiveSource.h"

#include <algorithm>
#include <cstring>

#include "lha/LhaError.h"

namespace lha {

std::size_t MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (offset >= bytes_.size()) return 0;
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), bytes_.size() - offset));
  std::memcpy(buffer.data(), bytes_.data() + offset, n);
  return n;
}

FileSource::FileSource(const std::filesystem::path& path) : file_(path, std::ios::binary) {
  if (!file_) ThrowLhaError(ErrorKind::Io, "cannot open the archive");
  file_.seekg(0, std::ios::end);
  const std::streamoff end = file_.tellg();
  if (!file_ || end < 0) ThrowLhaError(ErrorKind::Io, "cannot find the archive's size");
  size_ = static_cast<std::uint64_t>(end);
}

std::size_t FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  if (offset >= size_) return 0;
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size_ - offset));
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  file_.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(want));
  const std::size_t got = static_cast<std::size_t>(file_.gcount());
  if (got != want) ThrowLhaError(ErrorKind::Io, "cannot read the archive", {}, offset + got);
  return got;
}

}  // namespace lha
