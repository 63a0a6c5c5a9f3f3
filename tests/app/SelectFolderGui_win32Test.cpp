// SelectFolder on the real shell folder browser: a second thread finds the browser dialog of
// this process, reads what it shows and closes it the way a user would.
//
// The driver never leaves the main thread in a modal loop nobody will end: any other dialog
// box the thread shows first (a shell error box, say) is noted and closed, the driver keeps
// watching until SelectFolder returns, and when the browser never comes or never goes it
// lists the thread's windows and ends the process, so a hang is a failure with a reason.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "app/SelectFolder.h"
#include "fileops/FileOps.h"
#include "text/CodePage.h"

namespace {

const std::string kTitle =
    "トヴォ顧客管理システムのフォルダが見つかりません。インストールしてありますフォルダを指定してください.";
constexpr ULONGLONG kBrowserDeadlineMs = 60000;

BOOL CALLBACK CollectWindow(HWND w, LPARAM p) {
  reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

std::vector<HWND> TopLevelsOf(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(thread, CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool IsDialogBox(HWND w) { return IsWindowVisible(w) && gui::ClassName(w) == "#32770"; }

// The old-style browser is a dialog box with a tree of folders.
HWND TreeOf(HWND dialog) {
  for (const gui::ChildInfo& c : gui::Children(dialog))
    if (c.className == "SysTreeView32") return c.hwnd;
  return nullptr;
}

std::string Describe(HWND w) {
  std::string s = gui::ClassName(w) + " \"" + gui::GetText(w) + "\"" + (IsWindowVisible(w) ? " visible" : "");
  for (const gui::ChildInfo& c : gui::Children(w))
    if (!c.text.empty()) s += " [" + c.className + ": " + c.text + "]";
  return s;
}

[[noreturn]] void GiveUp(DWORD thread, const char* why) {
  std::fprintf(stderr, "SelectFolder test: %s; windows of the thread:\n", why);
  for (HWND w : TopLevelsOf(thread)) std::fprintf(stderr, "  %s\n", Describe(w).c_str());
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  for (;;) Sleep(INFINITE);
}

struct BrowserRun {
  std::string shownTitle;
  bool dialogSeen = false;
  std::vector<std::string> otherDialogs;
};

// Runs SelectFolder on this thread while `driver` works the browser from another one.
BrowserRun RunBrowser(std::string& folder, const std::function<void(HWND)>& driver) {
  BrowserRun run;
  const DWORD self = GetCurrentThreadId();
  std::atomic<bool> done{false};
  gui::DriverThread helper([&] {
    const ULONGLONG start = GetTickCount64();
    std::set<HWND> closed;
    while (!done) {
      for (HWND w : TopLevelsOf(self)) {
        if (!IsDialogBox(w) || closed.count(w)) continue;
        if (!TreeOf(w)) {
          run.otherDialogs.push_back(Describe(w));
          closed.insert(w);
          PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
        } else if (!run.dialogSeen) {
          run.dialogSeen = true;
          HWND label = gui::FindChildByText(w, kTitle, "Static");
          if (label) run.shownTitle = gui::GetText(label);
          driver(w);
        }
      }
      if (!done && GetTickCount64() - start > kBrowserDeadlineMs)
        GiveUp(self, run.dialogSeen ? "the folder browser did not close" : "no folder browser appeared");
      Sleep(50);
    }
  });
  SelectFolder(kTitle, folder);
  done = true;
  helper.Join();
  for (const std::string& other : run.otherDialogs)
    std::fprintf(stderr, "another dialog box came before the folder browser: %s\n", other.c_str());
  return run;
}

std::string ItemText(HWND tree, HTREEITEM item) {
  wchar_t buffer[260] = {};
  TVITEMW tv = {};
  tv.mask = TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = buffer;
  tv.cchTextMax = 260;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
  return text::Narrow(buffer);
}

TEST(SelectFolderGui, CancelGivesTheEmptyString) {
  std::string folder = "C:\\previous";
  BrowserRun run = RunBrowser(folder, [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  ASSERT_TRUE(run.dialogSeen) << "no folder browser appeared";
  EXPECT_EQ(run.shownTitle, kTitle) << "the title is shown above the tree";
  EXPECT_EQ(folder, "");
}

TEST(SelectFolderGui, CancelButtonPressed) {
  std::string folder = "C:\\previous";
  BrowserRun run = RunBrowser(folder, [](HWND dialog) {
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    SendMessageW(cancel, BM_CLICK, 0, 0);
  });
  ASSERT_TRUE(run.dialogSeen);
  EXPECT_EQ(folder, "");
}

// The tree's root is the computer's drives: choosing drive C: gives its path.
TEST(SelectFolderGui, ChoosingADriveGivesItsPath) {
  std::string folder;
  std::string chosenText;
  BrowserRun run = RunBrowser(folder, [&](HWND dialog) {
    HWND tree = TreeOf(dialog);
    // The drives are the top items, or the children of one root item standing for the
    // computer: look at those two levels only, never deeper into a drive.
    HTREEITEM target = nullptr;
    for (HTREEITEM top = TreeView_GetRoot(tree); top && !target; top = TreeView_GetNextSibling(tree, top)) {
      if (ItemText(tree, top).find("C:") != std::string::npos) {
        target = top;
        break;
      }
      if (TreeView_GetNextSibling(tree, top)) continue;
      SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(top));
      for (HTREEITEM item = TreeView_GetChild(tree, top); item; item = TreeView_GetNextSibling(tree, item))
        if (ItemText(tree, item).find("C:") != std::string::npos) {
          target = item;
          break;
        }
    }
    if (!target) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    chosenText = ItemText(tree, target);
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(target));
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  ASSERT_TRUE(run.dialogSeen);
  ASSERT_FALSE(chosenText.empty()) << "no item for drive C: in the tree";
  EXPECT_EQ(folder, "C:\\");
  EXPECT_TRUE(fileops::FolderExists(folder));
}

}  // namespace
