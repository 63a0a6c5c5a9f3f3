#include "app/CopyList.h"

#include <windows.h>

#include "app/UpdateMessages.h"
#include "framework/Dialogs.h"
#include "os/WinHandles.h"
#include "text/CodePage.h"

namespace {

// FindFirstFile with no attribute filter: plain, read-only, hidden, system and archive files
// and folders all answer.
bool EntryExists(const std::string& path) {
  WIN32_FIND_DATAW data{};
  return static_cast<bool>(win32::UniqueFind(FindFirstFileW(text::Widen(path).c_str(), &data)));
}

}  // namespace

bool CopyNamedFiles(const std::string& sourceFolder, const std::string& targetFolder, const TStrings& list) {
  if (list.Count() == 0) return false;
  bool result = true;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& name = list[i];
    if (!EntryExists(sourceFolder + name)) {
      MessageDlg(updatemsg::FileMissing(name), mtError, {mbOK});
      result = false;
      continue;
    }
    if (!CopyFileW(text::Widen(sourceFolder + name).c_str(), text::Widen(targetFolder + "\\" + name).c_str(), FALSE)) {
      MessageDlg(updatemsg::CopyFailed(name), mtError, {mbOK});
      result = false;
    }
  }
  return result;
}
