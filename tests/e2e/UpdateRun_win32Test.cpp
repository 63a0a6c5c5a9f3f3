// The update run as a user meets it: SETUP.EXE started as a program of its own over a sample
// installation, its update button clicked, every message box read (title, text, buttons) and
// answered, and the files on disk compared with what they were.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "GuiDriver.h"
#include "SampleInstallation.h"
#include "SetupProcess.h"
#include "engine/Table.h"
#include "os/WinHandles.h"
#include "lha/ArchiveReader.h"
#include "paradox/EngineConfig.h"
#include "support/TestPaths.h"
#include "support/UpdateTexts.h"
#include "text/Ascii.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

const std::wstring kCaption = L"「Norvex」アップデート";
constexpr char kAppTitle[] = "Norvex アップデートプログラム";

using namespace update_texts;

constexpr char kYes[] = "はい(&Y)";
constexpr char kNo[] = "いいえ(&N)";
constexpr char kOk[] = "OK";
constexpr char kAbort[] = "中止(&A)";
const std::vector<std::string> kPayloadMembers = {"TovoRept.DLL", "Tovo.EXE", "TovoSys.INI",
                                                  "TovoForm.INI", "TovoPrn.INI", "TovoData.DLL"};

// A message box as the user sees it.
struct Box {
  HWND hwnd = nullptr;
  std::string className;
  std::string title;
  std::string text;
  std::vector<std::string> buttons;
  bool hasTree = false;  // the folder browser
};

Box ReadBox(HWND w) {
  Box b;
  b.hwnd = w;
  b.className = gui::ClassName(w);
  b.title = gui::GetText(w);
  for (const gui::ChildInfo& c : gui::Children(w)) {
    if (_stricmp(c.className.c_str(), "Button") == 0 && c.visible) b.buttons.push_back(c.text);
    else if (_stricmp(c.className.c_str(), "Static") == 0 && !c.text.empty() && b.text.empty()) b.text = c.text;
    else if (c.className == "SysTreeView32") b.hasTree = true;
  }
  return b;
}

bool IsBoxClass(HWND w) {
  const std::string c = gui::ClassName(w);
  return c == "TMessageForm" || c == "#32770";
}

// Waits until the program shows a dialog of its own with its buttons in place.
std::optional<Box> WaitForBox(const SetupProcess& p, std::chrono::milliseconds timeout = 30s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    for (HWND w : p.TopLevelWindows())
      if (IsBoxClass(w)) {
        Box b = ReadBox(w);
        if (!b.buttons.empty() || b.hasTree) return b;
      }
    if (p.WaitForExit(0ms)) return std::nullopt;
    std::this_thread::sleep_for(30ms);
  }
  return std::nullopt;
}

// Presses a button of the box and waits until the box is gone.
void Answer(const Box& box, const std::string& caption) {
  ASSERT_TRUE(gui::PressButton(box.hwnd, caption)) << "no button " << caption << " in box " << box.text;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (IsWindow(box.hwnd) && IsWindowVisible(box.hwnd) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(IsWindow(box.hwnd) && IsWindowVisible(box.hwnd)) << "box still up: " << box.text;
}

// A message as the log holds it: one line, its breaks written as escapes.
std::string AsLogged(const std::string& message) {
  std::string escaped;
  for (char c : message) {
    if (c == '\r') escaped += "\\r";
    else if (c == '\n') escaped += "\\n";
    else escaped += c;
  }
  return escaped;
}

std::string ReadLog(const SampleInstallation& s) {
  std::error_code ec;
  const fs::path log = s.Installed() / "SETUP.LOG";
  return fs::exists(log, ec) ? testing_support::ReadFileBytes(log) : std::string();
}

// What a run may leave even when it changes nothing: its own log.
std::map<std::string, std::string> WithoutLog(std::map<std::string, std::string> files) {
  files.erase(text::PathToUtf8(fs::path("Tovo") / "SETUP.LOG"));
  return files;
}

class UpdateRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    registry_ = new RegistryState();
    TemplateTables();
  }
  static void TearDownTestSuite() {
    delete registry_;
    registry_ = nullptr;
    SetSystemLibrary(false);
  }

  // Lays out the installation, points "InPath" at its installed folder and starts SETUP.EXE.
  void Start(const std::string& name, SampleOptions options = {OldTovoExe()},
             std::optional<std::string> inPath = std::string("installed")) {
    sample_ = std::make_unique<SampleInstallation>(name, options);
    if (inPath && *inPath == "installed") inPath = text::PathToUtf8(sample_->Installed());
    RegistryState::SetInPath(inPath);
    before_ = sample_->Snapshot();
    Launch();
  }

  void Launch() {
    setup_ = std::make_unique<SetupProcess>(sample_->SetupExe());
    form_ = setup_->WaitForWindow(kCaption, 30s);
    ASSERT_NE(form_, nullptr) << "the update window did not open";
  }

  void PressUpdate() {
    HWND button = gui::FindChildByText(form_, "アップデート実行");
    ASSERT_NE(button, nullptr);
    ClickMiddle(button);
  }

  // The next box must be `text` of kind `title` with exactly `buttons`.
  Box Expect(const std::string& title, const std::string& text, const std::vector<std::string>& buttons) {
    std::optional<Box> box = WaitForBox(*setup_);
    EXPECT_TRUE(box) << "no message box; expected: " << text;
    if (!box) return {};
    EXPECT_EQ(box->title, title);
    EXPECT_EQ(box->text, text);
    EXPECT_EQ(box->buttons, buttons);
    return *box;
  }

  void ExpectWindowStaysOpen() {
    EXPECT_FALSE(setup_->WaitForExit(300ms)) << "the program ended";
    EXPECT_TRUE(IsWindowVisible(form_));
    for (HWND w : setup_->TopLevelWindows()) EXPECT_FALSE(IsBoxClass(w)) << "a box is still up";
  }

  void ExpectProgramEnds() { EXPECT_TRUE(setup_->WaitForExit(30s)) << "the program did not end"; }

  void ExpectNothingChanged() { EXPECT_EQ(WithoutLog(sample_->Snapshot()), WithoutLog(before_)); }

  static RegistryState* registry_;
  std::unique_ptr<SampleInstallation> sample_;
  std::map<std::string, std::string> before_;
  std::unique_ptr<SetupProcess> setup_;
  HWND form_ = nullptr;
};

RegistryState* UpdateRunTest::registry_ = nullptr;

TEST_F(UpdateRunTest, InPathAbsentMeansNotInstalledAndCreatesOnlyTheKey) {
  Start("absent", {OldTovoExe()}, std::nullopt);
  ASSERT_FALSE(RegistryState::TovoKeyExists());
  PressUpdate();
  Answer(Expect("エラー", kNotInstalled, {kYes}), kYes);
  ExpectWindowStaysOpen();
  EXPECT_TRUE(RegistryState::TovoKeyExists()) << "opening the key creates \\Software\\Tovo";
  ExpectNothingChanged();
  EXPECT_EQ(ReadLog(*sample_), "");
}

TEST_F(UpdateRunTest, InPathFalseMeansNotInstalledAndAnotherTryAsksAgain) {
  Start("false", {OldTovoExe()}, std::string("False"));
  for (int attempt = 0; attempt < 2; ++attempt) {
    PressUpdate();
    Answer(Expect("エラー", kNotInstalled, {kYes}), kYes);
    ExpectWindowStaysOpen();
  }
}

TEST_F(UpdateRunTest, InPathOfAnotherTypeGivesTheFrameworkErrorBox) {
  Start("dword", {OldTovoExe()}, std::nullopt);
  RegistryState::SetInPathDword(1);
  PressUpdate();
  // No full stop: the class library adds one only after a character that sorts after '.'.
  Box box = Expect(kAppTitle, "Invalid data type for 'InPath'", {kOk});
  Answer(box, kOk);
  ExpectWindowStaysOpen();
}

TEST_F(UpdateRunTest, EmptyInPathWithoutCandidatesShowsTheBrowserAndCancelMeansNotInstalled) {
  Start("browse", {OldTovoExe()}, std::string());
  std::error_code ec;
  ASSERT_FALSE(fs::exists("C:\\Tovo", ec));
  ASSERT_FALSE(fs::exists("C:\\Program Files\\Tovo", ec));
  PressUpdate();
  std::optional<Box> browser = WaitForBox(*setup_);
  ASSERT_TRUE(browser);
  EXPECT_TRUE(browser->hasTree) << "the folder browser, not a message: " << browser->text;
  bool titled = false;
  for (const gui::ChildInfo& c : gui::Children(browser->hwnd)) titled |= c.text == kBrowseTitle;
  EXPECT_TRUE(titled) << "the browser shows the browse title";
  PostMessageW(browser->hwnd, WM_COMMAND, IDCANCEL, 0);
  Answer(Expect("エラー", kNotInstalled, {kYes}), kYes);
  ExpectWindowStaysOpen();
}

// Wine finds drives through its prefix's dosdevices folder, which DefineDosDevice does not
// reach; under Wine the set-up test e2e_DriveD links d: there to an empty folder for the run.
bool DriveDIsFree() {
  std::error_code ec;
  return fs::is_directory("D:\\", ec) && !fs::exists("D:\\Program Files\\Tovo", ec) && !fs::exists("D:\\Tovo", ec);
}

// What a scan test puts on drive D:, removed whatever the test's outcome.
struct DriveDFolders {
  DriveDFolders() = default;
  DriveDFolders(const DriveDFolders&) = delete;
  DriveDFolders& operator=(const DriveDFolders&) = delete;
  ~DriveDFolders() {
    std::error_code e;
    fs::remove_all("D:\\Program Files", e);
    fs::remove_all("D:\\Tovo", e);
  }
};

TEST_F(UpdateRunTest, EmptyInPathScansDriveLettersFirstAndTakesCTovoBeforeDProgramFiles) {
  Start("scan", {OldTovoExe()}, std::string());
  // d:\Program Files\Tovo holds the current version, c:\Tovo no Tovo.EXE: which question comes
  // tells which folder the scan took.
  if (!DriveDIsFree()) GTEST_SKIP() << "no free drive D: here (under Wine the set-up test e2e_DriveD links one)";
  DriveDFolders removeD;
  std::error_code ec;
  ASSERT_TRUE(fs::create_directories("D:\\Program Files\\Tovo", ec)) << "drive D: cannot be written: " << ec.message();
  fs::copy_file(CurrentTovoExe(), "D:\\Program Files\\Tovo\\Tovo.EXE");
  ASSERT_FALSE(fs::exists("C:\\Tovo", ec)) << "left over from elsewhere";
  fs::create_directory("C:\\Tovo");
  struct CTovo {
    ~CTovo() {
      std::error_code e;
      fs::remove_all("C:\\Tovo", e);
    }
  } removeC;

  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kNo);
  ExpectWindowStaysOpen();
  EXPECT_TRUE(fs::exists("C:\\Tovo\\SETUP.LOG", ec)) << "the run worked on c:\\Tovo";
}

TEST_F(UpdateRunTest, EmptyInPathTakesProgramFilesBeforeTheRootFolderOfTheSameDrive) {
  Start("scan-d", {OldTovoExe()}, std::string());
  // d:\Program Files\Tovo holds the current version, d:\Tovo nothing: the already-current
  // question shows that the scan reached D: and took Program Files first.
  if (!DriveDIsFree()) GTEST_SKIP() << "no free drive D: here (under Wine the set-up test e2e_DriveD links one)";
  DriveDFolders removeD;
  std::error_code ec;
  ASSERT_FALSE(fs::exists("C:\\Tovo", ec) || fs::exists("C:\\Program Files\\Tovo", ec)) << "left over from elsewhere";
  ASSERT_TRUE(fs::create_directories("D:\\Program Files\\Tovo", ec)) << "drive D: cannot be written: " << ec.message();
  fs::copy_file(CurrentTovoExe(), "D:\\Program Files\\Tovo\\Tovo.EXE");
  ASSERT_TRUE(fs::create_directory("D:\\Tovo", ec));

  PressUpdate();
  Answer(Expect("情報", kAlreadyCurrent, {kYes, kNo}), kNo);
  Answer(Expect("情報", kCancelled, {kOk}), kOk);
  ExpectWindowStaysOpen();
}

TEST_F(UpdateRunTest, InPathNamingAMissingFolderReadsVersionZeroAndAsksForConfirmation) {
  Start("missing-folder", {OldTovoExe()}, std::string("C:\\NoSuchTovoFolder"));
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kNo);
  ExpectWindowStaysOpen();
  ExpectNothingChanged();
}

TEST_F(UpdateRunTest, RunningApplicationIsRefusedAndBroughtForward) {
  Start("running");
  SetupProcess tovo(sample_->Installed() / "Tovo.EXE");
  HWND tovoWindow = tovo.WaitForWindow(L"トヴォ顧客管理", 30s);
  // Ended through its window, not terminated: only then does it delete its global atom, which
  // would otherwise outlive it and have every later run refused as "running".
  struct CloseTovo {
    const SetupProcess& process;
    HWND window;
    ~CloseTovo() {
      if (window) PostMessageW(window, WM_CLOSE, 0, 0);
      process.WaitForExit(10s);
    }
  } closeTovo{tovo, tovoWindow};
  ASSERT_NE(tovoWindow, nullptr);
  ASSERT_NE(GlobalFindAtomW(L"Tovo.EXE"), 0);
  PressUpdate();
  Answer(Expect("確認", kRunning, {kYes}), kYes);
  ExpectWindowStaysOpen();
  // Another process's window comes forward once that process has handled the activation, and
  // under Wine only after the closed box has handed the focus back: a matter of seconds.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (GetForegroundWindow() != tovoWindow && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  EXPECT_EQ(GetForegroundWindow(), tovoWindow) << "the application's window is brought forward";
  ExpectNothingChanged();
}

TEST_F(UpdateRunTest, CurrentVersionAsksAndNoGivesTheCancelledMessage) {
  Start("current", {CurrentTovoExe()});
  PressUpdate();
  Answer(Expect("情報", kAlreadyCurrent, {kYes, kNo}), kNo);
  Answer(Expect("情報", kCancelled, {kOk}), kOk);
  ExpectWindowStaysOpen();
  ExpectNothingChanged();
}

TEST_F(UpdateRunTest, ASecondPressThatFindsAnotherFolderDoesNotReadTheFirstOnesVersion) {
  Start("second-press", {CurrentTovoExe()});
  PressUpdate();
  Answer(Expect("情報", kAlreadyCurrent, {kYes, kNo}), kNo);
  Answer(Expect("情報", kCancelled, {kOk}), kOk);
  // Another folder, whose Tovo.EXE has no version block at all.
  const fs::path other = sample_->Root() / "other";
  fs::create_directories(other);
  testing_support::WriteFileBytes(other / "Tovo.EXE", "MZ no version block");
  RegistryState::SetInPath(text::PathToUtf8(other));
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kNo);
  ExpectWindowStaysOpen();
  const std::string log = testing_support::ReadFileBytes(other / "SETUP.LOG");
  EXPECT_NE(log.find("Installed version: 0.0.0.0, target version: 19436"), std::string::npos) << log;
}

TEST_F(UpdateRunTest, VersionTextBeyond32BitsGivesTheFrameworkErrorBox) {
  Start("beyond", {TovoExeOfVersion("6_5535_65535_65535")});
  PressUpdate();
  Answer(Expect(kAppTitle, "'655356553565535' is not a valid integer value.", {kOk}), kOk);
  ExpectWindowStaysOpen();
  ExpectNothingChanged();
}

TEST_F(UpdateRunTest, NoAtTheConfirmationChangesNothingAndAllowsAnotherTry) {
  Start("declined");
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kNo);
  ExpectWindowStaysOpen();
  ExpectNothingChanged();
  PressUpdate();
  Box again = Expect("確認", kConfirm, {kYes, kNo});
  PostMessageW(again.hwnd, WM_CLOSE, 0, 0);  // closing the box is a No as well
  ExpectWindowStaysOpen();
  ExpectNothingChanged();
  const std::string log = ReadLog(*sample_);
  EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(log.find("Not confirmed; nothing was changed"), std::string::npos) << log;
}

TEST_F(UpdateRunTest, LibraryOnlyBesideSetupIsMissingItsMessageThenTheErrorAndTheArchiveStays) {
  SampleOptions options{OldTovoExe(), /*withUnlha=*/false};
  options.besideSetup = BesideSetup::kLibrary;
  Start("no-unlha", options);
  std::error_code ec;
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("エラー", kMissingLibrary, {kOk}), kOk);
  Answer(Expect("情報", kError, {kOk}), kOk);
  ExpectProgramEnds();
  EXPECT_TRUE(fs::exists(sample_->Live() / "Temp" / "N_UpDate120502.lzh", ec)) << "the archive stays";
  EXPECT_EQ(testing_support::ReadFileBytes(sample_->Installed() / "Tovo.EXE"),
            testing_support::ReadFileBytes(OldTovoExe()))
      << "nothing was extracted";
  const std::string log = ReadLog(*sample_);
  EXPECT_NE(log.find(AsLogged(kMissingLibrary)), std::string::npos) << "the library's message is in the log\n" << log;
}

// --- Runs that go all the way ----------------------------------------------------------------

// The size of a field as a fresh open of the table reads it.
int FieldSize(const fs::path& folder, const std::string& table, const std::string& field) {
  TTable t;
  t.SetDatabaseName(text::PathToUtf8(folder));
  t.SetTableName(table);
  t.SetTableType(TTableType::ttParadox);
  t.Open();
  return t.FieldByName(field).Size();
}

// Every record of a table as a fresh open reads it: each a line of its fields' values by name,
// so that widened fields compare equal to the narrower ones they came from.
std::multiset<std::string> Records(const fs::path& folder, const std::string& table) {
  TTable t;
  t.SetDatabaseName(text::PathToUtf8(folder));
  t.SetTableName(table);
  t.SetTableType(TTableType::ttParadox);
  t.Open();
  std::multiset<std::string> records;
  for (t.First(); !t.Eof(); t.Next()) {
    std::string line;
    for (int i = 0; i < t.FieldCount(); ++i) line += t.Fields(i).FieldName() + "=" + t.Fields(i).AsString() + "|";
    records.insert(line);
  }
  return records;
}

class CompleteRunTest : public UpdateRunTest {
 protected:
  // What a completed update leaves: the payload's files in the installed folder, no temporary
  // folder, the backup of the live tables, widened fields and the created tables in both
  // folders.
  void ExpectUpdated() {
    std::error_code ec;
    for (const std::string& member : kPayloadMembers)
      EXPECT_TRUE(fs::exists(sample_->Installed() / member, ec)) << member;
    EXPECT_EQ(testing_support::ReadFileBytes(sample_->Installed() / "Tovo.EXE"),
              testing_support::ReadFileBytes(CurrentTovoExe()));
    EXPECT_FALSE(fs::exists(sample_->Live() / "Temp", ec)) << "the temporary folder is deleted";
    EXPECT_TRUE(fs::exists(sample_->Live() / "TempData" / "KOKYAKU.DB", ec) ||
                fs::exists(sample_->Live() / "TempData" / "kokyaku.db", ec))
        << "the live customer table is backed up";
    for (const fs::path& folder : {sample_->Live(), sample_->Demo()}) {
      SCOPED_TRACE(folder.string());
      EXPECT_EQ(FieldSize(folder, "kokyaku.db", "NAME"), 32);
      EXPECT_EQ(FieldSize(folder, "bicycle.db", "TOUROKU_NO"), 20);
      EXPECT_TRUE(fs::exists(folder / "G_RIDER.DB", ec));
      EXPECT_TRUE(fs::exists(folder / "TOVO_SYOUSAI.DB", ec));
    }
  }
};

TEST_F(CompleteRunTest, OlderInstallationIsUpdatedMigratedAndLogged) {
  Start("complete");
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("情報", kFinished, {kOk}), kOk);
  ExpectProgramEnds();
  ExpectUpdated();

  const std::string log = ReadLog(*sample_);
  ASSERT_EQ(log.substr(0, 3), "\xEF\xBB\xBF");
  const std::string live = text::PathToUtf8(sample_->Live()), installed = text::PathToUtf8(sample_->Installed());
  for (const std::string& expected :
       {"Installed folder: " + installed, std::string("Installed version: 1.9.2.22, target version: 19436"),
        "Message box [確認] buttons [はい(&Y), いいえ(&N)]: " + std::string(kConfirm), std::string("Answer: Yes"),
        std::string("Check before changes passed"),
        "Extracting: e -c -y \"" + live + "\\Temp\\N_UpDate120502.lzh\" \"" + installed + "\\\"",
        std::string("Extraction result: 0"), "Deleted " + live + "\\Temp\r\n",
        "Records before Tovo " + live + "\\kokyaku.db: 40\r\n", std::string("Records before TovoDemo "),
        "Records after Tovo " + live + "\\kokyaku.db: 40\r\n", "Records after Tovo " + live + "\\G_RIDER.DB: 0\r\n",
        std::string("Migration completed"), "Message box [情報] buttons [OK]: " + std::string(kFinished),
        std::string("Update run ended; the window closes")}) {
    // Table files keep or change their letter case as the migration writes them.
    EXPECT_NE(text::AsciiLower(log).find(text::AsciiLower(expected)), std::string::npos)
        << "missing: " << expected << "\n" << log;
  }
  EXPECT_EQ(log.find("Beep"), std::string::npos) << "a completed run does not beep";
  std::error_code ec;
  EXPECT_FALSE(fs::exists(sample_->Installed() / "SetupRollback", ec)) << "the rollback folder is removed";
  // Installed files look installed: plain attributes, and the times the archive gives them.
  const std::string payload = testing_support::ReadFileBytes(testing_support::BinaryDir() / "standin" / "N_UpDate120502.lzh");
  const std::vector<lha::MemberHeader> members =
      lha::ListMembers(std::span(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()));
  ASSERT_EQ(members.size(), kPayloadMembers.size());
  for (const lha::MemberHeader& m : members) {
    SCOPED_TRACE(m.path);
    const fs::path file = sample_->Installed() / m.path;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(file.wstring().c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.dwFileAttributes & ~DWORD(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL), DWORD(0));
    const lha::FileTime written =
        (static_cast<lha::FileTime>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(written, m.writeTime.value_or(lha::FileTimeFromUnix(m.ModificationUnixTime())));
  }
  EXPECT_LT(log.find("Records before"), log.find("Extracting")) << "counted before anything changed";
}

TEST_F(CompleteRunTest, ALibraryBesideSetupIsNeverLoadedTheSystemFoldersIs) {
  for (const BesideSetup beside : {BesideSetup::kPlanted, BesideSetup::kDamaged}) {
    SCOPED_TRACE(static_cast<int>(beside));
    SampleOptions options{OldTovoExe()};
    options.besideSetup = beside;
    Start(beside == BesideSetup::kPlanted ? "planted" : "damaged", options);
    PressUpdate();
    Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
    Answer(Expect("情報", kFinished, {kOk}), kOk);
    ExpectProgramEnds();
    ExpectUpdated();
    std::error_code ec;
    EXPECT_FALSE(fs::exists(sample_->MarkerFile(), ec)) << testing_support::ReadFileBytes(sample_->MarkerFile());
    const std::string named = "Extraction library: " + text::PathToUtf8(SystemLibraryPath()) + "\r\n";
    const std::string log = ReadLog(*sample_);
    EXPECT_NE(text::AsciiLower(log).find(text::AsciiLower(named)), std::string::npos) << log;
  }
}

TEST_F(CompleteRunTest, CurrentInstallationAnsweredYesRunsEverythingIncludingTheExtraction) {
  Start("current-yes", {CurrentTovoExe()});
  std::error_code ec;
  ASSERT_FALSE(fs::exists(sample_->Installed() / "TovoRept.DLL", ec));
  PressUpdate();
  Answer(Expect("情報", kAlreadyCurrent, {kYes, kNo}), kYes);
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("情報", kFinished, {kOk}), kOk);
  ExpectProgramEnds();
  ExpectUpdated();
}

TEST_F(CompleteRunTest, TemporaryFolderThatExistedKeepsEverythingButTheArchive) {
  Start("temp-exists");
  const fs::path temp = sample_->Live() / "Temp";
  fs::create_directories(temp / "old");
  testing_support::WriteFileBytes(temp / "old" / "left.txt", "the user's");
  testing_support::WriteFileBytes(temp / L"メモ.txt", "also the user's");
  testing_support::WriteFileBytes(temp / "N_UpDate120502.lzh", "an earlier file of the archive's name");
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("情報", kFinished, {kOk}), kOk);
  ExpectProgramEnds();
  EXPECT_EQ(testing_support::ReadFileBytes(sample_->Installed() / "Tovo.EXE"),
            testing_support::ReadFileBytes(CurrentTovoExe()))
      << "the archive written over the earlier file was extracted";
  std::error_code ec;
  EXPECT_FALSE(fs::exists(temp / "N_UpDate120502.lzh", ec)) << "the archive is deleted";
  EXPECT_EQ(testing_support::ReadFileBytes(temp / "old" / "left.txt"), "the user's");
  EXPECT_EQ(testing_support::ReadFileBytes(temp / L"メモ.txt"), "also the user's");
  const std::string log = ReadLog(*sample_);
  const std::string archive = text::PathToUtf8(temp / "N_UpDate120502.lzh");
  EXPECT_NE(log.find("Deleted " + archive + "; "), std::string::npos) << log;
  EXPECT_EQ(log.find("Deleted " + text::PathToUtf8(temp) + "\r\n"), std::string::npos) << log;
}

TEST_F(CompleteRunTest, UnwritableLogChangesNothingElse) {
  Start("log-blocked");
  // A folder where the log would go: a read-only file is no obstacle to Wine run as root,
  // which leaves write permission to the host's file system.
  const fs::path log = sample_->Installed() / "SETUP.LOG";
  fs::create_directories(log);
  testing_support::WriteFileBytes(log / "kept.txt", "kept");
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("情報", kFinished, {kOk}), kOk);
  ExpectProgramEnds();
  ExpectUpdated();
  EXPECT_TRUE(fs::is_directory(log));
  EXPECT_EQ(testing_support::ReadFileBytes(log / "kept.txt"), "kept");
}

TEST_F(CompleteRunTest, MigrationThatStopsEarlyBeepsAndShowsTheSingleAbortMessage) {
  SampleOptions options{OldTovoExe()};
  options.duplicateKeysIn = "kokyaku.db";
  Start("migration-fails", options);
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  // The migration's own message about the customer table comes first.
  std::optional<Box> own = WaitForBox(*setup_, 120s);
  ASSERT_TRUE(own);
  EXPECT_NE(own->text, kDataStructureFailed);
  ASSERT_FALSE(own->buttons.empty());
  Answer(*own, own->buttons.front());
  Answer(Expect("情報", kDataStructureFailed, {kAbort}), kAbort);
  ExpectProgramEnds();
  std::error_code ec;
  EXPECT_EQ(testing_support::ReadFileBytes(sample_->Installed() / "Tovo.EXE"),
            testing_support::ReadFileBytes(CurrentTovoExe()))
      << "the program files were installed before the migration";

  const std::string log = ReadLog(*sample_);
  for (const std::string& expected :
       {std::string("Migration stopped early"), std::string("Beep"), "Message box [" + own->title + "]",
        "Message box [情報] buttons [中止(&A)]: " + std::string(kDataStructureFailed), std::string("Records after Tovo ")}) {
    EXPECT_NE(log.find(expected), std::string::npos) << "missing: " << expected << "\n" << log;
  }
  EXPECT_LT(log.find("Beep"), log.find(kDataStructureFailed));

  // The customer table the rebuild stopped on still holds every record it had; the new table
  // keeps only what was stored before the second record with the same key.
  const fs::path before = TemplateTables("kokyaku.db");
  const std::multiset<std::string> source = Records(before / "live", "kokyaku.db");
  ASSERT_GT(source.size(), 1u);
  EXPECT_EQ(Records(sample_->Live(), "kokyaku.db"), source);
  EXPECT_EQ(Records(sample_->Demo(), "kokyaku.db"), Records(before / "demo", "kokyaku.db"));
  const std::multiset<std::string> rebuilt = Records(sample_->Live(), "NewKokyaku.db");
  EXPECT_LT(rebuilt.size(), source.size());
}

// The user's recorded mapping of drive Q: to `remotePath` (HKCU\Network\Q), removed again when
// the object goes. Wine has no network redirector: the recorded path is a folder reached another
// way, which is all the run needs of it.
class RecordedMappingOfQ {
 public:
  explicit RecordedMappingOfQ(const fs::path& remotePath) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Network\\Q", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      throw std::runtime_error("cannot create HKCU\\Network\\Q");
    const std::wstring value = remotePath.wstring();
    RegSetValueExW(key, L"RemotePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  ~RecordedMappingOfQ() { RegDeleteKeyW(HKEY_CURRENT_USER, L"Network\\Q"); }
  RecordedMappingOfQ(const RecordedMappingOfQ&) = delete;
  RecordedMappingOfQ& operator=(const RecordedMappingOfQ&) = delete;
};

bool DriveQIsUnseen() { return GetDriveTypeW(L"Q:\\") == DRIVE_NO_ROOT_DIR; }

void PointLiveAliasAtQ(const SampleInstallation& s) {
  paradox::EngineConfig config = paradox::EngineConfig::Load(s.ConfigFile());
  config.SetStandardAlias("Tovo", "Q:\\data\\live");
  config.Save(s.ConfigFile());
}

TEST_F(CompleteRunTest, FoldersOnAnUnseenMappedDriveAreReachedThroughTheRecordedNetworkPath) {
  Start("mapped-drive");
  if (!DriveQIsUnseen()) GTEST_SKIP() << "drive Q: exists here";
  RecordedMappingOfQ mapping(sample_->Root());
  PointLiveAliasAtQ(*sample_);
  RegistryState::SetInPath("Q:\\Tovo");
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("情報", kFinished, {kOk}), kOk);
  ExpectProgramEnds();
  ExpectUpdated();
  const std::string log = ReadLog(*sample_);
  EXPECT_NE(log.find("Alias Tovo: Drive Q: is not visible to this process; Q:\\data\\live is reached through the "
                     "user's mapping as " + text::PathToUtf8(sample_->Live())),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Installed folder: Drive Q: is not visible to this process; Q:\\Tovo is reached through the "
                     "user's mapping as " + text::PathToUtf8(sample_->Installed())),
            std::string::npos)
      << log;
}

// --- Program files all or nothing ---------------------------------------------------------------

class InstallRollbackTest : public UpdateRunTest {
 protected:
  // Confirms and expects the run's error message: the program ends, every file (program files,
  // tables, everything else) as before, only the log new, naming `file` with `state`.
  void ExpectRolledBack(const std::string& file, const std::string& state,
                        const std::function<void()>& release = {}) {
    Answer(Expect("情報", kError, {kOk}), kOk);
    ExpectProgramEnds();
    if (release) release();
    ExpectNothingChanged();
    const std::string log = ReadLog(*sample_);
    EXPECT_NE(log.find("Verified " + file + ": " + state), std::string::npos) << log;
    EXPECT_NE(log.find("Every program file is as before"), std::string::npos) << log;
    EXPECT_EQ(log.find("Migrating the tables"), std::string::npos) << log;
  }
  void Confirm() {
    PressUpdate();
    Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  }
  // Waits until the run has passed its check, so that what the test does next meets the
  // extraction and not the check.
  bool WaitForCheckPassed() {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (ReadLog(*sample_).find("Check before changes passed") != std::string::npos) return true;
      std::this_thread::sleep_for(1ms);
    }
    return false;
  }
};

TEST_F(InstallRollbackTest, AFolderUnderTheLastMembersNamePutsTheFiveReplacedFilesBack) {
  Start("folder-member");
  fs::create_directory(sample_->Installed() / "TovoData.DLL");
  testing_support::WriteFileBytes(sample_->Installed() / "TovoData.DLL" / "inside.txt", "the user's");
  testing_support::WriteFileBytes(sample_->Installed() / "TovoSys.INI", "[the shop's settings]");
  before_ = sample_->Snapshot();
  Confirm();
  ExpectRolledBack("TovoData.DLL", "not a file");
  const std::string log = ReadLog(*sample_);
  EXPECT_NE(log.find("Extraction result: 32787"), std::string::npos) << log;
  for (const char* line : {"Tovo.EXE: the old file is put back", "TovoSys.INI: the old file is put back",
                           "TovoRept.DLL: had no old file; the new one is removed"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(InstallRollbackTest, ALibraryThatReportsSuccessAndWritesNothingIsFoundOut) {
  Start("false-success");
  PlantSystemLibrary();
  Confirm();
  // The planted library notes its loading in a file of the sample's root: proof that it ran,
  // and no change of the run's.
  std::string loads;
  ExpectRolledBack("Tovo.EXE", "of another", [&] {
    loads = testing_support::ReadFileBytes(sample_->MarkerFile());
    fs::remove(sample_->MarkerFile());
  });
  EXPECT_NE(text::AsciiLower(loads).find(text::AsciiLower(SystemLibraryPath().string())), std::string::npos) << loads;
  EXPECT_NE(ReadLog(*sample_).find("Extraction result: 0"), std::string::npos);
}

TEST_F(InstallRollbackTest, ATargetOpenedByAnotherProgramAfterTheCheckIsKeptWithTheOthersPutBack) {
  Start("held-after-check");
  Confirm();
  ASSERT_TRUE(WaitForCheckPassed()) << ReadLog(*sample_);
  // A virus scanner's way: reading, sharing only reading, so the file can be neither written
  // nor replaced.
  win32::UniqueFile held(CreateFileW((sample_->Installed() / "Tovo.EXE").wstring().c_str(), GENERIC_READ,
                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  const std::string log = ReadLog(*sample_);
  ASSERT_EQ(log.find("Extracting:"), std::string::npos) << "the extraction began before the file was held";
  ExpectRolledBack("Tovo.EXE", "of another", [&] { held = win32::UniqueFile(); });
  EXPECT_NE(ReadLog(*sample_).find("Tovo.EXE: the old file, unchanged"), std::string::npos) << ReadLog(*sample_);
}

TEST_F(InstallRollbackTest, ARunKilledAfterKeepingIsPutBackByTheNextRunBeforeItStartsOver) {
  Start("killed");
  const fs::path list = sample_->Installed() / "SetupRollback" / "KEPT.LST";
  Confirm();
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  std::error_code ec;
  while (!fs::exists(list, ec) && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(fs::exists(list, ec)) << ReadLog(*sample_);
  setup_.reset();  // terminated, as by a power cut
  ASSERT_TRUE(fs::exists(list, ec)) << "the list outlives the run";
  const std::string firstLog = ReadLog(*sample_);

  Launch();
  Confirm();
  Answer(Expect("情報", kFinished, {kOk}), kOk);
  ExpectProgramEnds();
  EXPECT_FALSE(fs::exists(list.parent_path(), ec));
  EXPECT_EQ(testing_support::ReadFileBytes(sample_->Installed() / "Tovo.EXE"),
            testing_support::ReadFileBytes(CurrentTovoExe()));
  const std::string log = ReadLog(*sample_).substr(firstLog.size());
  const std::size_t putBack = log.find("An earlier run left kept program files; putting them back");
  ASSERT_NE(putBack, std::string::npos) << log;
  EXPECT_NE(log.find("Every program file is as before"), std::string::npos) << log;
  EXPECT_LT(putBack, log.find("Check before changes passed")) << log;
  EXPECT_LT(putBack, log.find("Extracting:")) << log;
}

// --- The check before anything changes --------------------------------------------------------

class CheckBeforeChangesTest : public UpdateRunTest {
 protected:
  // Confirms, expects `message` as an error box with OK, and checks that the window stayed
  // open with every file as it was.
  // `release` lets go of what the test held, so that the files can be read for the comparison.
  void ExpectRefusal(const std::string& message, const std::function<void()>& release = {}) {
    PressUpdate();
    Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
    Answer(Expect("エラー", message, {kOk}), kOk);
    ExpectWindowStaysOpen();
    if (release) release();
    ExpectNothingChanged();
    const std::string log = ReadLog(*sample_);
    EXPECT_NE(log.find("Check before changes failed"), std::string::npos) << log;
  }
  std::string Shown(const fs::path& p) { return text::PathToUtf8(p); }
  static constexpr char kStopped[] = "\r\n\r\nアップデートは中止しました。何も変更していません。";
};

TEST_F(CheckBeforeChangesTest, TableHeldByAnotherProgram) {
  Start("locked");
  TTable held;
  held.SetDatabaseName(text::PathToUtf8(sample_->Live()));
  held.SetTableName("bicycle.db");
  held.SetTableType(TTableType::ttParadox);
  held.SetExclusive(true);
  held.Open();
  ExpectRefusal("テーブル[" + Shown(sample_->Live()) + "\\bicycle.db]はほかのプログラムが使用中です。"
                "ほかのプログラムを終了してから、もう一度アップデートを実行してください。" + kStopped,
                [&] { held.Close(); });
}

TEST_F(CheckBeforeChangesTest, TableMissingInTheDemoFolder) {
  Start("demo-missing", {OldTovoExe()}, std::string("installed"));
  fs::remove(sample_->Demo() / "bigtovo.db");
  before_ = sample_->Snapshot();
  ExpectRefusal("テーブル[" + Shown(sample_->Demo()) + "\\bigtovo.db]がありません。" + kStopped);
}

TEST_F(CheckBeforeChangesTest, DamagedTable) {
  Start("damaged");
  {
    // The record count in the header says more records than the blocks hold.
    std::fstream f(sample_->Demo() / "kokyaku.db", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(6);
    const char count[4] = {'\x40', '\x42', '\x0f', '\0'};
    f.write(count, 4);
  }
  before_ = sample_->Snapshot();
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  std::optional<Box> box = WaitForBox(*setup_);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->title, "エラー");
  EXPECT_EQ(box->text.rfind("テーブル[" + Shown(sample_->Demo()) + "\\kokyaku.db]が壊れています。", 0), 0u) << box->text;
  Answer(*box, kOk);
  ExpectWindowStaysOpen();
  ExpectNothingChanged();
}

// A power cut left a table replacement in the demo folder just after its journal was written,
// and another program holds the replacement's lock: that table's failure line with the engine's
// text, before any check, and nothing changed.
TEST_F(CheckBeforeChangesTest, InterruptedReplacementWhoseLockIsHeldStopsBeforeTheCheck) {
  Start("settle-locked");
  testing_support::WriteFileBytes(sample_->Demo() / "TOVO~RB.JNL", "new NewTovo\nold tovo\n");
  fs::copy_file(sample_->Demo() / "tovo.db", sample_->Demo() / "NewTovo.DB");
  testing_support::WriteFileBytes(sample_->Demo() / "TOVO~RB.LCK", "");
  before_ = sample_->Snapshot();
  const HANDLE lock = CreateFileW((sample_->Demo() / "TOVO~RB.LCK").wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  std::optional<Box> box = WaitForBox(*setup_);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->title, "エラー");
  const std::string line = "トヴォテーブルの更新に失敗しました\r\r";
  EXPECT_EQ(box->text.rfind(line, 0), 0u) << box->text;
  EXPECT_GT(box->text.size(), line.size()) << "the engine's text follows";
  Answer(*box, kOk);
  ExpectWindowStaysOpen();
  CloseHandle(lock);
  ExpectNothingChanged();
  const std::string log = ReadLog(*sample_);
  EXPECT_EQ(log.find("Check before changes"), std::string::npos) << "no check ran: " << log;
}

// The same replacement with its lock free: settling takes the interrupted replacement back (the
// old table was never touched), SETUP.LOG says so, and the update then runs to its end.
TEST_F(CompleteRunTest, InterruptedReplacementIsSettledFirstAndTheUpdateCompletes) {
  Start("settle-undo");
  testing_support::WriteFileBytes(sample_->Demo() / "TOVO~RB.JNL", "new NewTovo\nold tovo\n");
  fs::copy_file(sample_->Demo() / "tovo.db", sample_->Demo() / "NewTovo.DB");
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("情報", kFinished, {kOk}), kOk);
  ExpectProgramEnds();
  ExpectUpdated();
  std::error_code ec;
  EXPECT_FALSE(fs::exists(sample_->Demo() / "TOVO~RB.JNL", ec));
  const std::string log = ReadLog(*sample_);
  const std::string settled = "Settled: テーブル[" + text::PathToUtf8(sample_->Demo()) + "\\tovo.db]の中断された更新を取り消し";
  EXPECT_NE(log.find(settled), std::string::npos) << log;
  EXPECT_LT(log.find("Settled:"), log.find("Check before changes passed"));
}

TEST_F(CheckBeforeChangesTest, DemoAliasNotConfigured) {
  Start("no-demo-alias", {OldTovoExe(), true, /*demoAlias=*/false});
  ExpectRefusal("データベースの別名「TovoDemo」のフォルダが正しく設定されていません。" + std::string(kStopped));
}

TEST_F(CheckBeforeChangesTest, LiveAliasWithARelativePathIsAnErrorBeforeAnythingIsCreated) {
  Start("relative");
  paradox::EngineConfig config = paradox::EngineConfig::Load(sample_->ConfigFile());
  config.SetStandardAlias("Tovo", "data\\live");
  config.Save(sample_->ConfigFile());
  before_ = sample_->Snapshot();
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("情報", kError, {kOk}), kOk);
  ExpectProgramEnds();
  ExpectNothingChanged();
  std::error_code ec;
  EXPECT_FALSE(fs::exists(sample_->SetupExe().parent_path() / "data", ec)) << "no folder below the current one";
}

TEST_F(CheckBeforeChangesTest, ReadOnlyProgramFile) {
  Start("exe-read-only");
  const fs::path exe = sample_->Installed() / "Tovo.EXE";
  ASSERT_TRUE(SetFileAttributesW(exe.wstring().c_str(), FILE_ATTRIBUTE_READONLY));
  ExpectRefusal("プログラムファイル[" + Shown(exe) + "]は読み取り専用になっています。読み取り専用を解除してから、"
                "もう一度アップデートを実行してください。" + kStopped);
  EXPECT_EQ(GetFileAttributesW(exe.wstring().c_str()) & FILE_ATTRIBUTE_READONLY, DWORD(FILE_ATTRIBUTE_READONLY));
  SetFileAttributesW(exe.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CheckBeforeChangesTest, ProgramFileHeldByAnotherProgram) {
  Start("exe-held");
  const fs::path exe = sample_->Installed() / "Tovo.EXE";
  win32::UniqueFile held(CreateFileW(exe.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  ASSERT_TRUE(held);
  ExpectRefusal("プログラムファイル[" + Shown(exe) + "]はほかのプログラムが使用中です。"
                "ほかのプログラムを終了してから、もう一度アップデートを実行してください。" + kStopped,
                [&] { held = win32::UniqueFile(); });
}

TEST_F(CheckBeforeChangesTest, InstalledFolderTooLongForTheFilesItWouldHold) {
  Start("long-path");
  // The folder itself fits within MAX_PATH; the extraction's temporary files in it would not.
  fs::path deep = sample_->Installed();
  while (deep.wstring().size() < 236) deep /= "Programs";
  ASSERT_LT(deep.wstring().size(), 250u);
  fs::create_directories(deep);
  fs::copy_file(OldTovoExe(), deep / "Tovo.EXE");
  RegistryState::SetInPath(text::PathToUtf8(deep));
  before_ = sample_->Snapshot();
  PressUpdate();
  Answer(Expect("確認", kConfirm, {kYes, kNo}), kYes);
  Answer(Expect("エラー", "フォルダまたはファイルの名前[" + Shown(deep) + "]が長すぎます。もっと短い名前のフォルダに移してから、"
                "もう一度アップデートを実行してください。" + kStopped, {kOk}), kOk);
  ExpectWindowStaysOpen();
  // The log goes into the folder the run worked on.
  std::map<std::string, std::string> after = sample_->Snapshot();
  after.erase(text::PathToUtf8((deep / "SETUP.LOG").lexically_relative(sample_->Root())));
  EXPECT_EQ(after, before_);
}

TEST_F(CheckBeforeChangesTest, AnAliasOnAnUnseenMappedDriveWhoseNetworkPathIsUnreachable) {
  Start("mapped-drive-unreachable");
  if (!DriveQIsUnseen()) GTEST_SKIP() << "drive Q: exists here";
  const fs::path nowhere = sample_->Root() / "nowhere";
  RecordedMappingOfQ mapping(nowhere);
  PointLiveAliasAtQ(*sample_);
  before_ = sample_->Snapshot();
  ExpectRefusal("ネットワークドライブ[Q:]（" + Shown(nowhere) + "）に接続できません。"
                "ネットワークに接続できることを確かめてから、もう一度アップデートを実行してください。" + kStopped);
}

}  // namespace
}  // namespace e2e
