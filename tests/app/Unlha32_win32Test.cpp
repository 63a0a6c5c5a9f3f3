// TUnlha32 with the real UNLHA32.DLL: the payload archive this program carries as its resource
// PGM is written out and extracted over an older installation in folders whose names hold
// blanks and Japanese characters. The library is taken only from the system folders, in their
// order; a planted copy beside the program or in the current folder is never loaded. Without
// the library: one error box, then the silent abort.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/PayloadResource.h"
#include "app/Unlha32.h"
#include "fileops/FileOps.h"
#include "framework/Dialogs.h"
#include "framework/SysUtils.h"
#include "support/GuiDriver.h"
#include "support/TestPaths.h"
#include "text/Ascii.h"
#include "text/CodePage.h"

namespace {

namespace fs = std::filesystem;

// A path from UTF-8 text: std::filesystem would read narrow text in the ANSI code page.
fs::path P(const std::string& utf8) { return fs::path(text::Widen(utf8)); }

const char* const kMembers[] = {"TovoRept.DLL", "Tovo.EXE", "TovoSys.INI", "TovoForm.INI", "TovoPrn.INI",
                                "TovoData.DLL"};

std::string U8(const fs::path& p) { return text::Narrow(p.wstring()); }

fs::path Folder(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH];
  const UINT n = query(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? fs::path(std::wstring(buffer, n)) : fs::path();
}
fs::path SystemFolder() { return Folder(GetSystemDirectoryW); }
fs::path WindowsFolder() { return Folder(GetSystemWindowsDirectoryW); }
fs::path BuiltLibrary() { return testing_support::BinaryDir() / "unlha32" / "UNLHA32.dll"; }
fs::path PlantedLibrary() { return testing_support::BinaryDir() / "tests" / "app" / "planted" / "UNLHA32.DLL"; }

// A file copied to `folder`\UNLHA32.DLL for as long as the object lives.
class LibraryCopy {
 public:
  explicit LibraryCopy(const fs::path& folder, const fs::path& from = BuiltLibrary()) : path_(folder / "UNLHA32.DLL") {
    EXPECT_TRUE(CopyFileW(from.wstring().c_str(), path_.wstring().c_str(), TRUE))
        << "cannot copy " << from << " to " << path_ << ": error " << GetLastError();
  }
  ~LibraryCopy() { DeleteFileW(path_.wstring().c_str()); }
  LibraryCopy(const LibraryCopy&) = delete;
  LibraryCopy& operator=(const LibraryCopy&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// The library in the system directory, where the update run finds it.
class InstalledLibrary : public LibraryCopy {
 public:
  InstalledLibrary() : LibraryCopy(SystemFolder()) {}
};

bool SamePath(const std::string& a, const fs::path& b) {
  return text::AsciiLower(a) == text::AsciiLower(U8(b));
}

// Every test starts with no UNLHA32.DLL in any of the folders TUnlha32 looks in.
class Unlha32 : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const fs::path& folder : {SystemFolder(), WindowsFolder() / "SYSTEM", WindowsFolder()}) {
      std::error_code ec;
      ASSERT_FALSE(fs::exists(folder / "UNLHA32.DLL", ec))
          << folder << " holds a UNLHA32.DLL left over from an interrupted test; remove it";
    }
  }
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

TEST_F(Unlha32, ExtractsThePayloadOverAnOlderInstallation) {
  InstalledLibrary library;
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
    EXPECT_TRUE(SamePath(unlha.LibraryPath(), library.Path())) << unlha.LibraryPath();
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
  fileops::DeleteFolder(nullptr, U8(temp));
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_TRUE(fs::exists(temp.parent_path()));
}

TEST_F(Unlha32, BindsEvenWhenTheLibraryIsPresent) {
  InstalledLibrary library;
  TUnlha32 unlha;
  EXPECT_FALSE(unlha.BindEntryPoints());
  EXPECT_FALSE(unlha.BindEntryPoints());
  // A command the library refuses is passed through without complaint.
  unlha.Execute("q nothing");
}

TEST_F(Unlha32, DestructionUnloadsTheLibrary) {
  InstalledLibrary library;
  ASSERT_EQ(GetModuleHandleW(L"UNLHA32.DLL"), nullptr);
  {
    TUnlha32 unlha;
    EXPECT_NE(GetModuleHandleW(L"UNLHA32.DLL"), nullptr);
  }
  EXPECT_EQ(GetModuleHandleW(L"UNLHA32.DLL"), nullptr);
}

TEST_F(Unlha32, LibraryWithoutTheEntriesStillBindsAndExecuteDoesNothing) {
  // Another library under the name UNLHA32.DLL: it loads, but exports none of the three names.
  const fs::path dir = testing_support::FreshTempDir("unlha32_other");
  {
    LibraryCopy other(SystemFolder(), testing_support::BinaryDir() / "standin" / "bin" / "TovoRept.DLL");
    TUnlha32 unlha;
    EXPECT_FALSE(unlha.BindEntryPoints());
    unlha.Execute("e -c -y \"" + U8(dir) + "\\a.lzh\" \"" + U8(dir) + "\\\"");
    EXPECT_FALSE(unlha.LastResult());
  }
  EXPECT_EQ(GetModuleHandleW(L"UNLHA32.DLL"), nullptr);
}

TEST_F(Unlha32, SystemFolderThenWindowsSystemThenWindows) {
  // In each folder a different library, so that the one loaded tells which folder won.
  LibraryCopy inWindows(WindowsFolder(), testing_support::BinaryDir() / "standin" / "bin" / "TovoRept.DLL");
  {
    TUnlha32 unlha;
    EXPECT_TRUE(SamePath(unlha.LibraryPath(), inWindows.Path())) << unlha.LibraryPath();
  }
  LibraryCopy inWindowsSystem(WindowsFolder() / "SYSTEM", BuiltLibrary());
  {
    TUnlha32 unlha;
    EXPECT_TRUE(SamePath(unlha.LibraryPath(), inWindowsSystem.Path())) << unlha.LibraryPath();
  }
  LibraryCopy inSystem(SystemFolder(), testing_support::BinaryDir() / "standin" / "bin" / "TovoRept.DLL");
  {
    TUnlha32 unlha;
    EXPECT_TRUE(SamePath(unlha.LibraryPath(), inSystem.Path())) << unlha.LibraryPath();
  }
}

// UNLHA32.DLL planted beside this program and in the current folder, each leaving a mark in a
// file when it is loaded; the current folder is put back afterwards.
class PlantedLibraries : public Unlha32 {
 protected:
  void SetUp() override {
    Unlha32::SetUp();
    const fs::path dir = testing_support::FreshTempDir("unlha32_planted");
    marker_ = dir / "loaded.txt";
    SetEnvironmentVariableW(L"NORVEX_PLANTED_MARKER", marker_.wstring().c_str());
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    besideProgram_ = std::make_unique<LibraryCopy>(fs::path(self).parent_path(), PlantedLibrary());
    current_ = fs::current_path();
    inCurrentFolder_ = std::make_unique<LibraryCopy>(dir, PlantedLibrary());
    fs::current_path(dir);
  }
  void TearDown() override {
    fs::current_path(current_);
    SetEnvironmentVariableW(L"NORVEX_PLANTED_MARKER", nullptr);
    besideProgram_.reset();
    inCurrentFolder_.reset();
  }
  std::string Marks() const {
    std::error_code ec;
    return fs::exists(marker_, ec) ? testing_support::ReadFileBytes(marker_) : std::string();
  }
  fs::path marker_, current_;
  std::unique_ptr<LibraryCopy> besideProgram_, inCurrentFolder_;
};

TEST_F(PlantedLibraries, TheMarkShowsALoad) {
  // Without this the other tests' "no mark" would prove nothing.
  HMODULE planted = LoadLibraryW(inCurrentFolder_->Path().wstring().c_str());
  ASSERT_NE(planted, nullptr);
  FreeLibrary(planted);
  EXPECT_NE(Marks(), "");
}

TEST_F(PlantedLibraries, AreNotLoadedWhenTheSystemFolderHasTheLibrary) {
  InstalledLibrary library;
  TUnlha32 unlha;
  EXPECT_TRUE(SamePath(unlha.LibraryPath(), library.Path())) << unlha.LibraryPath();
  EXPECT_EQ(Marks(), "");
  EXPECT_EQ(GetModuleHandleW(besideProgram_->Path().wstring().c_str()), nullptr);
  EXPECT_EQ(GetModuleHandleW(inCurrentFolder_->Path().wstring().c_str()), nullptr);
}

TEST_F(PlantedLibraries, AreNotLoadedWhenNoSystemFolderHasTheLibrary) {
  SetMessageDlgHandler([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return mrOk; });
  EXPECT_THROW(TUnlha32 unlha, EAbort);
  SetMessageDlgHandler(nullptr);
  EXPECT_EQ(Marks(), "");
}

TEST_F(Unlha32, CommandLineOutsideTheAnsiCodePageIsRefused) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "every character fits the ANSI code page here";
  InstalledLibrary library;
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

TEST_F(Unlha32, MissingLibraryShowsTheMessageOnceThenAbortsSilently) {
  MessageRecorder recorder;
  EXPECT_THROW(TUnlha32 unlha, EAbort);
  ASSERT_EQ(recorder.texts.size(), 1u);
  EXPECT_EQ(recorder.texts[0],
            "バックアップが正常に実行できません.\n\r\n\r"
            "ファイル名 UNLHA32.DLL がありません.ディレクトリ\\WINDOWS\\SYSTEM\\にコピーしてください.");
  EXPECT_EQ(recorder.kinds[0], mtError);
  EXPECT_TRUE(recorder.onlyOk);
}

TEST_F(Unlha32, MissingLibraryMessageAsTheUserSeesIt) {
  int boxes = 0;
  std::string title;
  std::vector<std::string> texts, buttons;
  // The constructor's box runs its modal loop on this thread; the driver reads and answers it.
  gui::DriverThread driver([&] {
    HWND box = gui::WaitForTopLevel("", "エラー", 20000);
    while (box) {
      ++boxes;
      title = gui::GetText(box);
      for (const gui::ChildInfo& c : gui::Children(box)) {
        if (_stricmp(c.className.c_str(), "Button") == 0) buttons.push_back(c.text);
        else if (!c.text.empty()) texts.push_back(c.text);
      }
      if (!gui::PressButton(box, "OK")) PostMessageW(box, WM_CLOSE, 0, 0);
      gui::WaitFor([box]() -> HWND { return IsWindow(box) ? nullptr : box; }, 5000);
      // A second box would follow at once.
      box = gui::WaitForTopLevel("", "エラー", 1000);
    }
  });
  bool aborted = false;
  try {
    TUnlha32 unlha;
  } catch (const EAbort&) {
    aborted = true;
  }
  driver.Join();
  EXPECT_TRUE(aborted);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(title, "エラー");
  EXPECT_EQ(buttons, std::vector<std::string>{"OK"});
  std::string all;
  for (const std::string& t : texts) all += t;
  EXPECT_NE(all.find("バックアップが正常に実行できません."), std::string::npos) << all;
  EXPECT_NE(all.find("ファイル名 UNLHA32.DLL がありません.ディレクトリ\\WINDOWS\\SYSTEM\\にコピーしてください."),
            std::string::npos)
      << all;
}

}  // namespace
