// TApplication and TScreen: the message loop, releases, the error box, the cursor.

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/Forms.h"
#include "framework/ClassBuilder.h"
#include "framework/Win32Util.h"
#include "text/CodePage.h"

using namespace fwwin;

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

// --- TApplication, TScreen -----------------------------------------------------------------

const TClassInfo& TApplication::StaticClass() {
  static const TClassInfo info = TClassBuilder<TApplication>("TApplication", &TComponent::StaticClass()).Build();
  return info;
}

const TClassInfo& TScreen::StaticClass() {
  static const TClassInfo info = TClassBuilder<TScreen>("TScreen", &TComponent::StaticClass()).Build();
  return info;
}

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

void TApplication::SetTitle(const std::string& t) {
  title_ = t;
  TitleChanged();
}

void TApplication::Notification(TComponent* c, bool inserted) {
  TComponent::Notification(c, inserted);
  if (!inserted && c == mainForm_) mainForm_ = nullptr;
  if (!inserted) pendingRelease_.erase(std::remove(pendingRelease_.begin(), pendingRelease_.end(), c), pendingRelease_.end());
}

void TApplication::ReleasePending() {
  std::vector<TCustomForm*> forms;
  forms.swap(pendingRelease_);
  for (TCustomForm* f : forms) delete f;
}

void TApplication::HandleCurrentException() {
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleException(Exception("Unknown exception"));
  }
}

std::string TApplication::ExceptionMessage(const std::exception& e) {
  std::string m = e.what();
  // The class library's rule: a full stop goes after a message whose last character sorts
  // after '.' (letters, digits, any double-byte character), not after '.', '!' or ')'.
  if (!m.empty() && static_cast<unsigned char>(m.back()) > '.') m += '.';
  return m;
}

void TApplication::HandleException(const std::exception& e) {
  if (dynamic_cast<const EAbort*>(&e)) return;
  std::string m = ExceptionMessage(e);
  if (OnException) {
    OnException(m);
    return;
  }
  ShowErrorBox(m);
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
