#include <windows.h>
#include <commctrl.h>

#include "framework/Forms.h"
#include "framework/Win32Util.h"
#include "text/CodePage.h"

using namespace fwwin;

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

// --- TApplication ------------------------------------------------------------------------------

namespace {
LRESULT CALLBACK AppWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == CM_RELEASE) {
    if (Application) Application->ReleasePending();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

TApplication::~TApplication() {
  if (handle_) DestroyWindow(static_cast<HWND>(handle_));
}

void TApplication::Initialize() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
  InitCommonControlsEx(&icc);
  RegisterWindowClasses();
  Handle();
}

void* TApplication::Handle() {
  if (!handle_) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = AppWndProc;
    wc.hInstance = Instance();
    wc.lpszClassName = L"TApplication";
    RegisterClassExW(&wc);
    handle_ = CreateWindowExW(0, L"TApplication", text::Widen(title_).c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              Instance(), nullptr);
  }
  return handle_;
}

void TApplication::TitleChanged() {
  if (handle_) SetWindowTextW(static_cast<HWND>(handle_), text::Widen(title_).c_str());
}

bool TApplication::PreTranslate(void* p) {
  MSG& msg = *static_cast<MSG*>(p);
  if (msg.message != WM_KEYDOWN && msg.message != WM_CHAR && msg.message != WM_SYSCHAR) return false;
  TWinControl* target = ControlOf(msg.hwnd);
  if (!target) return false;
  TCustomForm* form = target->GetParentForm();
  if (!form || !form->Enabled()) return false;
  if (msg.message == WM_KEYDOWN) {
    if (msg.wParam != VK_TAB || (GetKeyState(VK_CONTROL) < 0)) return false;
    form->SelectNext(target, GetKeyState(VK_SHIFT) >= 0);
    return true;
  }
  if (msg.message == WM_CHAR && (target->WantsChars() || msg.wParam < 0x20)) return false;
  unsigned ch = static_cast<unsigned>(msg.wParam);
  bool taken = false;
  try {
    taken = form->DialogChar(ch);
  } catch (...) {
    HandleCurrentException();
    return true;
  }
  return taken;
}

void TApplication::HandleMessage() {
  MSG msg;
  BOOL r = GetMessageW(&msg, nullptr, 0, 0);
  if (r == 0 || r == -1) {
    terminated_ = true;
    return;
  }
  if (!PreTranslate(&msg)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      break;
    }
    if (!PreTranslate(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

void TApplication::Run() {
  if (mainForm_) mainForm_->Show();
  while (!terminated_ && mainForm_) HandleMessage();
  ReleasePending();
}

void TApplication::Terminate() {
  if (!terminated_) PostQuitMessage(0);
  terminated_ = true;
}

void TApplication::ShowErrorBox(const std::string& message) {
  std::wstring text = text::Widen(message), title = text::Widen(title_);
  // Task-modal: every window of the program is disabled while the box is up.
  MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

// --- TScreen -----------------------------------------------------------------------------------

void TScreen::SetCursor(TCursor c) {
  cursor_ = c;
  ::SetCursor(CursorHandle(c));
  POINT p;
  // Let the window under the pointer answer WM_SETCURSOR again now.
  if (GetCursorPos(&p)) SetCursorPos(p.x, p.y);
}

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }
