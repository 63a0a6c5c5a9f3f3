// TUnlha32 with the real UNLHA32.DLL: the payload archive this program carries as its resource
// PGM is written out and extracted over an older installation in folders whose names hold
// blanks and Japanese characters. Without the library: one error box, then the silent abort.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "framework/Dialogs.h"
#include "framework/SysUtils.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"
#include "util/FileOps.h"
#include "util/Unlha32.h"

namespace {

namespace fs = std::filesystem;

// A path from UTF-8 text: std::filesystem would read narrow text in the ANSI code page.
fs::path P(const std::string& utf8) { return fs::path(text::Widen(utf8)); }

const char* const kMembers[] = {"TovoRept.DLL", "Tovo.EXE", "TovoSys.INI", "TovoForm.INI", "TovoPrn.INI",
                                "TovoData.DLL"};

std::string U8(const fs::path& p) { return text::Narrow(p.wstring()); }

// Where LoadLibrary finds UNLHA32.DLL for this test: the library's build folder, or nowhere.
class LibrarySearch {
 public:
  explicit LibrarySearch(bool withLibrary) {
    const fs::path dir = testing_support::BinaryDir() / "unlha32";
    SetDllDirectoryW(withLibrary ? dir.wstring().c_str() : L"");
  }
  ~LibrarySearch() { SetDllDirectoryW(nullptr); }
};

std::string FileVersionOf(const fs::path& file) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.wstring().c_str(), &handle);
  if (size == 0) return "";
  std::vector<char> block(size);
  if (!GetFileVersionInfoW(file.wstring().c_str(), 0, size, block.data())) return "";
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) return "";
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
         "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

TEST(Unlha32, ExtractsThePayloadOverAnOlderInstallation) {
  LibrarySearch search(true);
  const fs::path root = testing_support::FreshTempDir("unlha32") / P("展開 先");
  const fs::path temp = root / P("Data 顧客") / "Temp";
  const fs::path installed = root / "Program Files" / P("トヴォ 顧客管理");
  fs::create_directories(temp);
  fs::create_directories(installed);
  // The older installation: an older Tovo.EXE, a settings file written today (newer than the
  // archive's copy), and a file of the user's that the update does not carry.
  fs::copy_file(testing_support::BinaryDir() / "standin" / "old" / "Tovo.EXE", installed / "Tovo.EXE");
  ASSERT_EQ(FileVersionOf(installed / "Tovo.EXE"), "1.9.2.22");
  testing_support::WriteFileBytes(installed / "TovoSys.INI", "[old]\r\n");
  testing_support::WriteFileBytes(installed / P("顧客メモ.txt"), "keep me");

  SavePayloadResource(U8(temp), "N_UpDate120502.lzh");
  ASSERT_TRUE(fs::exists(temp / "N_UpDate120502.lzh"));
  {
    TUnlha32 unlha;
    ASSERT_FALSE(unlha.BindEntryPoints());
    unlha.Execute("e -c -y \"" + U8(temp) + "\\N_UpDate120502.lzh\" \"" + U8(installed) + "\\\"");
  }
  const fs::path staged = testing_support::BinaryDir() / "standin" / "members";
  for (const char* name : kMembers) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(installed / name));
    EXPECT_EQ(testing_support::ReadFileBytes(installed / name), testing_support::ReadFileBytes(staged / name));
  }
  EXPECT_EQ(FileVersionOf(installed / "Tovo.EXE"), "1.9.4.36");
  EXPECT_EQ(testing_support::ReadFileBytes(installed / P("顧客メモ.txt")), "keep me");
  // The update run then deletes the temporary folder with the archive in it.
  DeleteFolder(nullptr, U8(temp));
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_TRUE(fs::exists(temp.parent_path()));
}

TEST(Unlha32, BindsEvenWhenTheLibraryIsPresent) {
  LibrarySearch search(true);
  TUnlha32 unlha;
  EXPECT_FALSE(unlha.BindEntryPoints());
  EXPECT_FALSE(unlha.BindEntryPoints());
  // A command the library refuses is passed through without complaint.
  unlha.Execute("q nothing");
}

TEST(Unlha32, CommandLineOutsideTheAnsiCodePageIsRefused) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "every character fits the ANSI code page here";
  LibrarySearch search(true);
  const fs::path root = testing_support::FreshTempDir("unlha32_ansi");
  TUnlha32 unlha;
  ASSERT_FALSE(unlha.BindEntryPoints());
  // U+00E9 has no Shift-JIS form (and a best-fit "e" would name another folder).
  EXPECT_THROW(unlha.Execute("e -c -y \"" + U8(root) + "\\a.lzh\" \"" + U8(root) + "\\caf\xC3\xA9\\\""),
               Exception);
}

class MessageRecorder {
 public:
  MessageRecorder() {
    SetMessageDlgHandler([this](const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) {
      texts.push_back(text);
      kinds.push_back(kind);
      onlyOk = onlyOk && buttons.Contains(mbOK) && !buttons.Contains(mbYes) && !buttons.Contains(mbNo) &&
               !buttons.Contains(mbCancel) && !buttons.Contains(mbAbort);
      return mrOk;
    });
  }
  ~MessageRecorder() { SetMessageDlgHandler(nullptr); }
  std::vector<std::string> texts;
  std::vector<TMsgDlgType> kinds;
  bool onlyOk = true;
};

TEST(Unlha32, MissingLibraryShowsTheMessageOnceThenAbortsSilently) {
  LibrarySearch search(false);
  MessageRecorder recorder;
  EXPECT_THROW(TUnlha32 unlha, EAbort);
  ASSERT_EQ(recorder.texts.size(), 1u);
  EXPECT_EQ(recorder.texts[0],
            "バックアップが正常に実行できません.\n\r\n\r"
            "ファイル名 UNLHA32.DLL がありません.ディレクトリ\\WINDOWS\\SYSTEM\\にコピーしてください.");
  EXPECT_EQ(recorder.kinds[0], mtError);
  EXPECT_TRUE(recorder.onlyOk);
}

struct SeenDialog {
  std::wstring title;
  std::vector<std::wstring> statics, buttons;
};

struct WindowSearch {
  DWORD pid;
  std::vector<HWND>* handled;
  HWND found = nullptr;
};

BOOL CALLBACK FindNewWindow(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<WindowSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != s->pid || !IsWindowVisible(w)) return TRUE;
  for (HWND h : *s->handled)
    if (h == w) return TRUE;
  s->found = w;
  return FALSE;
}

BOOL CALLBACK CollectChild(HWND c, LPARAM p) {
  wchar_t text[1024] = {}, cls[64] = {};
  GetWindowTextW(c, text, 1024);
  GetClassNameW(c, cls, 64);
  reinterpret_cast<std::vector<std::pair<HWND, std::wstring>>*>(p)->push_back({c, std::wstring(cls) + L"|" + text});
  return TRUE;
}

// Watches for this process's dialogs until `stop`, reading each one and pressing its OK.
void WatchDialogs(std::atomic<bool>& stop, std::vector<SeenDialog>& seen) {
  std::vector<HWND> handled;
  while (!stop) {
    WindowSearch search{GetCurrentProcessId(), &handled};
    EnumWindows(FindNewWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found) {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      continue;
    }
    HWND dialog = search.found;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let it finish building
    SeenDialog d;
    wchar_t buffer[1024];
    GetWindowTextW(dialog, buffer, 1024);
    d.title = buffer;
    std::vector<std::pair<HWND, std::wstring>> children;
    EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
    HWND ok = nullptr;
    for (const auto& [c, entry] : children) {
      const std::wstring cls = entry.substr(0, entry.find(L'|')), text = entry.substr(entry.find(L'|') + 1);
      if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        d.buttons.push_back(text);
        if (text == L"OK") ok = c;
      } else if (!text.empty()) {
        d.statics.push_back(text);
      }
    }
    seen.push_back(d);
    handled.push_back(dialog);
    if (ok) PostMessageW(ok, BM_CLICK, 0, 0);
    else PostMessageW(dialog, WM_CLOSE, 0, 0);
  }
}

TEST(Unlha32, MissingLibraryMessageAsTheUserSeesIt) {
  LibrarySearch search(false);
  std::atomic<bool> stop{false};
  std::vector<SeenDialog> seen;
  std::thread watcher(WatchDialogs, std::ref(stop), std::ref(seen));
  bool aborted = false;
  try {
    TUnlha32 unlha;
  } catch (const EAbort&) {
    aborted = true;
  }
  // Any second box would come at once; give it a moment to show before stopping the watch.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  stop = true;
  watcher.join();
  EXPECT_TRUE(aborted);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].title, L"エラー");
  EXPECT_EQ(seen[0].buttons, std::vector<std::wstring>{L"OK"});
  std::wstring all;
  for (const auto& s : seen[0].statics) all += s;
  EXPECT_NE(all.find(L"バックアップが正常に実行できません."), std::wstring::npos);
  EXPECT_NE(all.find(L"ファイル名 UNLHA32.DLL がありません.ディレクトリ\\WINDOWS\\SYSTEM\\にコピーしてください."),
            std::wstring::npos);
}

}  // namespace
