#include <windows.h>

#include <map>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/Win32Util.h"

using namespace fwwin;

namespace {
// Every timer's WM_TIMER goes to one message-only window; the id finds the timer. Ids are
// never reused, so a message still queued for a destroyed timer finds nothing.
std::map<UINT_PTR, TTimer*>& Timers() {
  static std::map<UINT_PTR, TTimer*> timers;
  return timers;
}

LRESULT CALLBACK TimerWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_TIMER) {
    auto it = Timers().find(static_cast<UINT_PTR>(wp));
    if (it != Timers().end()) {
      try {
        it->second->Timer();  // may destroy the timer; nothing touches it afterwards
      } catch (...) {
        if (Application) Application->HandleCurrentException();
      }
    }
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND TimerWindow() {
  static HWND h = nullptr;
  if (!h) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TimerWndProc;
    wc.hInstance = Instance();
    wc.lpszClassName = L"NorvexTimer";
    RegisterClassExW(&wc);
    h = CreateWindowExW(0, L"NorvexTimer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance(), nullptr);
  }
  return h;
}

UINT_PTR nextTimerId = 1;
}  // namespace

TTimer::~TTimer() {
  if (id_) {
    KillTimer(TimerWindow(), id_);
    Timers().erase(id_);
    id_ = 0;
  }
}

void TTimer::UpdateTimer() {
  if (id_) {
    KillTimer(TimerWindow(), id_);
    Timers().erase(id_);
    id_ = 0;
  }
  if (!enabled_ || interval_ == 0) return;
  if (ComponentState().Contains(csDesigning) || ComponentState().Contains(csLoading)) return;
  UINT_PTR id = nextTimerId++;
  if (SetTimer(TimerWindow(), id, interval_, nullptr)) {
    id_ = id;
    Timers()[id] = this;
  }
}

void TCustomPanel::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  if (borderStyle_ == bsSingle) {
    // A sunken 3-D edge where three-dimensional controls are in effect (they always are).
    params.exStyle |= WS_EX_CLIENTEDGE;
  }
}
