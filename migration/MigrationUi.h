#pragma once
// What the table migration shows its user, as an interface: SETUP.EXE plugs in its progress
// window, the screen cursor and the framework's message dialog; the support tools plug in a
// console; tests plug in a recorder. The migration itself never calls a window.

#include <string>

namespace migration {

// The kind of a message box sets its title and icon; a plain box has the application's title
// and no icon.
enum class MessageKind { Warning, Error, Information, Confirmation, Plain };

// Button sets, as bits; a message's set is part of its definition.
enum MessageButton : unsigned {
  kButtonYes = 1u << 0,
  kButtonNo = 1u << 1,
  kButtonOk = 1u << 2,
  kButtonCancel = 1u << 3,
  kButtonAbort = 1u << 4,
};

class MigrationUi {
 public:
  virtual ~MigrationUi() = default;

  // The progress window: created, given its bar's maximum, shown and painted at once, advanced
  // (a step past the maximum leaves the bar full), closed and released. Closing when none is up
  // does nothing.
  virtual void CreateProgress() = 0;
  virtual void SetProgressMax(int max) = 0;
  virtual void ShowProgress() = 0;
  virtual void StepProgress(int delta) = 0;
  virtual void CloseProgress() = 0;

  // The application-wide pointer: hourglass while true, the default pointer when false.
  virtual void SetBusyCursor(bool busy) = 0;

  // A modal message box; `text` is UTF-8. Returns the button pressed (one MessageButton bit),
  // or 0 when the box was closed another way.
  virtual unsigned ShowMessage(const std::string& text, MessageKind kind, unsigned buttons) = 0;

  // Called between units of long work, so that a window system can repaint the progress window
  // without taking input. At most every 100 ms is enough.
  virtual void KeepAlive() {}
};

}  // namespace migration
