#include "paradox/DurableFile.h"

#include <cassert>
#include <system_error>

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"
#include "os/FaultInjection.h"

namespace paradox {

void WriteFileDurably(const std::filesystem::path& path, const std::string& bytes) {
  DurableFileWriter file(path);
  file.Append(bytes);
  file.Commit();
}

DurableFileWriter::DurableFileWriter(std::filesystem::path path) : path_(std::move(path)), tmp_(path_) {
  tmp_ += ".tmp";
  try {
    file_ = BinaryFile::Open(tmp_, FileAccess::kCreateExclusive);
  } catch (const EDBEngineError& e) {
    Abandon(e);
    throw;
  }
}

DurableFileWriter::~DurableFileWriter() {
  if (!file_) return;
  file_.reset();
  RemoveFileIfPossible(tmp_);
}

void DurableFileWriter::Abandon(const EDBEngineError& e) {
  file_.reset();
  // A ".tmp" that another program holds is not ours to remove.
  if (e.Code() != EngineErrorCode::kFileLocked) RemoveFileIfPossible(tmp_);
}

void DurableFileWriter::Append(const std::string& bytes) {
  assert(file_);
  try {
    file_->Write(size_, bytes);
  } catch (const EDBEngineError& e) {
    Abandon(e);
    throw;
  }
  size_ += bytes.size();
}

void DurableFileWriter::Commit() {
  assert(file_);
  try {
    file_->Sync();
    file_.reset();
    ReplaceFileAtomically(tmp_, path_);
  } catch (const EDBEngineError& e) {
    Abandon(e);
    throw;
  }
}

namespace {

[[noreturn]] void CannotList(const std::filesystem::path& dir, const std::error_code& ec) {
  RaiseEngineError(EngineMessage::kCannotList, ec.message(), PathText(dir));
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  const fs::path at = dir.empty() ? fs::path(".") : dir;
  if (auto fault = os::FaultGate(os::FileOperation::kList))
    CannotList(at, std::error_code(os::FaultErrno(*fault, os::FileOperation::kList), std::generic_category()));
  std::error_code ec;
  fs::directory_iterator it(at, ec);
  if (ec == std::errc::no_such_file_or_directory) return {};
  if (ec) CannotList(at, ec);
  std::vector<FolderEntry> entries;
  for (const fs::directory_iterator end; it != end;) {
    const bool regular = it->is_regular_file(ec);
    if (ec) CannotList(at, ec);
    entries.push_back({it->path(), regular});
    it.increment(ec);
    if (ec) CannotList(at, ec);
  }
  return entries;
}

std::uint64_t FileSizeOf(const std::filesystem::path& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) RaiseEngineError(EngineMessage::kIoError, ec.message(), PathText(path));
  return size;
}

}  // namespace paradox
