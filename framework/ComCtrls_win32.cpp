#include <windows.h>
#include <commctrl.h>

#include "framework/ComCtrls.h"
#include "framework/Win32Util.h"

void TProgressBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "msctls_progress32";
  params.caption.clear();
}

void TProgressBar::InitWindow() {
  if (!handle_) return;
  HWND h = static_cast<HWND>(handle_);
  SendMessageW(h, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
  SendMessageW(h, PBM_SETSTEP, static_cast<WPARAM>(step_), 0);
  SendMessageW(h, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
  // Long work that pumps no messages still shows the bar move.
  UpdateWindow(h);
}

void TAnimate::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.className = "SysAnimate32";
  params.caption.clear();
  if (center_) params.style |= ACS_CENTER;
  if (transparent_) params.style |= ACS_TRANSPARENT;
}

void TAnimate::InitWindow() { OpenAndPlay(); }

void TAnimate::OpenAndPlay() {
  if (!handle_) return;
  HWND h = static_cast<HWND>(handle_);
  // The shell's own animations, by the resource numbers its library gives them.
  static const int kIds[] = {0, 150, 151, 152, 160, 161, 162, 163, 164};
  opened_ = false;
  if (commonAvi_ == aviNone) {
    SendMessageW(h, ACM_OPENW, 0, 0);
    return;
  }
  HMODULE shell = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  opened_ = SendMessageW(h, ACM_OPENW, reinterpret_cast<WPARAM>(shell),
                         reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kIds[commonAvi_]))) != 0;
  if (!opened_) return;
  WORD from = static_cast<WORD>(startFrame_ > 0 ? startFrame_ - 1 : 0);
  WORD to = stopFrame_ > 0 ? static_cast<WORD>(stopFrame_ - 1) : 0xFFFF;
  if (active_)
    SendMessageW(h, ACM_PLAY, static_cast<WPARAM>(repetitions_ > 0 ? repetitions_ : -1), MAKELONG(from, to));
  else
    SendMessageW(h, ACM_PLAY, 1, MAKELONG(from, from));
}
