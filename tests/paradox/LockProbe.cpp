// A second process for the locking tests: tries to open a table and says how it went.
//   paradox_lock_probe shared|exclusive PATH
// Exit code: 0 opened, 3 refused as locked, 4 any other failure.

#include <string>

#include "paradox/EngineError.h"
#include "paradox/ParadoxTable.h"

#ifdef _WIN32
#include "text/CodePage.h"
int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  std::string mode = text::Narrow(argv[1]);
  std::filesystem::path path(argv[2]);
#else
int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::string mode = argv[1];
  std::filesystem::path path(argv[2]);
#endif
  try {
    auto t = paradox::ParadoxTable::Open(path, mode == "exclusive" ? paradox::OpenMode::kExclusive : paradox::OpenMode::kShared);
    return 0;
  } catch (const EDBEngineError& e) {
    return e.Code() == EngineErrorCode::kFileLocked ? 3 : 4;
  } catch (...) {
    return 4;
  }
}
