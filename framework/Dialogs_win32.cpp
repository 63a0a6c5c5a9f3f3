#include <windows.h>

#include <algorithm>
#include <vector>

#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/Win32Util.h"
#include "os/WinHandles.h"
#include "text/CodePage.h"

TMessageDlgHandler& MessageDlgHandler() {
  static TMessageDlgHandler handler;
  return handler;
}

void SetMessageDlgHandler(TMessageDlgHandler handler) { MessageDlgHandler() = std::move(handler); }

namespace {

constexpr wchar_t kDialogClass[] = L"TMessageForm";
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 8;

struct DialogState {
  TModalResult result = mrNone;
  TModalResult escResult = mrCancel;
  int defaultId = 0;
  bool done = false;
};

LRESULT CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* st = reinterpret_cast<DialogState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
      if (st && HIWORD(wp) == BN_CLICKED) {
        int id = LOWORD(wp);
        // IDCANCEL comes from Esc (IsDialogMessage) when no button has that id.
        st->result = id == IDCANCEL && st->escResult != mrCancel ? st->escResult : id;
        st->done = true;
      }
      return 0;
    case DM_GETDEFID:
      return st ? MAKELRESULT(st->defaultId, DC_HASDEFID) : 0;
    case WM_CLOSE:
      if (st) {
        st->result = mrCancel;
        st->done = true;
      }
      return 0;
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default: break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

BOOL CALLBACK CollectEnabled(HWND h, LPARAM lp) {
  if (IsWindowVisible(h) && IsWindowEnabled(h)) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

void RegisterDialogClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DialogProc;
  wc.hInstance = fwwin::Instance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kDialogClass;
  RegisterClassExW(&wc);
  registered = true;
}

// The buttons in their fixed order (OK alone when none is asked for), and which of them
// Enter and Esc stand for.
struct ButtonPlan {
  std::vector<TMsgDlgBtn> list;
  int defaultId = 0;
  TModalResult escResult = mrCancel;
};

ButtonPlan PlanButtons(TMsgDlgButtons buttons) {
  ButtonPlan plan;
  for (TMsgDlgBtn b : {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore})
    if (buttons.Contains(b)) plan.list.push_back(b);
  if (plan.list.empty()) plan.list.push_back(mbOK);
  TMsgDlgBtn def = buttons.Contains(mbOK) ? mbOK : buttons.Contains(mbYes) ? mbYes : plan.list.front();
  plan.defaultId = MsgDlgButtonResult(def);
  plan.escResult = buttons.Contains(mbCancel) ? mrCancel
                   : buttons.Contains(mbNo)   ? mrNo
                   : buttons.Contains(mbOK)   ? mrOk
                                              : mrCancel;
  return plan;
}

win32::UniqueFont MessageFont() {
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  return win32::UniqueFont(CreateFontIndirectW(&ncm.lfMessageFont));
}

// Where everything goes, in client coordinates, and the window's own rectangle.
struct DialogLayout {
  bool hasIcon = false;
  int textLeft = 0, textTop = 0, textWidth = 0, textHeight = 0;
  int buttonsLeft = 0, buttonTop = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;

// The text is measured as the static control will draw it, at most half the screen wide; the
// window is centred on the screen.
DialogLayout LayOut(const std::wstring& text, HFONT font, bool hasIcon, std::size_t buttonCount) {
  RECT tr{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  {
    const win32::WindowDc dc(nullptr);
    const win32::Selection selected(dc.Get(), font);
    DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &tr,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  }
  DialogLayout l;
  l.hasIcon = hasIcon;
  l.textLeft = kMargin + (hasIcon ? kIconSize + kMargin : 0);
  l.textWidth = tr.right - tr.left;
  l.textHeight = tr.bottom - tr.top;
  l.textTop = kMargin + (hasIcon && l.textHeight < kIconSize ? (kIconSize - l.textHeight) / 2 : 0);
  const int n = static_cast<int>(buttonCount);
  const int buttonsWidth = n * kButtonWidth + (n - 1) * kButtonGap;
  const int clientWidth = std::max(l.textLeft + l.textWidth + kMargin, buttonsWidth + 2 * kMargin);
  const int bodyHeight = std::max(hasIcon ? kIconSize : 0, l.textHeight);
  l.buttonTop = kMargin + bodyHeight + kMargin;
  l.buttonsLeft = (clientWidth - buttonsWidth) / 2;
  const int clientHeight = l.buttonTop + kButtonHeight + kMargin;
  RECT wr{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&wr, kDialogStyle, FALSE, kDialogExStyle);
  l.width = wr.right - wr.left;
  l.height = wr.bottom - wr.top;
  l.x = (GetSystemMetrics(SM_CXSCREEN) - l.width) / 2;
  l.y = (GetSystemMetrics(SM_CYSCREEN) - l.height) / 2;
  return l;
}

// The active window, else the main form: the dialog stays above it.
HWND DialogOwner() {
  HWND owner = GetActiveWindow();
  if (!owner && Application && Application->MainForm() && Application->MainForm()->HandleAllocated())
    owner = static_cast<HWND>(Application->MainForm()->Handle());
  return owner;
}

HWND CreateChild(HWND dlg, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
                 int id = 0) {
  return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, dlg,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), fwwin::Instance(), nullptr);
}

void AddIconAndText(HWND dlg, TMsgDlgType kind, const std::wstring& text, HFONT font, const DialogLayout& l) {
  if (l.hasIcon) {
    const wchar_t* id = kind == mtWarning ? IDI_WARNING : kind == mtError ? IDI_ERROR
                        : kind == mtInformation ? IDI_INFORMATION : IDI_QUESTION;
    HWND icon = CreateChild(dlg, L"STATIC", nullptr, SS_ICON, kMargin, kMargin, kIconSize, kIconSize);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, id)), 0);
  }
  HWND label = CreateChild(dlg, L"STATIC", text.c_str(), SS_LEFT | SS_NOPREFIX, l.textLeft, l.textTop, l.textWidth,
                           l.textHeight);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// Returns the default button's window.
HWND AddButtons(HWND dlg, const ButtonPlan& plan, HFONT font, const DialogLayout& l) {
  HWND defButton = nullptr;
  int bx = l.buttonsLeft;
  for (TMsgDlgBtn b : plan.list) {
    int id = MsgDlgButtonResult(b);
    std::wstring cap = text::Widen(MsgDlgButtonCaption(b));
    DWORD bs = WS_TABSTOP | (id == plan.defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND btn = CreateChild(dlg, L"BUTTON", cap.c_str(), bs, bx, l.buttonTop, kButtonWidth, kButtonHeight, id);
    SendMessageW(btn, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (id == plan.defaultId) defButton = btn;
    bx += kButtonWidth + kButtonGap;
  }
  return defButton;
}

// Modal: every other enabled window of this thread is disabled while the dialog is up. A
// WM_QUIT that arrives meanwhile ends the dialog with mrCancel and is posted again for the
// loop outside.
void RunModal(HWND dlg, HWND owner, HWND defButton, DialogState& st) {
  std::vector<HWND> disabled;
  EnumThreadWindows(GetCurrentThreadId(), CollectEnabled, reinterpret_cast<LPARAM>(&disabled));
  disabled.erase(std::remove(disabled.begin(), disabled.end(), dlg), disabled.end());
  for (HWND wnd : disabled) EnableWindow(wnd, FALSE);

  ShowWindow(dlg, SW_SHOWNORMAL);
  SetForegroundWindow(dlg);
  if (defButton) SetFocus(defButton);
  UpdateWindow(dlg);

  bool quit = false;
  int quitCode = 0;
  while (!st.done) {
    MSG msg;
    BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0 || r == -1) {
      quit = true;
      quitCode = static_cast<int>(msg.wParam);
      st.result = mrCancel;
      break;
    }
    if (!IsDialogMessageW(dlg, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  for (HWND wnd : disabled)
    if (IsWindow(wnd)) EnableWindow(wnd, TRUE);
  if (owner && IsWindow(owner)) SetActiveWindow(owner);
  SetWindowLongPtrW(dlg, GWLP_USERDATA, 0);
  DestroyWindow(dlg);
  if (quit) PostQuitMessage(quitCode);
}

}  // namespace

// A plain box carries the application's title, as the error box does.
std::string MsgDlgCaption(TMsgDlgType kind) {
  return kind == mtCustom && Application ? Application->Title() : MsgDlgTitle(kind);
}

TModalResult MessageDlg(const std::string& message, TMsgDlgType kind, TMsgDlgButtons buttons, int) {
  if (MessageDlgHandler()) return MessageDlgHandler()(message, kind, buttons);
  RegisterDialogClass();
  const ButtonPlan plan = PlanButtons(buttons);
  DialogState st;
  st.defaultId = plan.defaultId;
  st.escResult = plan.escResult;

  // Outlives the dialog's windows, which draw with it.
  const win32::UniqueFont font = MessageFont();
  const std::wstring wtext = text::Widen(message);
  const DialogLayout l = LayOut(wtext, font.Get(), kind != mtCustom, plan.list.size());

  HWND owner = DialogOwner();
  std::wstring title = text::Widen(MsgDlgCaption(kind));
  HWND dlg = CreateWindowExW(kDialogExStyle, kDialogClass, title.c_str(), kDialogStyle, l.x, l.y, l.width, l.height,
                             owner, nullptr, fwwin::Instance(), nullptr);
  if (!dlg) throw Exception("Cannot create the message dialog");
  SetWindowLongPtrW(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&st));
  AddIconAndText(dlg, kind, wtext, font.Get(), l);
  HWND defButton = AddButtons(dlg, plan, font.Get(), l);
  RunModal(dlg, owner, defButton, st);
  return st.result;
}
