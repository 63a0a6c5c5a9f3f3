// The update run (the update button) and the copy list of the update window.

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/CopyList.h"
#include "app/Migrate.h"
#include "app/PayloadResource.h"
#include "app/ProgramFiles.h"
#include "app/RegIniFile.h"
#include "app/SelectFolder.h"
#include "app/UpForm.h"
#include "app/UpdateLog.h"
#include "app/UpdateMessages.h"
#include "app/Unlha32.h"
#include "components/FileVer.h"
#include "engine/Session.h"
#include "fileops/FileOps.h"
#include "fileops/MappedDrive.h"
#include "framework/Dialogs.h"
#include "framework/StdCtrls.h"
#include "framework/SysUtils.h"
#include "migration/MigrationData.h"
#include "migration/SettleInterrupted.h"
#include "migration/UpdateCheck.h"
#include "os/WinHandles.h"
// LocateEngineConfigFile: the log names the configuration file the engine reads.
#include "paradox/EngineConfig.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"

namespace {

using updatecheck::AliasFolder;

// Written by the application itself; this program only reads it.
constexpr char kRegistryKey[] = "\\Software\\Tovo";
constexpr char kRegistrySection[] = "Configuration";
constexpr char kRegistryIdent[] = "InPath";
constexpr char kNotFound[] = "False";

// The two places per drive letter where an installation may be, in the order they are tried.
constexpr const char* kScanPlaces[] = {":\\Program Files\\Tovo", ":\\Tovo"};

// The running application's signs of life.
constexpr wchar_t kRunningAtom[] = L"Tovo.EXE";
constexpr wchar_t kApplicationCaption[] = L"トヴォ顧客管理";

constexpr char kInstalledExe[] = "\\Tovo.EXE";
const std::string kLiveAlias(migration::kLiveAlias);
const std::string kDemoAlias(migration::kDemoAlias);
constexpr char kTempFolder[] = "\\Temp";

std::string ScanDrives() {
  // An empty floppy or CD drive would otherwise ask the user to insert a disk.
  const win32::ThreadErrorMode noDiskPrompt(SEM_FAILCRITICALERRORS);
  for (char letter = 'a'; letter <= 'z'; ++letter)
    for (const char* place : kScanPlaces) {
      std::string candidate = std::string(1, letter) + place;
      if (fileops::FolderExists(candidate)) return candidate;
    }
  return {};
}

// The application's window brought forward when it is running.
bool ApplicationIsRunning() {
  if (GlobalFindAtomW(kRunningAtom) == 0) return false;
  MessageDlg(updatemsg::kRunning, mtConfirmation, {mbYes});
  if (HWND window = FindWindowW(nullptr, kApplicationCaption)) SetForegroundWindow(window);
  return true;
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

// What an earlier, interrupted update left in the tables is completed or undone before anything
// is checked; `done` takes a line for each. False when something could not be settled, which
// has then been shown.
bool SettleEarlierRun(UpdateLog& log, const std::vector<AliasFolder>& folders, std::vector<std::string>& done) {
  const migration::SettleReport settled = migration::SettleInterrupted(folders);
  for (const std::string& line : settled.Lines()) {
    log.Write("Settled: " + line);
    done.push_back(line);
  }
  if (!settled.failure) return true;
  log.Write("An interrupted update could not be settled; nothing else was changed");
  MessageDlg(*settled.failure, mtError, {mbOK});
  return false;
}

std::string ExtractionCommandLine(const std::string& tempFolder, const std::string& archiveName,
                                  const std::string& installedFolder) {
  return "e -c -y \"" + tempFolder + "\\" + archiveName + "\" \"" + installedFolder + "\\\"";
}

// A folder on a drive letter this process cannot see (run elevated, it does not see the drives
// the user mapped) is reached through the user's recorded mapping when that works; `note` then
// says so for the log.
std::string ThroughMappedDrive(const std::string& folder, std::string& note) {
  const std::optional<fileops::MappedDrive> drive = fileops::UnseenMappedDrive(folder);
  if (!drive || !drive->reachable) return folder;
  const std::string reached = fileops::OnRemotePath(folder, drive->remotePath);
  note = std::string("Drive ") + drive->letter + ": is not visible to this process; " + folder +
         " is reached through the user's mapping as " + reached;
  return reached;
}

// False, after an error box naming the drive, when a folder lies on a mapped drive that can be
// reached neither by its letter nor by its network path.
bool MappedDrivesReachable(UpdateLog& log, const std::string& installedFolder, std::vector<AliasFolder>& folders,
                           const std::vector<std::string>& settled) {
  std::vector<std::string> paths{installedFolder};
  for (AliasFolder& f : folders) {
    std::string note;
    f.path = ThroughMappedDrive(f.path, note);
    if (!note.empty()) log.Write("Alias " + f.alias + ": " + note);
    paths.push_back(f.path);
  }
  for (const std::string& path : paths)
    if (const std::optional<fileops::MappedDrive> drive = fileops::UnseenMappedDrive(path); drive && !drive->reachable) {
      log.Write(std::string("Check before changes failed: drive ") + drive->letter + ": is not visible and " +
                fileops::OnRemotePath(path, drive->remotePath) + " cannot be reached; nothing was changed");
      MessageDlg(updatemsg::AfterSettling(updatemsg::NetworkDriveUnreachable(drive->letter, drive->remotePath), settled),
                 mtError, {mbOK});
      return false;
    }
  return true;
}

// The library's result code, std::nullopt when it has no "Unlha" entry to run.
std::optional<int> ExtractPayload(UpdateLog& log, const std::string& tempFolder, const std::string& archiveName,
                                  const std::string& installedFolder) {
  TUnlha32 unlha;
  log.Write("Extraction library: " + unlha.LibraryPath());
  if (unlha.BindEntryPoints()) return std::nullopt;
  const std::string commandLine = ExtractionCommandLine(tempFolder, archiveName, installedFolder);
  log.Write("Extracting: " + commandLine);
  unlha.Execute(commandLine);
  log.Write("Extraction result: " + (unlha.LastResult() ? std::to_string(*unlha.LastResult()) : "not run") +
            "; report: " + unlha.Report());
  return unlha.LastResult();
}

// Kept files an interrupted run left are put back before anything else, and said in `done`;
// false, after the error box, when some cannot be.
bool PutBackEarlierProgramFiles(UpdateLog& log, const std::string& installedFolder, std::vector<std::string>& done) {
  const programfiles::PutBackReport report = programfiles::PutBackKeptFiles(text::PathFromUtf8(installedFolder));
  if (!report.found) return true;
  log.Write("An earlier run left kept program files; putting them back");
  for (const std::string& line : report.lines) log.Write(line);
  if (report.complete) {
    done.push_back(updatemsg::ProgramFilesPutBack(installedFolder));
    return true;
  }
  MessageDlg(updatemsg::ProgramFilesNotPutBack(installedFolder + "\\" + programfiles::kRollbackFolderName), mtError,
             {mbOK});
  return false;
}

// Every program file the extraction will replace can be, and every path fits; otherwise the
// reason is shown and nothing has been changed.
bool ProgramFilesCanBeReplaced(UpdateLog& log, const std::string& installedFolder,
                               const std::vector<AliasFolder>& folders, const std::vector<std::string>& settled) {
  std::optional<programfiles::InstallProblem> problem = programfiles::CheckProgramFiles(
      text::PathFromUtf8(installedFolder), programfiles::ReadMemberTargets(PayloadResourceBytes()));
  for (const AliasFolder& f : folders)
    if (!problem && !programfiles::AliasFolderFits(f.path))
      problem = programfiles::InstallProblem{programfiles::InstallProblem::Kind::kPathTooLong, f.path, {}};
  if (!problem) return true;
  log.Write("Check before changes failed at the program files");
  MessageDlg(updatemsg::AfterSettling(updatemsg::ProgramFilesProblem(*problem), settled), mtError, {mbOK});
  return false;
}

// The temporary folder with everything in it when the run made it, else only the archive.
void RemoveTemporaryFiles(UpdateLog& log, const std::string& tempFolder, const std::string& archiveName,
                          bool madeTempFolder) {
  if (madeTempFolder) {
    fileops::DeleteFolder(nullptr, tempFolder);
    log.Write("Deleted " + tempFolder + (fileops::FolderExists(tempFolder) ? " (it is still there)" : ""));
    return;
  }
  const std::string archive = tempFolder + "\\" + archiveName;
  if (fileops::DeleteOneFile(archive)) {
    log.Write("Deleted " + archive + "; " + tempFolder + " was there before the run and keeps everything else");
  } else {
    const DWORD error = GetLastError();
    log.Write("Could not delete " + archive + " (error " + std::to_string(error) + ")");
  }
}

}  // namespace

void TUpDateForm::ReadMeBtnClick(TObject*) { fileops::OpenDocument(kReadMeUrl, kShowNormal); }

void TUpDateForm::InstBtnClick(TObject*) {
  const std::string archiveName = (*ListBox1->Items())[0];
  const std::string foundFolder = FindInstalledFolder();
  if (foundFolder == kNotFound || foundFolder.empty()) {
    MessageDlg(updatemsg::kNotInstalled, mtError, {mbYes});
    return;
  }
  std::string mappingNote;
  const std::string installedFolder = ThroughMappedDrive(foundFolder, mappingNote);
  if (!mappingNote.empty()) UpdateLog(installedFolder).Write("Installed folder: " + mappingNote);
  if (ApplicationIsRunning()) return;
  if (!InstalledVersionIsOlder(installedFolder)) {
    if (MessageDlg(updatemsg::kAlreadyCurrent, mtInformation, {mbYes, mbNo}) != mrYes) {
      MessageDlg(updatemsg::kCancelled, mtInformation, {mbOK});
      return;
    }
  }
  RunUpdate(installedFolder, archiveName);
}

// The registry first; a value that is there and not empty is taken as it stands, even when no
// such folder exists. Only an empty value leads to the drive scan and then the folder browser.
std::string TUpDateForm::FindInstalledFolder() {
  std::string folder;
  {
    const TRegIniFile registry(kRegistryKey);
    folder = registry.ReadString(kRegistrySection, kRegistryIdent, kNotFound);
  }
  if (folder.empty()) folder = ScanDrives();
  if (folder.empty()) SelectFolder(updatemsg::kBrowseTitle, folder);
  return folder;
}

// The four file-version numbers written one after another and read as one number (1.9.4.36 is
// 19436, 1.10.0.0 is 11000), compared with the target the form data holds. Either text out of
// the 32-bit range raises EConvertError, which the framework's error box shows.
bool TUpDateForm::InstalledVersionIsOlder(const std::string& installedFolder) {
  // A file without a version block leaves the numbers read before; the empty name clears them,
  // so that a second press that finds another folder does not read the first one's version.
  VersionInfo1->SetFileName("");
  VersionInfo1->SetFileName(installedFolder + kInstalledExe);
  const std::string installed = std::to_string(VersionInfo1->FIleMajor()) + std::to_string(VersionInfo1->FIleMinor()) +
                                std::to_string(VersionInfo1->FIleRelease()) + std::to_string(VersionInfo1->FIleBuild());
  const std::int32_t installedVersion = StrToInt(installed);
  const std::int32_t targetVersion = StrToInt(NewVerEdit->GetText());
  return installedVersion < targetVersion;
}

// From the confirmation on, every way out but a No and a failed check closes the window with
// a message; errors of any stage end in the one error message.
void TUpDateForm::RunUpdate(const std::string& installedFolder, const std::string& archiveName) {
  UpdateLog log(installedFolder);
  MessageBoxRecorder recorder(log);
  log.Write("Update run started. Installed folder: " + installedFolder);
  log.Write("Installed version: " + std::to_string(VersionInfo1->FIleMajor()) + "." +
            std::to_string(VersionInfo1->FIleMinor()) + "." + std::to_string(VersionInfo1->FIleRelease()) + "." +
            std::to_string(VersionInfo1->FIleBuild()) + ", target version: " + NewVerEdit->GetText());
  std::vector<AliasFolder> folders;
  try {
    if (MessageDlg(updatemsg::kConfirm, mtConfirmation, {mbYes, mbNo}) != mrYes) {
      log.Write("Not confirmed; nothing was changed");
      return;
    }
    if (!CheckBeforeChanges(log, installedFolder, folders)) return;
    InstallProgramFiles(log, folders.front().path, installedFolder, archiveName);
    MigrateAndReport(log, installedFolder, folders);
  } catch (const std::exception& e) {
    log.Write(std::string("Error: ") + e.what());
    MessageDlg(updatemsg::kError, mtInformation, {mbOK});
  } catch (...) {
    log.Write("Error of unknown kind");
    MessageDlg(updatemsg::kError, mtInformation, {mbOK});
  }
  log.Write("Update run ended; the window closes");
  Close();
}

// True when the update may go on; otherwise the reason has been shown and nothing on disk was
// changed. An unusable live alias is an error for the run's error message.
bool TUpDateForm::CheckBeforeChanges(UpdateLog& log, const std::string& installedFolder,
                                     std::vector<AliasFolder>& folders) {
  // What was settled from here on: a refusal must not say that nothing was changed.
  std::vector<std::string> settled;
  if (!PutBackEarlierProgramFiles(log, installedFolder, settled)) return false;
  log.Write("Engine configuration: " + text::PathToUtf8(paradox::LocateEngineConfigFile()));
  folders = {{kLiveAlias, LiveAliasFolder()}, {kDemoAlias, DemoAliasFolder(log)}};
  for (const AliasFolder& f : folders) log.Write("Alias " + f.alias + ": " + f.path);
  if (!MappedDrivesReachable(log, installedFolder, folders, settled)) return false;
  for (const AliasFolder& f : folders)
    if (!f.path.empty())
      log.Write("Room needed on the drive of " + f.path + ": " +
                std::to_string(updatecheck::EstimatedNeed(f.path, &f == &folders.front())) + " bytes");
  if (!SettleEarlierRun(log, folders, settled)) return false;
  if (auto problem = updatecheck::CheckBeforeUpdate(folders, settled)) {
    log.Write(settled.empty() ? "Check before changes failed; nothing was changed"
                              : "Check before changes failed; nothing was changed after the settling above");
    MessageDlg(*problem, mtError, {mbOK});
    return false;
  }
  if (!ProgramFilesCanBeReplaced(log, installedFolder, folders, settled)) return false;
  log.Write("Check before changes passed");
  LogRecordCounts(log, folders, "before");
  return true;
}

void TUpDateForm::InstallProgramFiles(UpdateLog& log, const std::string& liveFolder,
                                      const std::string& installedFolder, const std::string& archiveName) {
  const std::string tempFolder = liveFolder + kTempFolder;
  // A folder that was there before the run (C:\Temp, for an alias at a drive root) may hold the
  // user's own files: of it, only the archive written now is removed afterwards.
  const bool madeTempFolder = !fileops::FolderExists(tempFolder);
  if (madeTempFolder && !fileops::CreateOneFolder(tempFolder)) {
    const DWORD error = GetLastError();
    throw Exception("Cannot create the folder " + tempFolder + " (error " + std::to_string(error) + ")");
  }
  log.Write("Writing the program archive to " + tempFolder + "\\" + archiveName);
  SavePayloadResource(tempFolder, archiveName);
  const bool installed = programfiles::InstallAllOrNothing(
      text::PathFromUtf8(installedFolder), text::PathFromUtf8(tempFolder + "\\" + archiveName),
      [&] { return ExtractPayload(log, tempFolder, archiveName, installedFolder); },
      [&](const std::string& line) { log.Write(line); });
  RemoveTemporaryFiles(log, tempFolder, archiveName, madeTempFolder);
  if (!installed) throw Exception("The program files were not installed; every old one is kept and the tables are left as they are");
}

void TUpDateForm::MigrateAndReport(UpdateLog& log, const std::string& installedFolder,
                                   const std::vector<AliasFolder>& folders) {
  log.Write("Migrating the tables");
  bool migrated = false;
  try {
    migrated = MigrateTables(folders);
  } catch (...) {
    LogRecordCounts(log, folders, "after");
    throw;
  }
  log.Write(migrated ? "Migration completed" : "Migration stopped early");
  LogRecordCounts(log, folders, "after");
  if (!migrated) {
    log.Write("Beep");
    MessageBeep(0);
    MessageDlg(updatemsg::kDataStructureFailed, mtInformation, {mbAbort});
    return;
  }
  CopyListedFiles(installedFolder, *FCopyList);
  MessageDlg(updatemsg::kFinished, mtInformation, {mbOK});
}

bool TUpDateForm::CopyListedFiles(const std::string& installedFolder, const TStrings& list) {
  std::string source = text::PathToUtf8(paradox::ProgramFolder());
  if (source.empty() || source.back() != '\\') source += '\\';
  return CopyNamedFiles(source, installedFolder, list);
}
