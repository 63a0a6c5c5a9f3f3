#include "app/Migrate.h"

#include <windows.h>

#include "app/Progres.h"
#include "framework/Controls.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "migration/MigrateTables.h"

namespace {

// A long migration runs without returning to the message loop. So that Windows does not mark
// the program as hung, and the progress window does not turn white, paint and timer messages
// are handled now and then; input stays queued, so the update window takes no clicks.
constexpr DWORD kKeepAliveIntervalMs = 100;
// A window that never validates its update region would keep WM_PAINT coming for ever.
constexpr int kMaxMessagesPerKeepAlive = 64;

TMsgDlgType DialogKind(migration::MessageKind kind) {
  switch (kind) {
    case migration::MessageKind::Warning: return mtWarning;
    case migration::MessageKind::Error: return mtError;
    case migration::MessageKind::Information: return mtInformation;
    case migration::MessageKind::Confirmation: return mtConfirmation;
    case migration::MessageKind::Plain: return mtCustom;
  }
  return mtCustom;
}

TMsgDlgButtons DialogButtons(unsigned buttons) {
  TMsgDlgButtons set;
  if (buttons & migration::kButtonYes) set << mbYes;
  if (buttons & migration::kButtonNo) set << mbNo;
  if (buttons & migration::kButtonOk) set << mbOK;
  if (buttons & migration::kButtonCancel) set << mbCancel;
  if (buttons & migration::kButtonAbort) set << mbAbort;
  return set;
}

unsigned PressedButton(TModalResult result) {
  switch (result) {
    case mrYes: return migration::kButtonYes;
    case mrNo: return migration::kButtonNo;
    case mrOk: return migration::kButtonOk;
    case mrCancel: return migration::kButtonCancel;
    case mrAbort: return migration::kButtonAbort;
    default: return 0;
  }
}

class ProgresFormUi : public migration::MigrationUi {
 public:
  void CreateProgress() override { max_ = 0; }
  void SetProgressMax(int max) override { max_ = max; }
  // ShowProgresForm creates the window from its form data, sets the bar, shows and paints it.
  void ShowProgress() override {
    ShowProgresForm(max_);
    lastKeepAlive_ = GetTickCount();
  }
  void StepProgress(int delta) override { StepProgresForm(delta); }
  void CloseProgress() override { CloseProgresForm(); }
  void SetBusyCursor(bool busy) override { Screen->SetCursor(busy ? crHourGlass : crDefault); }
  unsigned ShowMessage(const std::string& text, migration::MessageKind kind, unsigned buttons) override {
    return PressedButton(MessageDlg(text, DialogKind(kind), DialogButtons(buttons)));
  }
  void KeepAlive() override {
    const DWORD now = GetTickCount();
    if (now - lastKeepAlive_ < kKeepAliveIntervalMs) return;
    lastKeepAlive_ = now;
    MSG msg;
    int handled = 0;
    while (handled < kMaxMessagesPerKeepAlive && PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
      DispatchMessageW(&msg);
      ++handled;
    }
    while (handled < kMaxMessagesPerKeepAlive && PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      DispatchMessageW(&msg);
      ++handled;
    }
  }

 private:
  int max_ = 0;
  DWORD lastKeepAlive_ = 0;
};

}  // namespace

std::unique_ptr<migration::MigrationUi> MakeProgressWindowUi() { return std::make_unique<ProgresFormUi>(); }

bool MigrateTables(const std::vector<updatecheck::AliasFolder>& folders) {
  ProgresFormUi ui;
  return migration::MigrateTables(ui, folders);
}
