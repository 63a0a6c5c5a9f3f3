#include "app/UpdateWindowUi.h"

#include <windows.h>

#include "app/Migrate.h"
#include "app/PayloadResource.h"
#include "app/RegIniFile.h"
#include "app/SelectFolder.h"
#include "app/UpForm.h"
#include "app/UpdateLog.h"
#include "app/Unlha32.h"
#include "components/FileVer.h"
#include "fileops/FileOps.h"
#include "fileops/MappedDrive.h"
#include "os/WinHandles.h"

namespace {

// Written by the application itself; this program only reads it.
constexpr char kRegistryKey[] = "\\Software\\Tovo";
constexpr char kRegistrySection[] = "Configuration";
constexpr char kRegistryIdent[] = "InPath";

// The running application's signs of life.
constexpr wchar_t kRunningAtom[] = L"Tovo.EXE";
constexpr wchar_t kApplicationCaption[] = L"トヴォ顧客管理";

class Unlha32Extraction final : public updaterun::Extraction {
 public:
  std::string LibraryPath() const override { return unlha_.LibraryPath(); }
  bool BindEntryPoints() override { return unlha_.BindEntryPoints(); }
  void Execute(const std::string& commandLine) override { unlha_.Execute(commandLine); }
  std::optional<int> LastResult() const override { return unlha_.LastResult(); }
  std::string Report() const override { return unlha_.Report(); }

 private:
  // Loading shows the library's own message and throws EAbort when it is missing.
  TUnlha32 unlha_;
};

std::optional<std::uint32_t> LastErrorUnless(bool done) {
  if (done) return std::nullopt;
  return static_cast<std::uint32_t>(GetLastError());
}

}  // namespace

UpdateWindowUi::UpdateWindowUi(TUpDateForm& form) : form_(form), progress_(MakeProgressWindowUi()) {}

UpdateWindowUi::~UpdateWindowUi() = default;

// The run's own boxes go through the same dialog as the migration's.
unsigned UpdateWindowUi::ShowMessage(const std::string& text, migration::MessageKind kind, unsigned buttons) {
  return progress_->ShowMessage(text, kind, buttons);
}

void UpdateWindowUi::Beep() { MessageBeep(0); }

void UpdateWindowUi::RecordMessagesIn(UpdateLog* log) {
  recorder_.reset();
  if (log) recorder_ = std::make_unique<MessageBoxRecorder>(*log);
}

migration::MigrationUi& UpdateWindowUi::MigrationUi() { return *progress_; }

std::string UpdateWindowUi::ReadInstalledFolder(const std::string& defaultValue) {
  const TRegIniFile registry(kRegistryKey);
  return registry.ReadString(kRegistrySection, kRegistryIdent, defaultValue);
}

bool UpdateWindowUi::DriveFolderExists(const std::string& path) {
  // An empty floppy or CD drive would otherwise ask the user to insert a disk.
  const win32::ThreadErrorMode noDiskPrompt(SEM_FAILCRITICALERRORS);
  return fileops::FolderExists(path);
}

std::string UpdateWindowUi::SelectFolder(const std::string& title) {
  std::string folder;
  ::SelectFolder(title, folder);
  return folder;
}

bool UpdateWindowUi::ApplicationIsRunning() { return GlobalFindAtomW(kRunningAtom) != 0; }

void UpdateWindowUi::BringApplicationForward() {
  if (HWND window = FindWindowW(nullptr, kApplicationCaption)) SetForegroundWindow(window);
}

updaterun::FileVersion UpdateWindowUi::ReadFileVersion(const std::string& file) {
  // A file without a version block leaves the numbers read before; the empty name clears them,
  // so that a second press that finds another folder does not read the first one's version.
  TVersionInfo& info = *form_.VersionInfo1;
  info.SetFileName("");
  info.SetFileName(file);
  return {static_cast<unsigned>(info.FIleMajor()), static_cast<unsigned>(info.FIleMinor()),
          static_cast<unsigned>(info.FIleRelease()), static_cast<unsigned>(info.FIleBuild())};
}

std::optional<updaterun::UnseenDrive> UpdateWindowUi::UnseenMappedDrive(const std::string& path) {
  const std::optional<fileops::MappedDrive> drive = fileops::UnseenMappedDrive(path);
  if (!drive) return std::nullopt;
  return updaterun::UnseenDrive{drive->letter, drive->remotePath, drive->reachable};
}

std::optional<std::uint32_t> UpdateWindowUi::CreateOneFolder(const std::string& path) {
  return LastErrorUnless(fileops::CreateOneFolder(path));
}

std::optional<std::uint32_t> UpdateWindowUi::DeleteOneFile(const std::string& path) {
  return LastErrorUnless(fileops::DeleteOneFile(path));
}

void UpdateWindowUi::DeleteFolder(const std::string& folder) { fileops::DeleteFolder(nullptr, folder); }

std::span<const std::uint8_t> UpdateWindowUi::PayloadArchive() { return PayloadResourceBytes(); }

void UpdateWindowUi::SavePayload(const std::string& folder, const std::string& fileName) {
  SavePayloadResource(folder, fileName);
}

std::unique_ptr<updaterun::Extraction> UpdateWindowUi::LoadExtraction() {
  return std::make_unique<Unlha32Extraction>();
}

void UpdateWindowUi::CopyListedFiles(const std::string& installedFolder) {
  form_.CopyListedFiles(installedFolder, *form_.CopyList());
}
