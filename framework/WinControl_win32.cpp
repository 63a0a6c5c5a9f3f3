// The controls' windows: window classes and creation, the window procedure, mouse capture,
// focus, painting of custom controls.

#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>

#include <algorithm>

#include "framework/Controls.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "framework/Win32Util.h"
#include "text/CodePage.h"

namespace fwwin {

const wchar_t kControlClass[] = L"NorvexControl";
const wchar_t kFormClass[] = L"NorvexForm";

namespace {
const wchar_t kProp[] = L"NorvexObject";
TWinControl* creating = nullptr;
}  // namespace

void SetCreatingControl(TWinControl* c) { creating = c; }

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

void RegisterWindowClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = FrameworkWndProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kControlClass;
  RegisterClassExW(&wc);
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kFormClass;
  RegisterClassExW(&wc);
}

TWinControl* ControlOf(HWND hwnd) {
  return hwnd ? static_cast<TWinControl*>(GetPropW(hwnd, kProp)) : nullptr;
}

TShiftState ShiftFromKeys(WPARAM mk) {
  TShiftState s;
  if (mk & MK_SHIFT) s << ssShift;
  if (mk & MK_CONTROL) s << ssCtrl;
  if (mk & MK_LBUTTON) s << ssLeft;
  if (mk & MK_RBUTTON) s << ssRight;
  if (mk & MK_MBUTTON) s << ssMiddle;
  if (GetKeyState(VK_MENU) < 0) s << ssAlt;
  return s;
}

COLORREF ToColorRef(TColor c) { return ColorToRGB(c); }

HCURSOR CursorHandle(TCursor c) {
  const wchar_t* id = IDC_ARROW;
  switch (c) {
    case crHourGlass: id = IDC_WAIT; break;
    case crIBeam: id = IDC_IBEAM; break;
    case crHandPoint: id = IDC_HAND; break;
    case -3: id = IDC_CROSS; break;
    case -19: id = IDC_APPSTARTING; break;
    case crNoDrop: case -18: id = IDC_NO; break;
    default: break;
  }
  return LoadCursorW(nullptr, id);
}

HWND ToolTips() {
  static HWND tips = nullptr;
  if (!tips) {
    tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                           Instance(), nullptr);
  }
  return tips;
}

LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TWinControl* c = ControlOf(hwnd);
  if (!c) {
    if (!creating) return DefWindowProcW(hwnd, msg, wp, lp);
    c = creating;
    creating = nullptr;
    SetPropW(hwnd, kProp, c);
    struct Access : TWinControl {
      static void Set(TWinControl* w, HWND h) { static_cast<Access*>(w)->handle_ = h; }
    };
    Access::Set(c, hwnd);
  }
  TMessage m{msg, wp, lp, 0};
  try {
    c->WndProc(m);
  } catch (...) {
    if (Application) Application->HandleCurrentException();
  }
  return m.result;
}

}  // namespace fwwin

using namespace fwwin;

// --- TControl -------------------------------------------------------------------------------

void TControl::Invalidate() {
  if (!parent_ || !parent_->HandleAllocated()) return;
  RECT r{left_, top_, left_ + width_, top_ + height_};
  RedrawWindow(static_cast<HWND>(parent_->Handle()), &r, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TControl::Update() {
  if (parent_ && parent_->HandleAllocated()) UpdateWindow(static_cast<HWND>(parent_->Handle()));
}

void TControl::BringToFront() {
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    if (w->HandleAllocated()) SetWindowPos(static_cast<HWND>(w->Handle()), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return;
  }
  if (HWND h = static_cast<HWND>(WindowHandle())) SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

TPoint TControl::ClientToScreen(TPoint p) const {
  const TControl* c = this;
  int dx = 0, dy = 0;
  while (c && !dynamic_cast<const TWinControl*>(c)) {
    dx += c->left_;
    dy += c->top_;
    c = c->parent_;
  }
  if (!c) return {p.x + dx, p.y + dy};
  auto* w = const_cast<TWinControl*>(static_cast<const TWinControl*>(c));
  POINT pt{p.x + dx, p.y + dy};
  if (w->HandleAllocated()) ::ClientToScreen(static_cast<HWND>(w->Handle()), &pt);
  return {pt.x, pt.y};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  TPoint origin = ClientToScreen({0, 0});
  return {p.x - origin.x, p.y - origin.y};
}

bool TControl::MouseCapture() const {
  auto* w = dynamic_cast<const TWinControl*>(this);
  if (w) return w->HandleAllocated() && GetCapture() == static_cast<HWND>(const_cast<TWinControl*>(w)->Handle());
  return GetCaptureControl() == this;
}

namespace {
TControl* graphicCapture = nullptr;  // a graphic control that took the capture through its parent
}

void TControl::SetMouseCapture(bool v) {
  auto* w = dynamic_cast<TWinControl*>(this);
  if (v) {
    if (w) {
      SetCapture(static_cast<HWND>(w->Handle()));
    } else if (parent_) {
      graphicCapture = this;
      SetCapture(static_cast<HWND>(parent_->Handle()));
    }
  } else if (MouseCapture()) {
    graphicCapture = nullptr;
    ReleaseCapture();
  }
}

TControl* GetCaptureControl() {
  HWND h = GetCapture();
  TWinControl* w = ControlOf(h);
  if (!w) return nullptr;
  if (graphicCapture && graphicCapture->Parent() == w) return graphicCapture;
  return w;
}

TControl* FindControl(void* hwnd) { return ControlOf(static_cast<HWND>(hwnd)); }

TShiftState CurrentShiftState() {
  BYTE keys[256];
  TShiftState s;
  if (!GetKeyboardState(keys)) return s;
  if (keys[VK_SHIFT] & 0x80) s << ssShift;
  if (keys[VK_MENU] & 0x80) s << ssAlt;
  if (keys[VK_CONTROL] & 0x80) s << ssCtrl;
  if (keys[VK_LBUTTON] & 0x80) s << ssLeft;
  if (keys[VK_RBUTTON] & 0x80) s << ssRight;
  if (keys[VK_MBUTTON] & 0x80) s << ssMiddle;
  return s;
}

TPoint CursorPos() {
  POINT p{};
  GetCursorPos(&p);
  return {p.x, p.y};
}

// --- TWinControl ----------------------------------------------------------------------------

void* TWinControl::Handle() {
  if (!handle_) {
    if (Parent()) Parent()->Handle();
    if (!handle_) CreateWnd();
  }
  return handle_;
}

void TWinControl::CreateWnd() {
  RegisterWindowClasses();
  TCreateParams p;
  CreateParams(p);
  p.style |= WS_CHILD | WS_CLIPSIBLINGS;
  if (Visible()) p.style |= WS_VISIBLE;
  if (!Enabled()) p.style |= WS_DISABLED;
  if (!Parent()) throw EInvalidOperation("Control " + Name() + " has no parent window");
  HWND parent = static_cast<HWND>(Parent()->Handle());
  if (handle_) return;  // the parent's creation made this one
  std::wstring cls = text::Widen(p.className), cap = text::Widen(p.caption);
  bool ours = p.className == "NorvexControl";
  if (ours) creating = this;
  HWND h = CreateWindowExW(p.exStyle, cls.c_str(), cap.c_str(), p.style, Left(), Top(), Width(), Height(), parent,
                           nullptr, Instance(), nullptr);
  creating = nullptr;
  if (!h) throw EInvalidOperation("Cannot create the window of " + Name());
  if (!ours) {
    handle_ = h;
    SetPropW(h, L"NorvexObject", this);
    defWndProc_ = reinterpret_cast<void*>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameworkWndProc)));
  }
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), FALSE);
  InitWindow();
  if (!Hint().empty() && EffectiveShowHint()) {
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = parent;
    ti.uId = reinterpret_cast<UINT_PTR>(h);
    std::wstring hint = text::Widen(Hint());
    ti.lpszText = hint.data();
    SendMessageW(ToolTips(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  }
  CreateHandleChildren();
}

void TWinControl::CreateHandleChildren() {
  std::vector<TCustomLabel*> labels;
  for (TControl* c : std::vector<TControl*>(controls_)) {
    if (auto* w = dynamic_cast<TWinControl*>(c)) {
      w->Handle();
    } else if (auto* l = dynamic_cast<TCustomLabel*>(c)) {
      l->CreateLabelWindow();
      labels.push_back(l);
    }
  }
  // Windowed controls lie above the labels; among labels the later one lies above.
  for (auto it = labels.rbegin(); it != labels.rend(); ++it)
    if (HWND h = static_cast<HWND>((*it)->WindowHandle()))
      SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWinControl::AttachChild(TControl* c) {
  if (!handle_) return;
  if (auto* w = dynamic_cast<TWinControl*>(c))
    w->Handle();
  else if (auto* l = dynamic_cast<TCustomLabel*>(c))
    l->CreateLabelWindow();
  else
    c->Invalidate();
}

void TWinControl::DetachChild(TControl* c) {
  if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
  if (auto* l = dynamic_cast<TCustomLabel*>(c)) l->DestroyLabelWindow();
}

void TWinControl::DestroyHandle() {
  if (!handle_) return;
  for (TControl* c : controls_)
    if (auto* l = dynamic_cast<TCustomLabel*>(c)) l->DestroyLabelWindow();
  HWND h = static_cast<HWND>(handle_);
  DestroyWindow(h);  // WM_NCDESTROY clears handle_ of this and every windowed child
  handle_ = nullptr;
}

void TWinControl::RecreateWnd() {
  if (!handle_) return;
  bool focused = Focused();
  DestroyHandle();
  Handle();
  if (focused) SetFocus();
}

TRect TWinControl::ClientRect() const {
  if (handle_) {
    RECT r;
    GetClientRect(static_cast<HWND>(handle_), &r);
    return {0, 0, r.right, r.bottom};
  }
  return {0, 0, Width(), Height()};
}

bool TWinControl::Focused() const { return handle_ && GetFocus() == static_cast<HWND>(handle_); }

void TWinControl::SetFocus() {
  if (!CanFocus()) return;
  if (TCustomForm* f = GetParentForm(); f && f != this) f->SetActiveNoFocus(this);
  ::SetFocus(static_cast<HWND>(Handle()));
}

void TWinControl::Invalidate() {
  if (handle_) RedrawWindow(static_cast<HWND>(handle_), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TWinControl::Update() {
  if (handle_) RedrawWindow(static_cast<HWND>(handle_), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TWinControl::BoundsChanged() {
  if (!handle_ || updatingBounds_) return;
  updatingBounds_ = true;
  SetWindowPos(static_cast<HWND>(handle_), nullptr, Left(), Top(), Width(), Height(), SWP_NOZORDER | SWP_NOACTIVATE);
  updatingBounds_ = false;
}

void TWinControl::CMTextChanged() {
  if (handle_) SetWindowTextW(static_cast<HWND>(handle_), text::Widen(Caption()).c_str());
}

void TWinControl::CMFontChanged() {
  if (handle_) {
    SendMessageW(static_cast<HWND>(handle_), WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), TRUE);
    Invalidate();
  }
}

void TWinControl::CMEnabledChanged() {
  if (handle_) EnableWindow(static_cast<HWND>(handle_), Enabled());
}

void TWinControl::CMVisibleChanged() {
  if (!handle_) {
    if (Visible() && Parent() && Parent()->HandleAllocated()) Handle();
    return;
  }
  ShowWindow(static_cast<HWND>(handle_), Visible() ? SW_SHOWNA : SW_HIDE);
}

void TWinControl::DefaultHandler(TMessage& m) {
  HWND h = static_cast<HWND>(handle_);
  if (defWndProc_)
    m.result = CallWindowProcW(reinterpret_cast<WNDPROC>(defWndProc_), h, m.msg, m.wParam, m.lParam);
  else
    m.result = DefWindowProcW(h, m.msg, m.wParam, m.lParam);
}

namespace {
TControl* GraphicChildAt(TWinControl* w, int x, int y) {
  for (int i = w->ControlCount() - 1; i >= 0; --i) {
    TControl* c = w->Controls(i);
    if (!dynamic_cast<TWinControl*>(c) && c->Visible() && c->Enabled() && c->BoundsRect().Contains(x, y)) return c;
  }
  return nullptr;
}

TMouseButton ButtonOf(UINT msg) {
  switch (msg) {
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return mbRight;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return mbMiddle;
    default: return mbLeft;
  }
}

// The standard mouse behaviour of a control: capture and click candidate on a left press,
// click on a release inside, then the mouse-up.
void MouseDownOn(TControl* c, UINT msg, TShiftState shift, int x, int y) {
  TMouseButton b = ButtonOf(msg);
  bool dbl = msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK;
  if (dbl && c->ControlStyle().Contains(csDoubleClicks)) {
    shift << ssDouble;
    if (b == mbLeft) c->DblClick();
  }
  if (b == mbLeft) {
    if (c->ControlStyle().Contains(csCaptureMouse)) c->SetMouseCapture(true);
    struct Access : TControl {
      static void SetClicking(TControl* x, bool v) { static_cast<Access*>(x)->clicking_ = v; }
    };
    if (c->ControlStyle().Contains(csClickEvents)) Access::SetClicking(c, true);
  }
  c->MouseDown(b, shift, x, y);
}

void MouseUpOn(TControl* c, UINT msg, TShiftState shift, int x, int y) {
  TMouseButton b = ButtonOf(msg);
  if (b == mbLeft) {
    struct Access : TControl {
      static bool TakeClicking(TControl* x) {
        bool v = static_cast<Access*>(x)->clicking_;
        static_cast<Access*>(x)->clicking_ = false;
        return v;
      }
    };
    if (c->ControlStyle().Contains(csCaptureMouse)) c->SetMouseCapture(false);
    if (Access::TakeClicking(c) && c->ClientRect().Contains(x, y)) c->Click();
  }
  c->MouseUp(b, shift, x, y);
}
}  // namespace

// Each handler answers whether it dealt with the message in full; what it leaves goes to the
// window's default procedure.
void TWinControl::WndProc(TMessage& m) {
  if (DragMessage(this, m)) return;
  bool handled = false;
  switch (m.msg) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
      WMButtonDown(m);
      return;
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
      WMButtonUp(m);
      return;
    case WM_MOUSEMOVE:
      MouseMove(ShiftFromKeys(m.wParam), GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam));
      break;
    case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_KEYUP: case WM_SYSKEYUP: case WM_CHAR:
      handled = WMKey(m);
      break;
    case WM_SETFOCUS: case WM_KILLFOCUS:
      WMFocus(m);
      return;
    case WM_SETCURSOR:
      handled = WMSetCursor(m);
      break;
    case WM_CONTEXTMENU:
      handled = WMContextMenu(m);
      break;
    case WM_COMMAND:
    case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORSTATIC:
      handled = ReflectToChild(m);
      break;
    case CN_CTLCOLOREDIT: case CN_CTLCOLORLISTBOX: case CN_CTLCOLORSTATIC:
      CNCtlColor(m);
      return;
    case WM_WINDOWPOSCHANGED:
      WMWindowPosChanged(m);
      break;
    case WM_NCDESTROY:
      WMNcDestroy(m);
      return;
    default: break;
  }
  if (!handled) DefaultHandler(m);
}

// A press goes to the graphic child under the mouse, else to this control: through the
// framework's standard behaviour for our own windows, after the standard control's own
// handling for subclassed ones.
void TWinControl::WMButtonDown(TMessage& m) {
  int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
  UINT msg = m.msg;
  if (!ControlStyle().Contains(csDoubleClicks)) {
    if (msg == WM_LBUTTONDBLCLK) msg = WM_LBUTTONDOWN;
    if (msg == WM_RBUTTONDBLCLK) msg = WM_RBUTTONDOWN;
    if (msg == WM_MBUTTONDBLCLK) msg = WM_MBUTTONDOWN;
  }
  TControl* g = GraphicChildAt(this, x, y);
  // A left press on a control in automatic drag mode starts dragging it, and is nothing else.
  if (TControl* pressed = g ? g : this; ButtonOf(msg) == mbLeft && pressed->DragMode() == dmAutomatic) {
    POINT pt{x, y};
    ::ClientToScreen(static_cast<HWND>(handle_), &pt);
    BeginDragAt(pressed, pt, true, -1);
    return;
  }
  if (g) {
    MouseDownOn(g, msg, ShiftFromKeys(m.wParam), x - g->Left(), y - g->Top());
    return;
  }
  if (!defWndProc_) {
    MouseDownOn(this, msg, ShiftFromKeys(m.wParam), x, y);
    return;
  }
  DefaultHandler(m);
  TControl::MouseDown(ButtonOf(msg), ShiftFromKeys(m.wParam), x, y);
}

void TWinControl::WMButtonUp(TMessage& m) {
  int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
  if (graphicCapture && graphicCapture->Parent() == this) {
    TControl* g = graphicCapture;
    MouseUpOn(g, m.msg, ShiftFromKeys(m.wParam), x - g->Left(), y - g->Top());
    return;
  }
  if (!defWndProc_) {
    MouseUpOn(this, m.msg, ShiftFromKeys(m.wParam), x, y);
    return;
  }
  DefaultHandler(m);
  TControl::MouseUp(ButtonOf(m.msg), ShiftFromKeys(m.wParam), x, y);
}

// Key and character messages run the key events first; a handler that clears the key keeps
// the message from the window.
bool TWinControl::WMKey(TMessage& m) {
  if (m.msg == WM_CHAR) {
    if (m.wParam >= 0x80) return false;
    char ch = static_cast<char>(m.wParam);
    KeyPress(ch);
    if (ch == 0) return true;
    m.wParam = static_cast<unsigned char>(ch);
    return false;
  }
  std::uint16_t key = static_cast<std::uint16_t>(m.wParam);
  if (m.msg == WM_KEYDOWN || m.msg == WM_SYSKEYDOWN)
    KeyDown(key, CurrentShiftState());
  else
    KeyUp(key, CurrentShiftState());
  if (key == 0) return true;
  m.wParam = key;
  return false;
}

void TWinControl::WMFocus(TMessage& m) {
  if (m.msg == WM_SETFOCUS) {
    if (TCustomForm* f = GetParentForm(); f && f != this) f->SetActiveNoFocus(this);
    DefaultHandler(m);
    DoEnter();
    return;
  }
  DefaultHandler(m);
  DoExit();
}

// The screen's cursor (an hourglass) wins over the control's own.
bool TWinControl::WMSetCursor(TMessage& m) {
  TCursor cursor = crDefault;
  if (Screen && Screen->Cursor() != crDefault)
    cursor = Screen->Cursor();
  else if (Cursor() != crDefault && LOWORD(m.lParam) == HTCLIENT)
    cursor = Cursor();
  if (cursor == crDefault) return false;
  ::SetCursor(CursorHandle(cursor));
  m.result = TRUE;
  return true;
}

bool TWinControl::WMContextMenu(TMessage& m) {
  if (!PopupMenu()) return false;
  int x = GET_X_LPARAM(m.lParam), y = GET_Y_LPARAM(m.lParam);
  // From the keyboard: no position; the menu opens at the control's corner.
  if (x == -1 && y == -1) {
    TPoint p = ClientToScreen({0, 0});
    x = p.x;
    y = p.y;
  }
  PopupMenu()->Popup(x, y);
  return true;
}

// Notifications and colour requests that a child window sends its parent go back to the
// child's control (CN_ messages); a label's static window is coloured here.
bool TWinControl::ReflectToChild(TMessage& m) {
  if (m.msg == WM_COMMAND) {
    if (!m.lParam) return false;
    TWinControl* child = ControlOf(reinterpret_cast<HWND>(m.lParam));
    if (!child || child == this) return false;
    TMessage cn{CN_COMMAND, m.wParam, m.lParam, 0};
    child->WndProc(cn);
    m.result = cn.result;
    return true;
  }
  HWND child = reinterpret_cast<HWND>(m.lParam);
  if (TWinControl* c = ControlOf(child); c && c != this) {
    TMessage cn{kCnBase + m.msg, m.wParam, m.lParam, 0};
    c->WndProc(cn);
    m.result = cn.result;
    return true;
  }
  for (TControl* c : controls_)
    if (c->WindowHandle() == child) {
      ColorLabel(static_cast<TCustomLabel*>(c), m);
      return true;
    }
  return false;
}

void TWinControl::ColorLabel(TCustomLabel* label, TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.wParam);
  SetTextColor(dc, ColorToRGB(label->Font()->Color()));
  if (label->Transparent()) {
    SetBkMode(dc, TRANSPARENT);
    m.result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  } else {
    SetBkColor(dc, ColorToRGB(label->Color()));
    m.result = reinterpret_cast<LRESULT>(label->LabelBrush());
  }
}

void TWinControl::CNCtlColor(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.wParam);
  SetTextColor(dc, ColorToRGB(Font()->Color()));
  SetBkColor(dc, ColorToRGB(Color()));
  m.result = reinterpret_cast<LRESULT>(Brush()->Handle());
}

// The window moved or was sized from outside (the user, the system): the control learns its
// new bounds and lays out its children.
void TWinControl::WMWindowPosChanged(TMessage& m) {
  if (updatingBounds_) return;
  auto* wp = reinterpret_cast<const WINDOWPOS*>(m.lParam);
  if ((wp->flags & SWP_NOSIZE) && (wp->flags & SWP_NOMOVE)) return;
  HWND h = static_cast<HWND>(handle_);
  RECT r;
  GetWindowRect(h, &r);
  POINT tl{r.left, r.top};
  if (Parent() && Parent()->HandleAllocated()) ::ScreenToClient(static_cast<HWND>(Parent()->Handle()), &tl);
  updatingBounds_ = true;
  bool resized = r.right - r.left != Width() || r.bottom - r.top != Height();
  TControl::SetBounds(tl.x, tl.y, r.right - r.left, r.bottom - r.top);
  updatingBounds_ = false;
  if (resized) {
    AlignControls();
    InvalidateRect(h, nullptr, TRUE);
  }
}

void TWinControl::WMNcDestroy(TMessage& m) {
  HWND h = static_cast<HWND>(handle_);
  DefaultHandler(m);
  RemovePropW(h, L"NorvexObject");
  if (defWndProc_) SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(defWndProc_));
  defWndProc_ = nullptr;
  handle_ = nullptr;
}

// --- TCustomControl ----------------------------------------------------------------------------

void TCustomControl::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  if (TabStop()) params.style |= WS_TABSTOP;
}

void TCustomControl::PaintOn(void* dc) {
  struct Unbind {
    TCanvas& c;
    ~Unbind() { c.SetHandle(nullptr); }
  } unbind{canvas_};
  canvas_.SetHandle(dc);
  canvas_.Font().Assign(*Font());
  canvas_.Brush().Assign(*Brush());
  Paint();
}

void TCustomControl::WndProc(TMessage& m) {
  HWND h = static_cast<HWND>(handle_);
  switch (m.msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      struct EndPainting {
        HWND h;
        PAINTSTRUCT* ps;
        ~EndPainting() { EndPaint(h, ps); }
      } end{h, &ps};
      PaintOn(dc);
      return;
    }
    case WM_PRINTCLIENT:
      // The same painting into a device context that the sender gives (a memory bitmap).
      PaintOn(reinterpret_cast<HDC>(m.wParam));
      return;
    case WM_ERASEBKGND:
      m.result = 1;
      return;
    case WM_GETDLGCODE:
      m.result = DLGC_WANTARROWS | DLGC_WANTCHARS;
      return;
    case WM_MOUSEMOVE:
      if (!tracking_) {
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, h, 0};
        if (TrackMouseEvent(&t)) tracking_ = true;
        CMMouseEnter();
      }
      break;
    case WM_MOUSELEAVE:
      tracking_ = false;
      CMMouseLeave();
      return;
    case WM_SYSCHAR:
    case WM_CHAR:
      break;
    default: break;
  }
  TWinControl::WndProc(m);
}
