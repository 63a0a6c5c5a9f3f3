// TCustomForm and TForm: form resources, the form's published side, its window and close
// handling; the registration of the controls' classes.

#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "framework/Forms.h"
#include "framework/ClassBuilder.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "framework/Win32Util.h"
#include "text/CodePage.h"

using namespace fwwin;

void RegisterFrameworkClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const TClassInfo* c :
         {&TForm::StaticClass(), &TLabel::StaticClass(), &TEdit::StaticClass(), &TListBox::StaticClass(),
          &TImage::StaticClass(), &TTimer::StaticClass(), &TPanel::StaticClass(),
          &TProgressBar::StaticClass(), &TAnimate::StaticClass(), &TPopupMenu::StaticClass(),
          &TMenuItem::StaticClass()})
      RegisterComponentClass(*c);
  });
}

// --- Form resources ------------------------------------------------------------------------

namespace {
std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}
struct ResourceTable {
  std::mutex mutex;
  std::map<std::string, std::string> data;
};
ResourceTable& Resources() {
  static ResourceTable t;
  return t;
}
}  // namespace

std::optional<std::string> FindModuleRcData(const std::string& name) {
  std::wstring w = text::Widen(name);
  HRSRC r = FindResourceW(nullptr, w.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!r) return std::nullopt;
  HGLOBAL g = LoadResource(nullptr, r);
  DWORD size = SizeofResource(nullptr, r);
  const void* p = g ? LockResource(g) : nullptr;
  if (!p) return std::nullopt;
  return std::string(static_cast<const char*>(p), size);
}

void RegisterFormResource(const std::string& name, std::string data) {
  ResourceTable& t = Resources();
  std::lock_guard lock(t.mutex);
  t.data[Upper(name)] = std::move(data);
}

std::optional<std::string> FindFormResource(const std::string& name) {
  {
    ResourceTable& t = Resources();
    std::lock_guard lock(t.mutex);
    auto it = t.data.find(Upper(name));
    if (it != t.data.end()) return it->second;
  }
  return FindModuleRcData(Upper(name));
}

// --- TCustomForm ------------------------------------------------------------------------------

namespace {
const TClassInfo& BuildFormInfo() {
  static const TClassInfo info =
      TClassBuilder<TCustomForm>("TCustomForm", &TWinControl::StaticClass())
          .Publish("Left").Publish("Top")
          .Publish("Width").Stored(&TCustomForm::IsFormSizeStored)
          .Publish("Height").Stored(&TCustomForm::IsFormSizeStored)
          .Property("ActiveControl", &TCustomForm::ActiveControl, &TCustomForm::SetActiveControl)
          .Publish("Align")
          .Property("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons)
              .Default(TBorderIcons{biSystemMenu, biMinimize, biMaximize})
          .Property("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle).Default(bsSizeable)
          .Publish("Caption")
          .Publish("ClientHeight").Stored(&TCustomForm::IsClientSizeStored)
          .Publish("ClientWidth").Stored(&TCustomForm::IsClientSizeStored)
          .Publish("Color").NoDefault().Stored(true)
          .Publish("Enabled")
          .Publish("Font").Stored(true)
          .Property("FormStyle", &TCustomForm::FormStyle, &TCustomForm::SetFormStyle).Default(fsNormal)
          .Publish("Hint")
          .Property("KeyPreview", &TCustomForm::KeyPreview, &TCustomForm::SetKeyPreview).Default(false)
          .Property("OldCreateOrder", &TCustomForm::OldCreateOrder, &TCustomForm::SetOldCreateOrder)
          .Publish("ParentFont").Default(false)
          .Publish("PopupMenu")
          .Property("Position", &TCustomForm::Position, &TCustomForm::SetPosition).Default(poDesigned)
          .Property("Scaled", &TCustomForm::Scaled, &TCustomForm::SetScaled).Default(true)
          .Publish("ShowHint")
          .Publish("Visible").Default(false)
          .Property("WindowState", &TCustomForm::WindowState, &TCustomForm::SetWindowState).Default(wsNormal)
          .Property("OnActivate", &TCustomForm::OnActivate, &TCustomForm::OnActivate)
          .Publish("OnClick")
          .Property("OnClose", &TCustomForm::OnClose, &TCustomForm::OnClose)
          .Property("OnCreate", &TCustomForm::OnCreate, &TCustomForm::OnCreate)
          .Publish("OnDblClick")
          .Property("OnDestroy", &TCustomForm::OnDestroy, &TCustomForm::OnDestroy)
          .Property("OnHide", &TCustomForm::OnHide, &TCustomForm::OnHide)
          .Publish("OnKeyDown").Publish("OnKeyPress").Publish("OnKeyUp")
          .Publish("OnMouseDown").Publish("OnMouseMove").Publish("OnMouseUp")
          .Property("OnShow", &TCustomForm::OnShow, &TCustomForm::OnShow)
          .Build();
  return info;
}
}  // namespace

const TClassInfo& TCustomForm::StaticClass() { return BuildFormInfo(); }

const TClassInfo& TForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TForm>("TForm", &TCustomForm::StaticClass()).Creatable().Build();
  return info;
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  SetVisible(false);
  SetParentColor(false);
  SetColor(clBtnFace);
  SetParentFont(false);
  Font()->SetHeight(-11);
  SetBounds(0, 0, 320, 240);
  controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
}

TCustomForm::~TCustomForm() {
  state_.Include(csDestroying);
  OnDestroy(this);
  if (Application) Application->Notification(this, false);
}

std::string TCustomForm::ClassName() const {
  return poseClassName_.empty() ? TWinControl::ClassName() : poseClassName_;
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
  if (v == borderIcons_) return;
  borderIcons_ = v;
  RecreateWnd();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == borderStyle_) return;
  borderStyle_ = v;
  RecreateWnd();
}

void TCustomForm::SetActiveControl(TWinControl* c) {
  activeControl_ = c;
  if (c && !ComponentState().Contains(csLoading) && !ComponentState().Contains(csReading) && HandleAllocated() &&
      Visible() && c->CanFocus())
    c->SetFocus();
}

void TCustomForm::SetClientSize(int width, int height) {
  clientSizeStored_ = true;
  clientWidth_ = width;
  clientHeight_ = height;
  TWinControl::SetClientSize(width, height);
}

void TCustomForm::Loaded() {
  TWinControl::Loaded();
  AlignControls();
}

void TCustomForm::Notification(TComponent* c, bool inserted) {
  TWinControl::Notification(c, inserted);
  if (!inserted && c == activeControl_) activeControl_ = nullptr;
}

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  TWinControl::GetChildren(proc, root);
  if (root == this)
    for (int i = 0; i < ComponentCount(); ++i)
      if (!Components(i)->HasParent()) proc(Components(i));
}

void TCustomForm::DefineProperties(TFiler& filer) {
  TWinControl::DefineProperties(filer);
  filer.DefineProperty(
      "PixelsPerInch", [this](TReader& r) { pixelsPerInch_ = static_cast<int>(r.ReadInteger()); },
      [this](TWriter& w) { w.WriteInteger(pixelsPerInch_); }, true);
  filer.DefineProperty(
      "TextHeight", [this](TReader& r) { textHeight_ = static_cast<int>(r.ReadInteger()); },
      [this](TWriter& w) { w.WriteInteger(textHeight_); }, true);
}

void TCustomForm::ReadFormData(std::string_view data) {
  RegisterFrameworkClasses();
  TReader r(data, ComponentState().Contains(csDesigning) ? TReader::Mode::kDesign : TReader::Mode::kRunTime);
  r.ReadRootComponent(this);
}

bool TCustomForm::InitInheritedComponent() {
  std::string name = ClassName();
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  std::optional<std::string> data = FindFormResource(name);
  if (!data) return false;
  ReadFormData(*data);
  return true;
}

namespace {
void CollectTabStops(const TWinControl* w, std::vector<TWinControl*>& out) {
  for (TWinControl* c : w->TabList()) {
    out.push_back(c);
    CollectTabStops(c, out);
  }
}
bool Focusable(TWinControl* c) { return c->TabStop() && c->CanFocus(); }
}  // namespace

TWinControl* TCustomForm::FindFirstFocusable() const {
  std::vector<TWinControl*> all;
  CollectTabStops(this, all);
  for (TWinControl* c : all)
    if (Focusable(c)) return c;
  return nullptr;
}

void TCustomForm::SelectNext(TWinControl* current, bool forward) {
  std::vector<TWinControl*> all;
  CollectTabStops(this, all);
  if (all.empty()) return;
  if (!forward) std::reverse(all.begin(), all.end());
  auto it = std::find(all.begin(), all.end(), current);
  std::size_t start = it == all.end() ? all.size() - 1 : static_cast<std::size_t>(it - all.begin());
  for (std::size_t k = 1; k <= all.size(); ++k) {
    TWinControl* c = all[(start + k) % all.size()];
    if (Focusable(c)) {
      activeControl_ = c;
      c->SetFocus();
      return;
    }
  }
}

void TCustomForm::Close() {
  TCloseAction action = caHide;
  OnClose(this, action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Hide();
    Application->Terminate();
    return;
  }
  if (action == caFree)
    Release();
  else
    Hide();
}

// --- TCustomForm -------------------------------------------------------------------------------

void TCustomForm::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "NorvexForm";
  DWORD style = WS_CLIPSIBLINGS;
  DWORD ex = 0;
  switch (borderStyle_) {
    case bsNone: style |= WS_POPUP; break;
    case bsSingle: case bsToolWindow: style |= WS_CAPTION | WS_BORDER; break;
    case bsDialog: style |= WS_POPUP | WS_CAPTION | DS_MODALFRAME; ex |= WS_EX_DLGMODALFRAME; break;
    case bsSizeable: case bsSizeToolWin: style |= WS_CAPTION | WS_THICKFRAME; break;
  }
  if (borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin) ex |= WS_EX_TOOLWINDOW;
  if (borderStyle_ != bsNone && borderIcons_.Contains(biSystemMenu)) {
    style |= WS_SYSMENU;
    if (borderStyle_ != bsDialog && borderStyle_ != bsToolWindow && borderStyle_ != bsSizeToolWin) {
      if (borderIcons_.Contains(biMinimize)) style |= WS_MINIMIZEBOX;
      if (borderIcons_.Contains(biMaximize)) style |= WS_MAXIMIZEBOX;
    }
  }
  if (formStyle_ == fsStayOnTop) ex |= WS_EX_TOPMOST;
  params.style = style;
  params.exStyle = ex;
}

TRect TCustomForm::ClientRect() const {
  if (handle_) return TWinControl::ClientRect();
  TCreateParams p;
  const_cast<TCustomForm*>(this)->CreateParams(p);
  RECT r{0, 0, 0, 0};
  AdjustWindowRectEx(&r, p.style, FALSE, p.exStyle);
  return {0, 0, Width() - (r.right - r.left), Height() - (r.bottom - r.top)};
}

void TCustomForm::CreateWnd() {
  RegisterWindowClasses();
  if (clientSizeStored_) TWinControl::SetClientSize(clientWidth_, clientHeight_);
  TCreateParams p;
  CreateParams(p);
  HWND owner = nullptr;
  if (Application && Application->MainForm() && Application->MainForm() != this &&
      Application->MainForm()->HandleAllocated())
    owner = static_cast<HWND>(Application->MainForm()->Handle());
  std::wstring cap = text::Widen(p.caption);
  SetCreatingControl(this);
  HWND h = CreateWindowExW(p.exStyle, kFormClass, cap.c_str(), p.style, Left(), Top(), Width(), Height(), owner,
                           nullptr, Instance(), nullptr);
  SetCreatingControl(nullptr);
  if (!h) throw EInvalidOperation("Cannot create the window of " + Name());
  if (clientSizeStored_) {
    // The frame's metrics are the platform's; correct once so the client area is exact.
    RECT rc;
    GetClientRect(h, &rc);
    int dw = clientWidth_ - rc.right, dh = clientHeight_ - rc.bottom;
    if (dw || dh) SetBounds(Left(), Top(), Width() + dw, Height() + dh);
  }
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), FALSE);
  AlignControls();
  CreateHandleChildren();
}

void TCustomForm::PlaceOnScreen() {
  if (position_ == poScreenCenter || position_ == poDesktopCenter) {
    int sw = GetSystemMetrics(position_ == poScreenCenter ? SM_CXSCREEN : SM_CXVIRTUALSCREEN);
    int sh = GetSystemMetrics(position_ == poScreenCenter ? SM_CYSCREEN : SM_CYVIRTUALSCREEN);
    SetBounds((sw - Width()) / 2, (sh - Height()) / 2, Width(), Height());
  }
}

void TCustomForm::Show() {
  SetVisible(true);
  if (HandleAllocated()) {
    SetForegroundWindow(static_cast<HWND>(handle_));
    BringToFront();
  }
}

void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::Release() {
  if (!Application) return;
  Application->QueueRelease(this);
  PostMessageW(static_cast<HWND>(Application->Handle()), CM_RELEASE, 0, 0);
}

void TCustomForm::CMVisibleChanged() {
  if (ComponentState().Contains(csLoading) || ComponentState().Contains(csReading) ||
      ComponentState().Contains(csDesigning))
    return;
  if (Visible()) {
    bool first = !handle_;
    Handle();
    if (first || !placed_) {
      PlaceOnScreen();
      placed_ = true;
    }
    HWND h = static_cast<HWND>(handle_);
    ShowWindow(h, windowState_ == wsMaximized ? SW_SHOWMAXIMIZED : windowState_ == wsMinimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    TWinControl* focus = activeControl_ && activeControl_->CanFocus() ? activeControl_ : FindFirstFocusable();
    if (focus) focus->SetFocus();
    UpdateWindow(h);
    OnShow(this);
  } else if (handle_) {
    ShowWindow(static_cast<HWND>(handle_), SW_HIDE);
    OnHide(this);
  }
}

void TCustomForm::WndProc(TMessage& m) {
  HWND h = static_cast<HWND>(handle_);
  switch (m.msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_ERASEBKGND:
      m.result = 1;
      return;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      TCanvas canvas;
      canvas.SetHandle(dc);
      canvas.Brush().SetColor(Color());
      canvas.FillRect({ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
      try {
        PaintControls(canvas);
      } catch (...) {
        canvas.SetHandle(nullptr);
        EndPaint(h, &ps);
        throw;
      }
      canvas.SetHandle(nullptr);
      EndPaint(h, &ps);
      return;
    }
    case WM_ACTIVATE:
      if (LOWORD(m.wParam) != WA_INACTIVE) {
        DefaultHandler(m);
        TWinControl* focus = activeControl_ && activeControl_->CanFocus() ? activeControl_ : FindFirstFocusable();
        if (focus && focus != this) focus->SetFocus();
        OnActivate(this);
        m.result = 0;
        return;
      }
      break;
    case WM_SETFOCUS:
      if (activeControl_ && activeControl_ != this && activeControl_->CanFocus()) {
        activeControl_->SetFocus();
        return;
      }
      break;
    case WM_NCDESTROY:
      TWinControl::WndProc(m);
      placed_ = false;
      return;
    default: break;
  }
  TWinControl::WndProc(m);
}
