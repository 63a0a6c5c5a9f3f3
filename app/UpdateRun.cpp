#include "app/UpdateRun.h"

#include <exception>
#include <filesystem>
#include <vector>

#include "app/ProgramFiles.h"
#include "app/UpdateLog.h"
#include "app/UpdateMessages.h"
#include "engine/Session.h"
#include "fileops/FileOps.h"
#include "fileops/MappedDrive.h"
#include "framework/SysUtils.h"
#include "migration/MigrateTables.h"
#include "migration/MigrationData.h"
#include "migration/SettleInterrupted.h"
#include "migration/UpdateCheck.h"
// LocateEngineConfigFile: the log names the configuration file the engine reads.
#include "paradox/EngineConfig.h"
#include "text/Utf8Path.h"

namespace updaterun {
namespace {

using migration::MessageKind;
using updatecheck::AliasFolder;

constexpr char kNotFound[] = "False";
// The two places per drive letter where an installation may be, in the order they are tried.
constexpr const char* kScanPlaces[] = {":\\Program Files\\Tovo", ":\\Tovo"};
// Paths are joined as the system writes them; natively the run works on a POSIX file system,
// where a backslash would be part of a name.
#ifdef _WIN32
constexpr char kSeparator[] = "\\";
#else
constexpr char kSeparator[] = "/";
#endif
const std::string kInstalledExe = std::string(kSeparator) + "Tovo.EXE";
const std::string kTempFolder = std::string(kSeparator) + "Temp";

const std::string kLiveAlias(migration::kLiveAlias);
const std::string kDemoAlias(migration::kDemoAlias);

// Everything one press works with once the installed folder is known.
struct Run {
  UpdateUi& ui;
  UpdateLog& log;
  std::string installedFolder;
  std::string archiveName;
};

void ShowError(UpdateUi& ui, const std::string& text) { ui.ShowMessage(text, MessageKind::Error, migration::kButtonOk); }

std::string ScanDrives(UpdateUi& ui) {
  for (char letter = 'a'; letter <= 'z'; ++letter)
    for (const char* place : kScanPlaces) {
      std::string candidate = std::string(1, letter) + place;
      if (ui.DriveFolderExists(candidate)) return candidate;
    }
  return {};
}

// The registry first; a value that is there and not empty is taken as it stands, even when no
// such folder exists. Only an empty value leads to the drive scan and then the folder browser.
std::string FindInstalledFolder(UpdateUi& ui) {
  std::string folder = ui.ReadInstalledFolder(kNotFound);
  if (folder.empty()) folder = ScanDrives(ui);
  if (folder.empty()) folder = ui.SelectFolder(updatemsg::kBrowseTitle);
  return folder;
}

// The four file-version numbers written one after another and read as one number (1.9.4.36 is
// 19436, 1.10.0.0 is 11000), compared with the target. Either text out of the 32-bit range
// raises EConvertError, the installed one first.
bool IsOlder(const FileVersion& v, const std::string& targetVersion) {
  const std::string installed =
      std::to_string(v.major) + std::to_string(v.minor) + std::to_string(v.release) + std::to_string(v.build);
  const std::int32_t installedVersion = StrToInt(installed);
  const std::int32_t target = StrToInt(targetVersion);
  return installedVersion < target;
}

std::string VersionText(const FileVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release) + "." +
         std::to_string(v.build);
}

// A folder on a drive letter this process cannot see is reached through the user's recorded
// mapping when that works; `note` then says so for the log.
std::string ThroughMappedDrive(UpdateUi& ui, const std::string& folder, std::string& note) {
  const std::optional<UnseenDrive> drive = ui.UnseenMappedDrive(folder);
  if (!drive || !drive->reachable) return folder;
  const std::string reached = fileops::OnRemotePath(folder, drive->remotePath);
  note = std::string("Drive ") + drive->letter + ": is not visible to this process; " + folder +
         " is reached through the user's mapping as " + reached;
  return reached;
}

// The alias's folder; an empty or relative path would put the temporary folder, which is
// deleted with everything in it, at the root of a drive or wherever the current folder is.
std::string LiveAliasFolder() {
  std::string path;
  GetAliasPath(kLiveAlias, path);
  if (!updatecheck::IsAbsoluteFolder(path))
    throw Exception("The folder of alias " + kLiveAlias + " is not a full path: '" + path + "'");
  return path;
}

// The demo alias's folder, or empty when it cannot be looked up or is not a full path: the
// check before changes reports it.
std::string DemoAliasFolder(UpdateLog& log) {
  std::string path;
  try {
    GetAliasPath(kDemoAlias, path);
  } catch (const std::exception& e) {
    log.Write("Alias " + kDemoAlias + " not found: " + e.what());
    return {};
  }
  return updatecheck::IsAbsoluteFolder(path) ? path : std::string();
}

void LogRecordCounts(UpdateLog& log, const std::vector<AliasFolder>& folders, const char* when) {
  for (const AliasFolder& f : folders)
    for (const updatecheck::TableCount& c : updatecheck::CountRecords(f.path))
      log.Write(std::string("Records ") + when + " " + f.alias + " " + f.path + "\\" + c.table + ": " +
                (c.records ? std::to_string(*c.records) : "unreadable: " + c.error));
}

// Kept files an interrupted run left are put back before anything else, and said in `done`;
// false, after the error box, when some cannot be.
bool PutBackEarlierProgramFiles(Run& run, std::vector<std::string>& done) {
  const programfiles::PutBackReport report = programfiles::PutBackKeptFiles(text::PathFromUtf8(run.installedFolder));
  if (!report.found) return true;
  run.log.Write("An earlier run left kept program files; putting them back");
  for (const std::string& line : report.lines) run.log.Write(line);
  if (report.complete) {
    done.push_back(updatemsg::ProgramFilesPutBack(run.installedFolder));
    return true;
  }
  ShowError(run.ui, updatemsg::ProgramFilesNotPutBack(run.installedFolder + kSeparator +
                                                      programfiles::kRollbackFolderName));
  return false;
}

// False, after an error box naming the drive, when a folder lies on a mapped drive that can be
// reached neither by its letter nor by its network path.
bool MappedDrivesReachable(Run& run, std::vector<AliasFolder>& folders, const std::vector<std::string>& settled) {
  std::vector<std::string> paths{run.installedFolder};
  for (AliasFolder& f : folders) {
    std::string note;
    f.path = ThroughMappedDrive(run.ui, f.path, note);
    if (!note.empty()) run.log.Write("Alias " + f.alias + ": " + note);
    paths.push_back(f.path);
  }
  for (const std::string& path : paths)
    if (const std::optional<UnseenDrive> drive = run.ui.UnseenMappedDrive(path); drive && !drive->reachable) {
      run.log.Write(std::string("Check before changes failed: drive ") + drive->letter + ": is not visible and " +
                    fileops::OnRemotePath(path, drive->remotePath) + " cannot be reached; nothing was changed");
      ShowError(run.ui,
                updatemsg::AfterSettling(updatemsg::NetworkDriveUnreachable(drive->letter, drive->remotePath), settled));
      return false;
    }
  return true;
}

// What an earlier, interrupted update left in the tables is completed or undone before anything
// is checked; `done` takes a line for each. False when something could not be settled, which
// has then been shown.
bool SettleEarlierRun(Run& run, const std::vector<AliasFolder>& folders, std::vector<std::string>& done) {
  const migration::SettleReport settled = migration::SettleInterrupted(folders);
  for (const std::string& line : settled.Lines()) {
    run.log.Write("Settled: " + line);
    done.push_back(line);
  }
  if (!settled.failure) return true;
  run.log.Write("An interrupted update could not be settled; nothing else was changed");
  ShowError(run.ui, *settled.failure);
  return false;
}

// Every program file the extraction will replace can be, and every path fits; otherwise the
// reason is shown and nothing has been changed.
bool ProgramFilesCanBeReplaced(Run& run, const std::vector<AliasFolder>& folders,
                               const std::vector<std::string>& settled) {
  std::optional<programfiles::InstallProblem> problem = programfiles::CheckProgramFiles(
      text::PathFromUtf8(run.installedFolder), programfiles::ReadMemberTargets(run.ui.PayloadArchive()));
  for (const AliasFolder& f : folders)
    if (!problem && !programfiles::AliasFolderFits(f.path))
      problem = programfiles::InstallProblem{programfiles::InstallProblem::Kind::kPathTooLong, f.path, {}};
  if (!problem) return true;
  run.log.Write("Check before changes failed at the program files");
  ShowError(run.ui, updatemsg::AfterSettling(updatemsg::ProgramFilesProblem(*problem), settled));
  return false;
}

// True when the update may go on; otherwise the reason has been shown and nothing on disk was
// changed. An unusable live alias is an error for the run's error message.
bool CheckBeforeChanges(Run& run, std::vector<AliasFolder>& folders) {
  // What was settled from here on: a refusal must not say that nothing was changed.
  std::vector<std::string> settled;
  if (!PutBackEarlierProgramFiles(run, settled)) return false;
  run.log.Write("Engine configuration: " + text::PathToUtf8(paradox::LocateEngineConfigFile()));
  folders = {{kLiveAlias, LiveAliasFolder()}, {kDemoAlias, DemoAliasFolder(run.log)}};
  for (const AliasFolder& f : folders) run.log.Write("Alias " + f.alias + ": " + f.path);
  if (!MappedDrivesReachable(run, folders, settled)) return false;
  for (const AliasFolder& f : folders)
    if (!f.path.empty())
      run.log.Write("Room needed on the drive of " + f.path + ": " +
                    std::to_string(updatecheck::EstimatedNeed(f.path, &f == &folders.front())) + " bytes");
  if (!SettleEarlierRun(run, folders, settled)) return false;
  if (auto problem = updatecheck::CheckBeforeUpdate(folders, settled)) {
    run.log.Write(settled.empty() ? "Check before changes failed; nothing was changed"
                                  : "Check before changes failed; nothing was changed after the settling above");
    ShowError(run.ui, *problem);
    return false;
  }
  if (!ProgramFilesCanBeReplaced(run, folders, settled)) return false;
  run.log.Write("Check before changes passed");
  LogRecordCounts(run.log, folders, "before");
  return true;
}

// The library's result code, std::nullopt when it has no "Unlha" entry to run.
std::optional<int> ExtractPayload(Run& run, const std::string& tempFolder) {
  const std::unique_ptr<Extraction> unlha = run.ui.LoadExtraction();
  run.log.Write("Extraction library: " + unlha->LibraryPath());
  if (unlha->BindEntryPoints()) return std::nullopt;
  const std::string commandLine = ExtractionCommandLine(tempFolder, run.archiveName, run.installedFolder);
  run.log.Write("Extracting: " + commandLine);
  unlha->Execute(commandLine);
  run.log.Write("Extraction result: " + (unlha->LastResult() ? std::to_string(*unlha->LastResult()) : "not run") +
                "; report: " + unlha->Report());
  return unlha->LastResult();
}

// The temporary folder with everything in it when the run made it, else only the archive.
void RemoveTemporaryFiles(Run& run, const std::string& tempFolder, bool madeTempFolder) {
  if (madeTempFolder) {
    run.ui.DeleteFolder(tempFolder);
    run.log.Write("Deleted " + tempFolder + (fileops::FolderExists(tempFolder) ? " (it is still there)" : ""));
    return;
  }
  const std::string archive = tempFolder + kSeparator + run.archiveName;
  if (const std::optional<std::uint32_t> error = run.ui.DeleteOneFile(archive); !error) {
    run.log.Write("Deleted " + archive + "; " + tempFolder + " was there before the run and keeps everything else");
  } else {
    run.log.Write("Could not delete " + archive + " (error " + std::to_string(*error) + ")");
  }
}

void InstallProgramFiles(Run& run, const std::string& liveFolder) {
  const std::string tempFolder = liveFolder + kTempFolder;
  // A folder that was there before the run (C:\Temp, for an alias at a drive root) may hold the
  // user's own files: of it, only the archive written now is removed afterwards.
  const bool madeTempFolder = !fileops::FolderExists(tempFolder);
  if (madeTempFolder)
    if (const std::optional<std::uint32_t> error = run.ui.CreateOneFolder(tempFolder))
      throw Exception("Cannot create the folder " + tempFolder + " (error " + std::to_string(*error) + ")");
  const std::string archive = tempFolder + kSeparator + run.archiveName;
  run.log.Write("Writing the program archive to " + archive);
  run.ui.SavePayload(tempFolder, run.archiveName);
  const bool installed = programfiles::InstallAllOrNothing(
      text::PathFromUtf8(run.installedFolder), text::PathFromUtf8(archive),
      [&] { return ExtractPayload(run, tempFolder); }, [&](const std::string& line) { run.log.Write(line); });
  RemoveTemporaryFiles(run, tempFolder, madeTempFolder);
  if (!installed)
    throw Exception("The program files were not installed; every old one is kept and the tables are left as they are");
}

void MigrateAndReport(Run& run, const std::vector<AliasFolder>& folders) {
  run.log.Write("Migrating the tables");
  bool migrated = false;
  try {
    migrated = migration::MigrateTables(run.ui.MigrationUi(), folders);
  } catch (...) {
    LogRecordCounts(run.log, folders, "after");
    throw;
  }
  run.log.Write(migrated ? "Migration completed" : "Migration stopped early");
  LogRecordCounts(run.log, folders, "after");
  if (!migrated) {
    run.log.Write("Beep");
    run.ui.Beep();
    run.ui.ShowMessage(updatemsg::kDataStructureFailed, MessageKind::Information, migration::kButtonAbort);
    return;
  }
  run.ui.CopyListedFiles(run.installedFolder);
  run.ui.ShowMessage(updatemsg::kFinished, MessageKind::Information, migration::kButtonOk);
}

// From the confirmation on, every way out but a No and a failed check closes the window with
// a message; errors of any stage end in the one error message.
AfterRun RunFromConfirmation(Run& run, const FileVersion& installed, const std::string& targetVersion) {
  run.log.Write("Update run started. Installed folder: " + run.installedFolder);
  run.log.Write("Installed version: " + VersionText(installed) + ", target version: " + targetVersion);
  std::vector<AliasFolder> folders;
  try {
    if (run.ui.ShowMessage(updatemsg::kConfirm, MessageKind::Confirmation,
                           migration::kButtonYes | migration::kButtonNo) != migration::kButtonYes) {
      run.log.Write("Not confirmed; nothing was changed");
      return AfterRun::kStayOpen;
    }
    if (!CheckBeforeChanges(run, folders)) return AfterRun::kStayOpen;
    InstallProgramFiles(run, folders.front().path);
    MigrateAndReport(run, folders);
  } catch (const std::exception& e) {
    run.log.Write(std::string("Error: ") + e.what());
    run.ui.ShowMessage(updatemsg::kError, MessageKind::Information, migration::kButtonOk);
  } catch (...) {
    run.log.Write("Error of unknown kind");
    run.ui.ShowMessage(updatemsg::kError, MessageKind::Information, migration::kButtonOk);
  }
  run.log.Write("Update run ended; the window closes");
  return AfterRun::kClose;
}

// Stops the message log when the run leaves, however it leaves.
class MessagesRecorded {
 public:
  MessagesRecorded(UpdateUi& ui, UpdateLog& log) : ui_(ui) { ui_.RecordMessagesIn(&log); }
  ~MessagesRecorded() { ui_.RecordMessagesIn(nullptr); }
  MessagesRecorded(const MessagesRecorded&) = delete;
  MessagesRecorded& operator=(const MessagesRecorded&) = delete;

 private:
  UpdateUi& ui_;
};

}  // namespace

std::string ExtractionCommandLine(const std::string& tempFolder, const std::string& archiveName,
                                  const std::string& installedFolder) {
  return "e -c -y \"" + tempFolder + kSeparator + archiveName + "\" \"" + installedFolder + kSeparator + "\"";
}

AfterRun RunUpdate(UpdateUi& ui, const std::string& archiveName, const std::string& targetVersion) {
  const std::string foundFolder = FindInstalledFolder(ui);
  if (foundFolder == kNotFound || foundFolder.empty()) {
    ui.ShowMessage(updatemsg::kNotInstalled, MessageKind::Error, migration::kButtonYes);
    return AfterRun::kStayOpen;
  }
  std::string mappingNote;
  const std::string installedFolder = ThroughMappedDrive(ui, foundFolder, mappingNote);
  if (!mappingNote.empty()) UpdateLog(installedFolder).Write("Installed folder: " + mappingNote);
  if (ui.ApplicationIsRunning()) {
    ui.ShowMessage(updatemsg::kRunning, MessageKind::Confirmation, migration::kButtonYes);
    ui.BringApplicationForward();
    return AfterRun::kStayOpen;
  }
  const FileVersion installed = ui.ReadFileVersion(installedFolder + kInstalledExe);
  if (!IsOlder(installed, targetVersion)) {
    if (ui.ShowMessage(updatemsg::kAlreadyCurrent, MessageKind::Information,
                       migration::kButtonYes | migration::kButtonNo) != migration::kButtonYes) {
      ui.ShowMessage(updatemsg::kCancelled, MessageKind::Information, migration::kButtonOk);
      return AfterRun::kStayOpen;
    }
  }
  UpdateLog log(installedFolder);
  const MessagesRecorded recorded(ui, log);
  Run run{ui, log, installedFolder, archiveName};
  return RunFromConfirmation(run, installed, targetVersion);
}

}  // namespace updaterun
