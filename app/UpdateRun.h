#pragma once
// The update run behind the update button, without a window: the installed folder found, the
// refusals before anything changes, the confirmation, the check before changes, the program
// files installed all or nothing, the migration of both alias folders, the closing message.
// What only the platform can do (message boxes, the folder browser, the registry, the running
// application, the version reader, the payload resource, the extraction library, the folders
// and files only Windows names) is asked of an UpdateUi: SETUP.EXE plugs in its windows
// (UpdateUi_win32.cpp), the tests a recorder.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "migration/MigrationUi.h"

class UpdateLog;

namespace updaterun {

// The four numbers of a file's version block; all 0 for a file without one.
struct FileVersion {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned release = 0;
  unsigned build = 0;
};

// A drive letter the user mapped to a network folder that this process cannot see (run
// elevated, it does not see the user's mappings).
struct UnseenDrive {
  char letter = 0;
  std::string remotePath;  // "\\server\share"
  bool reachable = false;  // the folder asked about exists under the network path
};

// The extraction library, loaded for one extraction.
class Extraction {
 public:
  virtual ~Extraction() = default;
  // The full path of the library loaded, for the log.
  virtual std::string LibraryPath() const = 0;
  // True when there is no library and nothing was bound.
  virtual bool BindEntryPoints() = 0;
  // Hands `commandLine` (UTF-8) to the library.
  virtual void Execute(const std::string& commandLine) = 0;
  // The library's result code (std::nullopt when nothing ran) and its report, for the log.
  virtual std::optional<int> LastResult() const = 0;
  virtual std::string Report() const = 0;
};

class UpdateUi {
 public:
  virtual ~UpdateUi() = default;

  // A modal message box; `text` is UTF-8, `buttons` migration::MessageButton bits. Returns the
  // button pressed (one bit), or 0 when the box was closed another way.
  virtual unsigned ShowMessage(const std::string& text, migration::MessageKind kind, unsigned buttons) = 0;
  // The default system beep.
  virtual void Beep() = 0;
  // While `log` is set, every message box shown (the run's, the extraction library's, the
  // migration's) is also written to it with the answer; null stops that.
  virtual void RecordMessagesIn(UpdateLog* log) = 0;
  // The migration's progress window, pointer and message boxes.
  virtual migration::MigrationUi& MigrationUi() = 0;

  // The installed folder as the application recorded it in the registry, or `defaultValue`
  // when it has not. A value that is not text raises the framework's error.
  virtual std::string ReadInstalledFolder(const std::string& defaultValue) = 0;
  // Whether `path` ("c:\Tovo") is a folder, without the system asking for a disk when the
  // drive is an empty floppy or CD drive.
  virtual bool DriveFolderExists(const std::string& path) = 0;
  // The shell's folder browser with `title` above the tree: the chosen folder, or empty.
  virtual std::string SelectFolder(const std::string& title) = 0;
  // Whether the application runs (its global atom is there).
  virtual bool ApplicationIsRunning() = 0;
  // Brings the application's main window forward, when there is one.
  virtual void BringApplicationForward() = 0;
  // The version block of `file`, read afresh (nothing of an earlier file is kept).
  virtual FileVersion ReadFileVersion(const std::string& file) = 0;

  // The mapping of the drive letter of `path` when this process cannot see that drive, else
  // std::nullopt.
  virtual std::optional<UnseenDrive> UnseenMappedDrive(const std::string& path) = 0;
  // Creates the folder `path`, one level: std::nullopt when this call made it, else the
  // system's error code (an existing folder included).
  virtual std::optional<std::uint32_t> CreateOneFolder(const std::string& path) = 0;
  // Deletes the file `path`: std::nullopt when it did, else the system's error code.
  virtual std::optional<std::uint32_t> DeleteOneFile(const std::string& path) = 0;
  // Deletes `folder` with everything in it; nothing is reported.
  virtual void DeleteFolder(const std::string& folder) = 0;

  // The program archive this program carries. Throws the class library's resource error.
  virtual std::span<const std::uint8_t> PayloadArchive() = 0;
  // Writes the program archive to `folder` + "\" + `fileName`, creating or replacing it.
  // Throws the class library's resource or stream errors.
  virtual void SavePayload(const std::string& folder, const std::string& fileName) = 0;
  // Loads the extraction library. When it is missing, shows the library's own message and
  // throws the silent abort.
  virtual std::unique_ptr<Extraction> LoadExtraction() = 0;
  // The copy list's files copied from the program's own folder into `installedFolder`, each
  // failure in its own message.
  virtual void CopyListedFiles(const std::string& installedFolder) = 0;
};

// What the window does after a press of the update button.
enum class AfterRun { kStayOpen, kClose };

// The whole press: `archiveName` is the payload's file name, `targetVersion` the version text the
// form holds ("19436"). The framework's errors of the steps before the confirmation (a registry
// value that is not text, a version beyond the integer range) pass on to the caller; every error
// after it ends in the error message and kClose.
AfterRun RunUpdate(UpdateUi& ui, const std::string& archiveName, const std::string& targetVersion);

// The command line the extraction library is given: the archive in the temporary folder, the
// installed folder as the target, each in double quotes.
std::string ExtractionCommandLine(const std::string& tempFolder, const std::string& archiveName,
                                  const std::string& installedFolder);

}  // namespace updaterun
