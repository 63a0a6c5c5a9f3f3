#include <windows.h>

#include "paradox/BinaryFile.h"
#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"

namespace paradox {

void ReplaceFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!MoveFileExW(from.wstring().c_str(), to.wstring().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw EDBEngineError(EngineErrorCode::kIoError,
                         "Cannot rename file.\nWindows error " + std::to_string(GetLastError()), PathText(from));
}

void SyncDirectory(const std::filesystem::path&) {}

}  // namespace paradox
