#include "paradox/DurableFile.h"

#include "paradox/BinaryFile.h"
#include "paradox/EngineError.h"

namespace paradox {

void WriteFileDurably(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path tmp = path;
  tmp += ".tmp";
  try {
    {
      auto f = BinaryFile::Open(tmp, FileAccess::kCreateExclusive);
      f->Write(0, bytes);
      f->Sync();
    }
    ReplaceFileAtomically(tmp, path);
  } catch (const EDBEngineError& e) {
    // A ".tmp" that another program holds is not ours to remove.
    if (e.Code() != EngineErrorCode::kFileLocked) RemoveFileIfPossible(tmp);
    throw;
  }
}

}  // namespace paradox
