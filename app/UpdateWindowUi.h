#pragma once
// The update run as SETUP.EXE shows it: the framework's message dialog, the progress window,
// the registry, the shell and the update window's own version reader and copy list. Windows
// only (UpdateWindowUi_win32.cpp).

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/UpdateRun.h"

class TUpDateForm;
class MessageBoxRecorder;

class UpdateWindowUi final : public updaterun::UpdateUi {
 public:
  explicit UpdateWindowUi(TUpDateForm& form);
  ~UpdateWindowUi() override;
  UpdateWindowUi(const UpdateWindowUi&) = delete;
  UpdateWindowUi& operator=(const UpdateWindowUi&) = delete;

  unsigned ShowMessage(const std::string& text, migration::MessageKind kind, unsigned buttons) override;
  void Beep() override;
  void RecordMessagesIn(UpdateLog* log) override;
  migration::MigrationUi& MigrationUi() override;
  std::string ReadInstalledFolder(const std::string& defaultValue) override;
  bool DriveFolderExists(const std::string& path) override;
  std::string SelectFolder(const std::string& title) override;
  bool ApplicationIsRunning() override;
  void BringApplicationForward() override;
  updaterun::FileVersion ReadFileVersion(const std::string& file) override;
  std::optional<updaterun::UnseenDrive> UnseenMappedDrive(const std::string& path) override;
  std::optional<std::uint32_t> CreateOneFolder(const std::string& path) override;
  std::optional<std::uint32_t> DeleteOneFile(const std::string& path) override;
  void DeleteFolder(const std::string& folder) override;
  std::span<const std::uint8_t> PayloadArchive() override;
  void SavePayload(const std::string& folder, const std::string& fileName) override;
  std::unique_ptr<updaterun::Extraction> LoadExtraction() override;
  void CopyListedFiles(const std::string& installedFolder) override;

 private:
  TUpDateForm& form_;
  std::unique_ptr<migration::MigrationUi> progress_;
  std::unique_ptr<MessageBoxRecorder> recorder_;
};
