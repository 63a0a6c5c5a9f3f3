// SelectFolder on the real shell folder browser: a second thread finds the browser dialog of
// this process, reads what it shows and closes it the way a user would.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "text/CodePage.h"
#include "util/AliasPath.h"

namespace {

const std::string kTitle =
    "トヴォ顧客管理システムのフォルダが見つかりません。インストールしてありますフォルダを指定してください.";

std::wstring Widen(const std::string& s) { return text::Widen(s); }

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  GetClassNameW(w, name, 64);
  return name;
}

std::wstring TextOf(HWND w) {
  wchar_t buffer[512] = {};
  GetWindowTextW(w, buffer, 512);
  return buffer;
}

BOOL CALLBACK MatchBrowser(HWND w, LPARAM out) {
  if (IsWindowVisible(w) && ClassOf(w) == L"#32770") {
    *reinterpret_cast<HWND*>(out) = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindBrowser(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(thread, MatchBrowser, reinterpret_cast<LPARAM>(&found));
  return found;
}

struct ChildSearch {
  const std::function<bool(HWND)>* match;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<ChildSearch*>(p);
  if ((*s->match)(w)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindChild(HWND parent, const std::function<bool(HWND)>& match) {
  ChildSearch search{&match, nullptr};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Runs SelectFolder on this thread while `driver` works the dialog from another one.
struct BrowserRun {
  std::wstring shownTitle;
  bool dialogSeen = false;
};

BrowserRun RunBrowser(std::string& folder, const std::function<void(HWND)>& driver) {
  BrowserRun run;
  DWORD self = GetCurrentThreadId();
  std::atomic<bool> done{false};
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 400 && !dialog && !done; ++i) {
      Sleep(50);
      dialog = FindBrowser(self);
    }
    if (!dialog) return;
    run.dialogSeen = true;
    std::wstring title = Widen(kTitle);
    HWND label = FindChild(dialog, [&](HWND w) { return ClassOf(w) == L"Static" && TextOf(w) == title; });
    if (label) run.shownTitle = TextOf(label);
    driver(dialog);
  });
  SelectFolder(kTitle, folder);
  done = true;
  helper.join();
  return run;
}

TEST(SelectFolderGui, CancelGivesTheEmptyString) {
  std::string folder = "C:\\previous";
  BrowserRun run = RunBrowser(folder, [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  ASSERT_TRUE(run.dialogSeen) << "no folder browser appeared";
  EXPECT_EQ(run.shownTitle, Widen(kTitle)) << "the title is shown above the tree";
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
  std::wstring chosenText;
  BrowserRun run = RunBrowser(folder, [&](HWND dialog) {
    HWND tree = FindChild(dialog, [](HWND w) { return ClassOf(w) == WC_TREEVIEWW; });
    if (!tree) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    // Walk the tree (the root may be shown as an item of its own) for the item of drive C:.
    HTREEITEM target = nullptr;
    std::function<void(HTREEITEM)> walk = [&](HTREEITEM item) {
      for (; item && !target; item = TreeView_GetNextSibling(tree, item)) {
        wchar_t buffer[260] = {};
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = buffer;
        tv.cchTextMax = 260;
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        if (std::wstring(buffer).find(L"C:") != std::wstring::npos) {
          target = item;
          chosenText = buffer;
          return;
        }
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        walk(TreeView_GetChild(tree, item));
      }
    };
    walk(TreeView_GetRoot(tree));
    if (!target) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(target));
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  ASSERT_TRUE(run.dialogSeen);
  ASSERT_FALSE(chosenText.empty()) << "no item for drive C: in the tree";
  EXPECT_EQ(folder, "C:\\");
  EXPECT_TRUE(FolderExists(folder));
}

}  // namespace
