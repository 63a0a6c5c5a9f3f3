#include "paradox/DurableFile.h"

#include "paradox/BinaryFile.h"

namespace paradox {

void WriteFileDurably(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path tmp = path;
  tmp += ".tmp";
  {
    auto f = BinaryFile::Open(tmp, FileAccess::kCreateExclusive);
    f->Write(0, bytes);
    f->Sync();
  }
  ReplaceFileAtomically(tmp, path);
}

}  // namespace paradox
