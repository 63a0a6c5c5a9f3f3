#pragma once
// SETUP.LOG: what an update run did, for support staff, in the installed folder. UTF-8 with a
// byte-order mark so that Notepad shows the Japanese right; lines end in CR LF. Each line starts
// with the local time. Writing never fails the run: a log that cannot be opened or written
// (read-only folder, full disk) is silently given up, and nothing else changes.

#include <filesystem>
#include <string>

#include "framework/Dialogs.h"

class UpdateLog {
 public:
  static constexpr char kFileName[] = "SETUP.LOG";

  // The log in `folder` (UTF-8, no trailing backslash); nothing is written yet.
  explicit UpdateLog(const std::string& folder);

  void Write(const std::string& line);
  // A message box as the user saw it: caption, buttons and text, then the answer.
  void WriteMessage(const std::string& caption, const std::string& text, TMsgDlgButtons buttons);
  void WriteAnswer(TModalResult result);

 private:
  std::filesystem::path FPath;
  bool FGivenUp = false;
};

// While it lives, every framework message box (the run's own, the extraction library's, the
// migration's) is also written to `log` with the user's answer. Nests with no other handler.
class MessageBoxRecorder {
 public:
  explicit MessageBoxRecorder(UpdateLog& log);
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
};
