#pragma once
// Where archive bytes come from: the whole archive in memory, or a file read piece by piece so
// that memory stays bounded whatever the archive's size.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>

namespace lha {

class ArchiveSource {
 public:
  virtual ~ArchiveSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills `buffer` from `offset` on; returns fewer bytes only at the end of the archive.
  // Throws ELhaError(Io) when the bytes cannot be read.
  virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) = 0;
};

class MemorySource final : public ArchiveSource {
 public:
  // `bytes` must outlive the source.
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

class FileSource final : public ArchiveSource {
 public:
  // Throws ELhaError(Io) when the file cannot be opened.
  explicit FileSource(const std::filesystem::path& path);
  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override;

 private:
  std::ifstream file_;
  std::uint64_t size_ = 0;
};

}  // namespace lha
