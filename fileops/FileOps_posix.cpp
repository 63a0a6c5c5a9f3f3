// The native build's file system under FindFiles: directories report 0x10, files 0x20
// (archive), plus 0x01 when nobody may write them and 0x02 when their name starts with ".";
// a symbolic link to a directory reports 0x410, as a junction does on Windows.
#include <filesystem>
#include <system_error>

#include "fileops/FileOps.h"
#include "fileops/FileOpsPlatform.h"
#include "os/FaultInjection.h"

namespace fileops {
namespace {

namespace fs = std::filesystem;

fs::path ToPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return fs::path(path);
}

constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

}  // namespace

std::string SystemErrorText(const std::error_code& error) { return error.message(); }

bool FolderExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return fs::is_directory(fs::path(std::u8string(path.begin(), path.end())), ec);
}

void EnumerateFolder(const std::string& folderWithBackslash,
                     const std::function<void(const FoundEntry&)>& visit) {
  const fs::path folder = ToPath(folderWithBackslash);
  const auto fail = [&](const std::error_code& ec) {
    throw FolderListError(ec, folderWithBackslash);
  };
  if (auto fault = os::FaultGate(os::FileOperation::kList))
    fail(std::error_code(os::FaultErrno(*fault, os::FileOperation::kList), std::generic_category()));
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec == std::errc::no_such_file_or_directory) return;
  if (ec) fail(ec);
  visit({".", kFaDirectory});
  visit({"..", kFaDirectory});
  for (const fs::directory_iterator end; it != end;) {
    const fs::directory_entry entry = *it;
    it.increment(ec);
    if (ec) fail(ec);
    const fs::file_status status = entry.symlink_status(ec);
    if (ec == std::errc::no_such_file_or_directory) continue;  // gone since the folder was read
    if (ec) fail(ec);
    std::uint32_t attributes = fs::is_directory(status) ? kFaDirectory : 0x20;
    if (fs::is_symlink(status) && fs::is_directory(entry.status(ec))) attributes = kFaDirectory | kFaReparsePoint;
    if ((status.permissions() & kWrite) == fs::perms::none) attributes |= kFaReadOnly;
    const std::string name = entry.path().filename().string();
    if (!name.empty() && name[0] == '.') attributes |= kFaHidden;
    visit({name, attributes});
  }
}

void SetEntryAttributes(const std::string& path, std::uint32_t attributes) {
  std::error_code ec;
  fs::permissions(ToPath(path), fs::perms::owner_write,
                  (attributes & kFaReadOnly) ? fs::perm_options::remove : fs::perm_options::add, ec);
}

bool CopyReplacing(const std::string& from, const std::string& to) {
  if (os::FaultGate(os::FileOperation::kCopy)) return false;
  std::error_code ec;
  return fs::copy_file(ToPath(from), ToPath(to), fs::copy_options::overwrite_existing, ec);
}

}  // namespace fileops
