// The update run without a window: every message it shows (text, kind, buttons) in order, what
// it asks of the platform, and what it leaves on disk, over a sample installation whose alias
// folders the engine configuration names. The extraction library is a stand-in that writes the
// archive's members, or fails the way the real one does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "MigrationTestSupport.h"
#include "app/UpdateLog.h"
#include "app/UpdateRun.h"
#include "engine/Session.h"
#include "framework/SysUtils.h"
#include "lha/ArchiveWriter.h"
#include "paradox/EngineConfig.h"
#include "paradox/ParadoxTable.h"
#include "paradox/TableFamily.h"
#include "support/TestPaths.h"
#include "support/UpdateTexts.h"
#include "text/Utf8Path.h"

namespace {

namespace fs = std::filesystem;
using migration::MessageKind;
using updaterun::AfterRun;
using updaterun::FileVersion;

constexpr char kArchiveName[] = "N_UpDate120502.lzh";
constexpr char kTarget[] = "19436";

using namespace update_texts;

const std::map<std::string, std::string> kOldFiles = {{"Tovo.EXE", "old program 1.9.2.22"}, {"TovoSys.INI", "[old]\r\n"}};
const std::map<std::string, std::string> kNewFiles = {{"Tovo.EXE", "new program 1.9.4.36, longer"},
                                                      {"TovoSys.INI", "[new]\r\nkey=1\r\n"},
                                                      {"TovoRept.DLL", std::string(5000, 'r')}};

std::vector<std::uint8_t> Archive() {
  lha::ArchiveWriter writer;
  for (const auto& [name, bytes] : kNewFiles)
    writer.Add({name, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), 0});
  return writer.Finish();
}

struct Shown {
  std::string text;
  MessageKind kind;
  unsigned buttons;
  bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Shown& s) {
  return out << "[" << static_cast<int>(s.kind) << " buttons " << s.buttons << "] " << s.text;
}

enum class Library { kMissing, kFails, kWorks };

class RecordingUpdateUi;

class StandInExtraction : public updaterun::Extraction {
 public:
  StandInExtraction(RecordingUpdateUi& ui) : ui_(ui) {}
  std::string LibraryPath() const override { return "/stand-in/UNLHA32.DLL"; }
  bool BindEntryPoints() override { return false; }
  void Execute(const std::string& commandLine) override;
  std::optional<int> LastResult() const override { return result_; }
  std::string Report() const override { return "stand-in"; }

 private:
  RecordingUpdateUi& ui_;
  std::optional<int> result_;
};

// Answers every question as scripted (else with its first button) and keeps what was asked.
class RecordingUpdateUi : public updaterun::UpdateUi {
 public:
  unsigned ShowMessage(const std::string& text, MessageKind kind, unsigned buttons) override {
    shown.push_back({text, kind, buttons});
    events.push_back("message");
    const auto a = answers.find(text);
    return a != answers.end() ? a->second : buttons & (~buttons + 1);
  }
  void Beep() override { events.push_back("beep"); }
  void RecordMessagesIn(UpdateLog* log) override { events.push_back(log ? "record" : "stop recording"); }
  migration::MigrationUi& MigrationUi() override { return migrationUi; }
  std::string ReadInstalledFolder(const std::string& defaultValue) override {
    if (inPathNotText) throw Exception("Invalid data type for 'InPath'");
    return inPath.value_or(defaultValue);
  }
  bool DriveFolderExists(const std::string& path) override {
    scanned.push_back(path);
    return driveFolders.count(path) != 0;
  }
  std::string SelectFolder(const std::string& title) override {
    events.push_back("browse " + title);
    return browsed;
  }
  bool ApplicationIsRunning() override { return running; }
  void BringApplicationForward() override { events.push_back("forward"); }
  FileVersion ReadFileVersion(const std::string& file) override {
    events.push_back("version " + file);
    return version;
  }
  std::optional<updaterun::UnseenDrive> UnseenMappedDrive(const std::string& path) override {
    const auto d = unseen.find(path);
    return d == unseen.end() ? std::nullopt : std::optional(d->second);
  }
  std::optional<std::uint32_t> CreateOneFolder(const std::string& path) override {
    if (createFolderError) return createFolderError;
    std::error_code ec;
    return fs::create_directory(text::PathFromUtf8(path), ec) ? std::nullopt : std::optional<std::uint32_t>(183);
  }
  std::optional<std::uint32_t> DeleteOneFile(const std::string& path) override {
    std::error_code ec;
    return fs::remove(text::PathFromUtf8(path), ec) ? std::nullopt : std::optional<std::uint32_t>(2);
  }
  void DeleteFolder(const std::string& folder) override { fs::remove_all(text::PathFromUtf8(folder)); }
  std::span<const std::uint8_t> PayloadArchive() override { return archive; }
  void SavePayload(const std::string& folder, const std::string& fileName) override {
    if (payloadUnwritable) throw Exception("Cannot create file " + fileName);
    testing_support::WriteFileBytes(text::PathFromUtf8(folder) / fileName, std::string(archive.begin(), archive.end()));
  }
  std::unique_ptr<updaterun::Extraction> LoadExtraction() override {
    events.push_back("load library");
    if (library == Library::kMissing) {
      ShowMessage(kMissingLibrary, MessageKind::Error, migration::kButtonOk);
      Abort();
    }
    return std::make_unique<StandInExtraction>(*this);
  }
  void CopyListedFiles(const std::string& installedFolder) override { events.push_back("copy list " + installedFolder); }

  // The script.
  std::optional<std::string> inPath;  // absent: the registry has no value
  bool inPathNotText = false;
  std::set<std::string> driveFolders;
  std::string browsed;
  bool running = false;
  FileVersion version{1, 9, 2, 22};
  std::map<std::string, unsigned> answers;
  std::map<std::string, updaterun::UnseenDrive> unseen;
  std::optional<std::uint32_t> createFolderError;
  bool payloadUnwritable = false;
  Library library = Library::kWorks;
  std::vector<std::uint8_t> archive = Archive();
  fs::path installed;

  // What happened.
  std::vector<Shown> shown;
  std::vector<std::string> events;
  std::vector<std::string> scanned;
  std::vector<std::string> commandLines;
  migration_test::RecordingUi migrationUi;
};

void StandInExtraction::Execute(const std::string& commandLine) {
  ui_.commandLines.push_back(commandLine);
  if (ui_.library == Library::kFails) {
    result_ = 0x8020;  // the library's "cannot write" code; nothing was written
    return;
  }
  for (const auto& [name, bytes] : kNewFiles) testing_support::WriteFileBytes(ui_.installed / name, bytes);
  result_ = 0;
}

Shown Error(const std::string& text) { return {text, MessageKind::Error, migration::kButtonOk}; }
const Shown kConfirmShown{kConfirm, MessageKind::Confirmation, migration::kButtonYes | migration::kButtonNo};
const Shown kErrorShown{kError, MessageKind::Information, migration::kButtonOk};

// The alias paths begin with two slashes: the run takes only full Windows paths (a drive or a
// share) for an alias, and a POSIX system reads a leading double slash as the root.
std::string AliasPath(const fs::path& p) { return "/" + text::PathToUtf8(p); }

// A small sample: 8 customers live, 2 in the demo folder.
sample::SampleOptions Small() {
  sample::SampleOptions o;
  o.customers = 8;
  o.demoCustomers = 2;
  return o;
}

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override { Make(Small()); }
  void TearDown() override { Session().SetConfigFile({}); }

  void Make(sample::SampleOptions options, bool liveAlias = true) {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    inst_ = migration_test::MakeInstallation("update-run-" + name, options);
    paradox::EngineConfig config;
    if (liveAlias) config.SetStandardAlias("Tovo", AliasPath(inst_.live));
    config.SetStandardAlias("TovoDemo", AliasPath(inst_.demo));
    config.Save(inst_.root / "IDAPI32.CFG");
    Session().SetConfigFile(inst_.root / "IDAPI32.CFG");
    ui_.installed = inst_.root / "Tovo";
    fs::create_directories(ui_.installed);
    for (const auto& [name, bytes] : kOldFiles) testing_support::WriteFileBytes(ui_.installed / name, bytes);
    ui_.inPath = text::PathToUtf8(ui_.installed);
    before_ = State();
  }

  AfterRun Run() { return updaterun::RunUpdate(ui_, kArchiveName, kTarget); }

  // The program files and the tables of both alias folders, byte for byte (the temporary folder
  // apart: the cases look at it themselves).
  std::map<std::string, std::string> State() const {
    std::map<std::string, std::string> state;
    for (const auto& [name, bytes] : migration_test::TreeBytes(inst_.live))
      if (name.rfind("Temp/", 0) != 0) state["live/" + name] = bytes;
    for (const auto& [name, bytes] : migration_test::TreeBytes(inst_.demo)) state["demo/" + name] = bytes;
    for (const auto& [name, bytes] : migration_test::FolderBytes(inst_.root / "Tovo"))
      if (name != UpdateLog::kFileName) state["program/" + name] = bytes;
    return state;
  }
  std::string ProgramFile(const std::string& name) const {
    return testing_support::ReadFileBytes(ui_.installed / name);
  }
  std::string Log() const {
    const fs::path log = ui_.installed / UpdateLog::kFileName;
    return fs::exists(log) ? testing_support::ReadFileBytes(log) : std::string();
  }
  bool LogHas(const std::string& line) const { return Log().find(line) != std::string::npos; }
  fs::path TempFolder() const { return inst_.live / "Temp"; }
  // A widened field of the customer table (CARRY_TEL): 12 bytes before the migration, 14 after.
  static int CarryTelSize(const fs::path& dir) {
    return paradox::ParadoxTable::Open(*paradox::FindDataFile(dir, "kokyaku.db"), paradox::OpenMode::kShared)
        ->Schema()
        .Field(9)
        .size;
  }

  migration_test::Installation inst_;
  RecordingUpdateUi ui_;
  std::map<std::string, std::string> before_;
};

// ---- before the confirmation: the window stays open and nothing is written -----------------

TEST_F(UpdateRunTest, NoInstallationFoundIsRefusedWithTheErrorYesBox) {
  const Shown notInstalled{kNotInstalled, MessageKind::Error, migration::kButtonYes};
  // The value absent, or "False": no scan and no browser.
  for (const std::optional<std::string>& inPath : {std::optional<std::string>(), std::optional<std::string>("False")}) {
    ui_ = {};
    ui_.inPath = inPath;
    EXPECT_EQ(Run(), AfterRun::kStayOpen);
    EXPECT_EQ(ui_.shown, std::vector<Shown>{notInstalled});
    EXPECT_TRUE(ui_.scanned.empty());
    EXPECT_EQ(ui_.events, std::vector<std::string>{"message"});
  }
  // An empty value with no candidate on any drive: every letter scanned, then the browser,
  // whose Cancel means no installation.
  ui_ = {};
  ui_.inPath = "";
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  ASSERT_EQ(ui_.scanned.size(), 52u);
  EXPECT_EQ(ui_.scanned[0], "a:\\Program Files\\Tovo");
  EXPECT_EQ(ui_.scanned[1], "a:\\Tovo");
  EXPECT_EQ(ui_.scanned[51], "z:\\Tovo");
  EXPECT_EQ(ui_.events, (std::vector<std::string>{std::string("browse ") + kBrowseTitle, "message"}));
  EXPECT_EQ(ui_.shown, std::vector<Shown>{notInstalled});
  EXPECT_TRUE(State() == before_);
  EXPECT_EQ(Log(), "");
}

TEST_F(UpdateRunTest, DriveScanTakesLettersFirstThenProgramFilesBeforeTheRootFolder) {
  ui_.inPath = "";
  ui_.running = true;  // stops the run once the folder is known
  ui_.driveFolders = {"d:\\Program Files\\Tovo", "c:\\Tovo"};
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  EXPECT_EQ(ui_.scanned.back(), "c:\\Tovo");
  EXPECT_EQ(ui_.scanned.size(), 6u);

  ui_ = {};
  ui_.inPath = "";
  ui_.driveFolders = {"c:\\Program Files\\Tovo", "c:\\Tovo"};
  ui_.answers[kAlreadyCurrent] = migration::kButtonNo;
  ui_.version = {1, 9, 4, 36};
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  EXPECT_EQ(ui_.scanned.back(), "c:\\Program Files\\Tovo");
  EXPECT_NE(std::find(ui_.events.begin(), ui_.events.end(), "version c:\\Program Files\\Tovo/Tovo.EXE"),
            ui_.events.end());
}

TEST_F(UpdateRunTest, RegistryValueThatIsNotTextPassesTheFrameworkErrorOn) {
  ui_.inPathNotText = true;
  EXPECT_THROW(Run(), Exception);
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(UpdateRunTest, RunningApplicationIsRefusedThenBroughtForward) {
  ui_.running = true;
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  const Shown running{kRunning, MessageKind::Confirmation, migration::kButtonYes};
  EXPECT_EQ(ui_.shown, std::vector<Shown>{running});
  EXPECT_EQ(ui_.events, (std::vector<std::string>{"message", "forward"}));
  EXPECT_TRUE(State() == before_);
}

TEST_F(UpdateRunTest, VersionGateCountsTheFourNumbersWrittenOneAfterAnother) {
  const Shown alreadyCurrent{kAlreadyCurrent, MessageKind::Information, migration::kButtonYes | migration::kButtonNo};
  // Older: straight to the confirmation (answered No here).
  for (const FileVersion& older : {FileVersion{1, 10, 0, 0}, FileVersion{2, 0, 0, 0}, FileVersion{}}) {
    ui_.shown.clear();
    ui_.version = older;
    ui_.answers[kConfirm] = migration::kButtonNo;
    EXPECT_EQ(Run(), AfterRun::kStayOpen);
    EXPECT_EQ(ui_.shown, std::vector<Shown>{kConfirmShown}) << older.major << "." << older.minor;
  }
  // Equal: the question; No gives the cancelled message and no confirmation.
  ui_.shown.clear();
  ui_.version = {1, 9, 4, 36};
  ui_.answers[kAlreadyCurrent] = migration::kButtonNo;
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  EXPECT_EQ(ui_.shown,
            (std::vector<Shown>{alreadyCurrent, {kCancelled, MessageKind::Information, migration::kButtonOk}}));
  // Closing the question another way counts as No.
  ui_.shown.clear();
  ui_.answers[kAlreadyCurrent] = 0;
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  EXPECT_EQ(ui_.shown.back().text, kCancelled);
  // Yes goes on to the confirmation.
  ui_.shown.clear();
  ui_.answers[kAlreadyCurrent] = migration::kButtonYes;
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{alreadyCurrent, kConfirmShown}));
  EXPECT_TRUE(State() == before_);
}

TEST_F(UpdateRunTest, VersionTextsBeyondTheIntegerRangePassTheConvertErrorOn) {
  ui_.version = {65535, 65535, 65535, 65535};
  EXPECT_THROW(Run(), EConvertError);
  ui_.version = {1, 9, 2, 22};
  EXPECT_THROW(updaterun::RunUpdate(ui_, kArchiveName, "latest"), EConvertError);
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(UpdateRunTest, NoAtTheConfirmationChangesNothingAndLeavesTheWindowOpen) {
  ui_.answers[kConfirm] = migration::kButtonNo;
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  EXPECT_EQ(ui_.shown, std::vector<Shown>{kConfirmShown});
  EXPECT_TRUE(State() == before_);
  EXPECT_FALSE(fs::exists(TempFolder()));
  EXPECT_TRUE(LogHas("Not confirmed; nothing was changed"));
  EXPECT_EQ(ui_.events, (std::vector<std::string>{"version " + text::PathToUtf8(ui_.installed) + "/Tovo.EXE",
                                                  "record", "message", "stop recording"}));
}

// ---- the check before changes: a refusal leaves everything as it was ---------------------------

TEST_F(UpdateRunTest, CheckBeforeChangesRefusesAMissingDemoTableAndChangesNothing) {
  sample::SampleOptions o = Small();
  o.demoMissing = "bicycle.db";
  Make(o);
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  ASSERT_EQ(ui_.shown.size(), 2u);
  EXPECT_EQ(ui_.shown[0], kConfirmShown);
  EXPECT_EQ(ui_.shown[1].kind, MessageKind::Error);
  EXPECT_NE(ui_.shown[1].text.find("bicycle"), std::string::npos) << ui_.shown[1].text;
  EXPECT_TRUE(State() == before_);
  EXPECT_FALSE(fs::exists(TempFolder()));
  EXPECT_TRUE(ui_.commandLines.empty());
  EXPECT_TRUE(LogHas("Check before changes failed; nothing was changed"));
}

TEST_F(UpdateRunTest, UnreachableMappedDriveIsRefusedNamingTheNetworkPath) {
  const std::string installed = text::PathToUtf8(ui_.installed);
  ui_.unseen[installed] = {'Q', "\\\\nas\\shop", false};
  EXPECT_EQ(Run(), AfterRun::kStayOpen);
  ASSERT_EQ(ui_.shown.size(), 2u);
  EXPECT_EQ(ui_.shown[1].kind, MessageKind::Error);
  EXPECT_EQ(ui_.shown[1].text.rfind("ネットワークドライブ[Q:]（\\\\nas\\shop）に接続できません。", 0), 0u)
      << ui_.shown[1].text;
  EXPECT_TRUE(State() == before_);
}

// ---- from the confirmation on: a closing message, and the window closes -----------------------

TEST_F(UpdateRunTest, OlderInstallationIsExtractedMigratedAndFinished) {
  ASSERT_EQ(CarryTelSize(inst_.live), 12);
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{kConfirmShown, {kFinished, MessageKind::Information, migration::kButtonOk}}));
  EXPECT_TRUE(ui_.migrationUi.messages.empty());
  const std::string installed = text::PathToUtf8(ui_.installed);
  const std::string temp = AliasPath(inst_.live) + "/Temp";
  EXPECT_EQ(ui_.commandLines,
            std::vector<std::string>{"e -c -y \"" + temp + "/" + kArchiveName + "\" \"" + installed + "/\""});
  for (const auto& [name, bytes] : kNewFiles) EXPECT_EQ(ProgramFile(name), bytes) << name;
  EXPECT_FALSE(fs::exists(TempFolder()));
  EXPECT_EQ(CarryTelSize(inst_.live), 14);
  EXPECT_EQ(CarryTelSize(inst_.demo), 14);
  EXPECT_EQ(std::count(ui_.events.begin(), ui_.events.end(), "beep"), 0);
  EXPECT_EQ(ui_.events.back(), "stop recording");
  EXPECT_NE(std::find(ui_.events.begin(), ui_.events.end(), "copy list " + installed), ui_.events.end());
  EXPECT_TRUE(LogHas("Check before changes passed"));
  EXPECT_TRUE(LogHas("Migration completed"));
  EXPECT_TRUE(LogHas("Update run ended; the window closes"));
}

TEST_F(UpdateRunTest, TemporaryFolderThatExistedKeepsEverythingButTheArchive) {
  fs::create_directories(TempFolder());
  testing_support::WriteFileBytes(TempFolder() / "shop.txt", "the shop's own file");
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown.back().text, kFinished);
  EXPECT_EQ(testing_support::ReadFileBytes(TempFolder() / "shop.txt"), "the shop's own file");
  EXPECT_FALSE(fs::exists(TempFolder() / kArchiveName));
}

TEST_F(UpdateRunTest, FailuresBeforeTheExtractionEndInTheErrorMessageWithNothingExtracted) {
  // The live alias not configured.
  Make(Small(), /*liveAlias=*/false);
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{kConfirmShown, kErrorShown}));
  EXPECT_TRUE(State() == before_);
  EXPECT_FALSE(fs::exists(TempFolder()));

  // The temporary folder cannot be created: its error code in the log.
  Make(Small());
  ui_.shown.clear();
  ui_.createFolderError = 5;
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{kConfirmShown, kErrorShown}));
  EXPECT_TRUE(LogHas("Cannot create the folder " + AliasPath(inst_.live) + "/Temp (error 5)"));
  EXPECT_TRUE(State() == before_);

  // The archive cannot be written.
  Make(Small());
  ui_.shown.clear();
  ui_.createFolderError.reset();
  ui_.payloadUnwritable = true;
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{kConfirmShown, kErrorShown}));
  EXPECT_EQ(std::count(ui_.events.begin(), ui_.events.end(), "load library"), 0);
  EXPECT_TRUE(State() == before_);
}

TEST_F(UpdateRunTest, MissingLibraryShowsItsMessageThenTheErrorAndLeavesTheArchive) {
  ui_.library = Library::kMissing;
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{kConfirmShown, Error(kMissingLibrary), kErrorShown}));
  EXPECT_TRUE(State() == before_);
  EXPECT_TRUE(fs::exists(TempFolder() / kArchiveName));
  EXPECT_FALSE(fs::exists(ui_.installed / "SetupRollback"));
}

TEST_F(UpdateRunTest, ExtractionThatFailsKeepsTheOldFilesAndLeavesTheTables) {
  ui_.library = Library::kFails;
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{kConfirmShown, kErrorShown}));
  EXPECT_EQ(ui_.commandLines.size(), 1u);
  EXPECT_TRUE(LogHas("Extraction result: 32800"));
  EXPECT_TRUE(State() == before_);
  EXPECT_FALSE(fs::exists(ui_.installed / "TovoRept.DLL"));
  EXPECT_FALSE(fs::exists(TempFolder()));
  EXPECT_TRUE(ui_.migrationUi.log.empty()) << "the migration ran";
}

TEST_F(UpdateRunTest, MigrationThatStopsEarlyBeepsAndShowsTheSingleAbortMessage) {
  sample::SampleOptions o = Small();
  o.customers = 40;
  o.duplicateKeys = {"bigtovo.db"};
  Make(o);
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{kConfirmShown,
                                           {kDataStructureFailed, MessageKind::Information, migration::kButtonAbort}}));
  ASSERT_EQ(ui_.migrationUi.messages.size(), 1u);
  EXPECT_EQ(ui_.migrationUi.messages[0].text.rfind("自動二輪テーブルの更新に失敗しました\r\r", 0), 0u);
  // The beep comes right before the closing message; the copy list is not run.
  const auto beep = std::find(ui_.events.begin(), ui_.events.end(), "beep");
  ASSERT_NE(beep, ui_.events.end());
  EXPECT_EQ(*(beep + 1), "message");
  EXPECT_EQ(std::count_if(ui_.events.begin(), ui_.events.end(),
                          [](const std::string& e) { return e.rfind("copy list", 0) == 0; }),
            0);
  for (const auto& [name, bytes] : kNewFiles) EXPECT_EQ(ProgramFile(name), bytes) << name;
  EXPECT_TRUE(LogHas("Migration stopped early"));
}

TEST_F(UpdateRunTest, ErrorEscapingTheMigrationEndsInTheErrorMessage) {
  sample::SampleOptions o = Small();
  o.tovoWithout = "SINKOSYA";
  Make(o);
  EXPECT_EQ(Run(), AfterRun::kClose);
  EXPECT_EQ(ui_.shown, (std::vector<Shown>{kConfirmShown, kErrorShown}));
  EXPECT_EQ(std::count(ui_.events.begin(), ui_.events.end(), "beep"), 0);
  EXPECT_TRUE(LogHas("Records after Tovo"));
  EXPECT_TRUE(LogHas("Error: "));
}

}  // namespace
