#include "fileops/FileOps.h"

#include "fileops/FileOpsPlatform.h"
#include "text/Ascii.h"
#include "text/CodePage.h"

namespace fileops {
namespace {

// The name before its last ".", or the whole name when it has none.
std::string_view BeforeLastDot(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

// The extension from the last "." on, or empty; a "." inside a folder part does not count.
std::string_view Extension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  const std::size_t separator = name.find_last_of("\\:");
  if (dot == std::string_view::npos || (separator != std::string_view::npos && separator > dot)) return {};
  return name.substr(dot);
}

std::string_view FileNamePart(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\:");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace

FolderListError::FolderListError(std::error_code error, std::string folder)
    : std::system_error(error, SystemErrorText(error) + ": " + folder), folder_(std::move(folder)),
      detail_(SystemErrorText(error)) {}

bool IsFindCandidate(std::uint32_t attributes, std::uint16_t attributeMask, bool takeBare) {
  if (attributes == kFaDirectory) return false;
  if ((attributes & attributeMask) != 0) return true;
  // Backup software that clears the archive bit leaves a file reported as "normal" (0x80) or
  // with bits such as "not content indexed" alone: none of the six, yet an ordinary file.
  return takeBare && (attributes & kFaAnyFile) == 0;
}

int CountNameMatches(std::string_view entryName, const FileNameList& names, std::string_view mode) {
  int matches = 0;
  if (mode == "fFile") {
    const std::string entryBase = text::AsciiUpper(BeforeLastDot(entryName));
    for (const std::string& item : names)
      if (text::AsciiUpper(BeforeLastDot(item)) == entryBase) ++matches;
  } else if (mode == "fExt") {
    if (entryName.find('.') == std::string_view::npos) return 0;
    const std::string entryExt = text::AsciiUpper(Extension(entryName));
    for (const std::string& item : names) {
      // An item may be a whole name ("x.DB") or a bare extension ("DB"); the latter is compared
      // as written, so "db" does not match ".DB".
      if (entryExt == text::AsciiUpper(Extension(item)) || entryExt == "." + item) ++matches;
    }
  } else if (mode == "fAll") {
    matches = 1;
  }
  return matches;
}

std::string RemoveDocumentPlaceholder(std::string_view command) {
  std::u16string s = text::Utf8ToUtf16(command);
  const std::size_t quoted = s.find(u"\"%1\"");
  if (quoted != std::u16string::npos) {
    if (quoted > 0) s.erase(quoted - 1, 5);
  } else {
    const std::size_t bare = s.find(u"%1");
    if (bare != std::u16string::npos && bare > 0) s.erase(bare - 1, 3);
  }
  return text::Utf16ToUtf8(s);
}

void FindFiles(const std::string& folder, std::uint16_t attributeMask, bool takeBare,
               const FileNameList& names, std::string_view mode, bool clearAttributes,
               bool addBackslash, bool recurse, FileNameList& found, bool clearFound) {
  std::string base = folder;
  if (base.empty() || base.back() != '\\') base += '\\';
  if (clearFound) found.clear();
  EnumerateFolder(base, [&](const FoundEntry& entry) {
    if (entry.name == "." || entry.name == "..") return;
    std::string full = base + entry.name;
    if (clearAttributes) SetEntryAttributes(full, entry.attributes & ~(kFaReadOnly | kFaHidden));
    const bool directory = (entry.attributes & kFaDirectory) != 0;
    if (directory && addBackslash && full.back() != '\\') full += '\\';
    if (IsFindCandidate(entry.attributes, attributeMask, takeBare)) {
      const int matches = CountNameMatches(entry.name, names, mode);
      for (int i = 0; i < matches; ++i) found.push_back(base + entry.name);
    }
    // A junction or directory link may point back up the tree; following it would never end.
    if (recurse && directory && (entry.attributes & kFaReparsePoint) == 0)
      FindFiles(full, attributeMask, takeBare, names, mode, clearAttributes, true, true, found, false);
  });
}

void CopyMatchingFiles(const std::string& sourceFolder, const std::string& targetFolder,
                       const std::string& fileName) {
  const FileNameList names{fileName};
  FileNameList found;
  FindFiles(sourceFolder, kFaAnyFile, true, names, "fFile", false, true, false, found, true);
  for (const std::string& path : found)
    CopyReplacing(path, targetFolder + "\\" + std::string(FileNamePart(path)));
}

}  // namespace fileops
