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

}  // namespace

TModalResult MessageDlg(const std::string& message, TMsgDlgType kind, TMsgDlgButtons buttons, int) {
  if (MessageDlgHandler()) return MessageDlgHandler()(message, kind, buttons);
  HINSTANCE inst = fwwin::Instance();
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DialogProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kDialogClass;
    RegisterClassExW(&wc);
    registered = true;
  }

  std::vector<TMsgDlgBtn> list;
  for (TMsgDlgBtn b : {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore})
    if (buttons.Contains(b)) list.push_back(b);
  if (list.empty()) list.push_back(mbOK);

  DialogState st;
  TMsgDlgBtn def = buttons.Contains(mbOK) ? mbOK : buttons.Contains(mbYes) ? mbYes : list.front();
  st.defaultId = MsgDlgButtonResult(def);
  st.escResult = buttons.Contains(mbCancel) ? mrCancel
                 : buttons.Contains(mbNo)   ? mrNo
                 : buttons.Contains(mbOK)   ? mrOk
                                            : mrCancel;

  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
  // Outlives the dialog's windows, which draw with it.
  const win32::UniqueFont font(CreateFontIndirectW(&ncm.lfMessageFont));

  // Measure the text as the static control will draw it.
  std::wstring wtext = text::Widen(message);
  RECT tr{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  {
    const win32::WindowDc dc(nullptr);
    const win32::Selection selected(dc.Get(), font.Get());
    DrawTextW(dc.Get(), wtext.c_str(), static_cast<int>(wtext.size()), &tr,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  }

  bool hasIcon = kind != mtCustom;
  int textLeft = kMargin + (hasIcon ? kIconSize + kMargin : 0);
  int textWidth = tr.right - tr.left, textHeight = tr.bottom - tr.top;
  int buttonsWidth = static_cast<int>(list.size()) * kButtonWidth + static_cast<int>(list.size() - 1) * kButtonGap;
  int clientWidth = std::max(textLeft + textWidth + kMargin, buttonsWidth + 2 * kMargin);
  int bodyHeight = std::max(hasIcon ? kIconSize : 0, textHeight);
  int buttonTop = kMargin + bodyHeight + kMargin;
  int clientHeight = buttonTop + kButtonHeight + kMargin;

  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  DWORD exStyle = WS_EX_DLGMODALFRAME;
  RECT wr{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&wr, style, FALSE, exStyle);
  int w = wr.right - wr.left, h = wr.bottom - wr.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;

  HWND owner = GetActiveWindow();
  if (!owner && Application && Application->MainForm() && Application->MainForm()->HandleAllocated())
    owner = static_cast<HWND>(Application->MainForm()->Handle());
  std::wstring title = text::Widen(MsgDlgTitle(kind));
  HWND dlg = CreateWindowExW(exStyle, kDialogClass, title.c_str(), style, x, y, w, h, owner, nullptr, inst, nullptr);
  if (!dlg) throw Exception("Cannot create the message dialog");
  SetWindowLongPtrW(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&st));

  if (hasIcon) {
    const wchar_t* id = kind == mtWarning ? IDI_WARNING : kind == mtError ? IDI_ERROR
                        : kind == mtInformation ? IDI_INFORMATION : IDI_QUESTION;
    HWND icon = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ICON, kMargin, kMargin, kIconSize,
                                kIconSize, dlg, nullptr, inst, nullptr);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, id)), 0);
  }
  int textTop = kMargin + (hasIcon && textHeight < kIconSize ? (kIconSize - textHeight) / 2 : 0);
  HWND label = CreateWindowExW(0, L"STATIC", wtext.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, textLeft,
                               textTop, textWidth, textHeight, dlg, nullptr, inst, nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);

  HWND defButton = nullptr;
  int bx = (clientWidth - buttonsWidth) / 2;
  for (TMsgDlgBtn b : list) {
    int id = MsgDlgButtonResult(b);
    std::wstring cap = text::Widen(MsgDlgButtonCaption(b));
    DWORD bs = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (id == st.defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND btn = CreateWindowExW(0, L"BUTTON", cap.c_str(), bs, bx, buttonTop, kButtonWidth, kButtonHeight, dlg,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
    SendMessageW(btn, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
    if (id == st.defaultId) defButton = btn;
    bx += kButtonWidth + kButtonGap;
  }

  // Modal: every other enabled window of this thread is disabled while the dialog is up.
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
  return st.result;
}
