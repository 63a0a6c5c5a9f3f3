// Natively forms have no windows: showing and hiding only change Visible, the message loop
// returns at once, and the error box goes to stderr.
#include <cstdio>

#include "framework/Forms.h"

std::optional<std::string> FindModuleRcData(const std::string&) { return std::nullopt; }

void TCustomForm::Show() {
  SetVisible(true);
  OnShow(this);
}
void TCustomForm::Hide() { SetVisible(false); }
void TCustomForm::Release() {
  if (Application) Application->QueueRelease(this);
}
TRect TCustomForm::ClientRect() const { return TWinControl::ClientRect(); }
void TCustomForm::WndProc(TMessage& m) { TWinControl::WndProc(m); }
void TCustomForm::CreateParams(TCreateParams& params) { TWinControl::CreateParams(params); }
void TCustomForm::CreateWnd() {}
void TCustomForm::CMVisibleChanged() {}
void TCustomForm::PlaceOnScreen() {}

TApplication::~TApplication() = default;
void TApplication::Initialize() {}
void TApplication::TitleChanged() {}
void TApplication::Run() {
  if (mainForm_) mainForm_->Show();
  ReleasePending();
}
void TApplication::ProcessMessages() { ReleasePending(); }
void TApplication::HandleMessage() { ReleasePending(); }
void TApplication::Terminate() { terminated_ = true; }
void* TApplication::Handle() { return nullptr; }
bool TApplication::PreTranslate(void*) { return false; }
void TApplication::ShowErrorBox(const std::string& message) {
  std::fprintf(stderr, "[%s] %s\n", title_.c_str(), message.c_str());
}

void TScreen::SetCursor(TCursor c) { cursor_ = c; }
int TScreen::Width() const { return 1024; }
int TScreen::Height() const { return 768; }
