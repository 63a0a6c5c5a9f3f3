// Natively there are no windows: the window calls of the controls do nothing.
#include "framework/Controls.h"

void TControl::Invalidate() {}
void TControl::Update() {}
void TControl::BringToFront() {}
TPoint TControl::ClientToScreen(TPoint p) const {
  for (const TControl* c = this; c; c = c->Parent()) {
    p.x += c->Left();
    p.y += c->Top();
  }
  return p;
}
TPoint TControl::ScreenToClient(TPoint p) const {
  for (const TControl* c = this; c; c = c->Parent()) {
    p.x -= c->Left();
    p.y -= c->Top();
  }
  return p;
}
bool TControl::MouseCapture() const { return false; }
void TControl::SetMouseCapture(bool) {}

void* TWinControl::Handle() { return nullptr; }
void TWinControl::DestroyHandle() {}
void TWinControl::RecreateWnd() {}
TRect TWinControl::ClientRect() const { return {0, 0, Width(), Height()}; }
bool TWinControl::Focused() const { return false; }
void TWinControl::SetFocus() {}
void TWinControl::WndProc(TMessage&) {}
void TWinControl::DefaultHandler(TMessage&) {}
void TWinControl::Invalidate() {}
void TWinControl::Update() {}
void TWinControl::CreateWnd() {}
void TWinControl::CreateHandleChildren() {}
void TWinControl::BoundsChanged() {}
void TWinControl::CMTextChanged() {}
void TWinControl::CMFontChanged() {}
void TWinControl::CMEnabledChanged() {}
void TWinControl::CMVisibleChanged() {}
void TWinControl::AttachChild(TControl*) {}
void TWinControl::DetachChild(TControl*) {}
void TCustomControl::CreateParams(TCreateParams& params) { TWinControl::CreateParams(params); }
void TCustomControl::WndProc(TMessage&) {}

TShiftState CurrentShiftState() { return {}; }
TPoint CursorPos() { return {}; }
TControl* GetCaptureControl() { return nullptr; }
TControl* FindControl(void*) { return nullptr; }
