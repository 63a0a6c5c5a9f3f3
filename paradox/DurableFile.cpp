#include "paradox/DurableFile.h"

#include <cassert>

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"

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

}  // namespace paradox
