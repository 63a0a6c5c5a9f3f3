#include <windows.h>
#include <commctrl.h>

#include "framework/ComCtrls.h"
#include "framework/ClassBuilder.h"
#include "framework/Win32Util.h"

const TClassInfo& TProgressBar::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TProgressBar>("TProgressBar", &TWinControl::StaticClass())
          .Creatable()
          .Publish("Left").Publish("Top").Publish("Width").Publish("Height")
          .Publish("Align").Publish("Anchors").Publish("Enabled").Publish("Hint")
          .Property("Max", &TProgressBar::Max, &TProgressBar::SetMax).Default(100)
          .Property("Min", &TProgressBar::Min, &TProgressBar::SetMin).Default(0)
          .Publish("ParentShowHint").Publish("PopupMenu")
          .Property("Position", &TProgressBar::Position, &TProgressBar::SetPosition).Default(0)
          .Publish("ShowHint")
          .Property("Step", &TProgressBar::Step, &TProgressBar::SetStep).Default(10)
          .Publish("TabOrder").Publish("TabStop").Publish("Visible")
          .Build();
  return info;
}

TProgressBar::TProgressBar(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::SetMin(int v) {
  if (v == min_) return;
  min_ = v;
  if (max_ < min_ && !ComponentState().Contains(csLoading)) max_ = min_;
  if (position_ < min_) position_ = min_;
  InitWindow();
}

void TProgressBar::SetMax(int v) {
  if (v == max_) return;
  max_ = v;
  if (min_ > max_ && !ComponentState().Contains(csLoading)) min_ = max_;
  if (position_ > max_) position_ = max_;
  InitWindow();
}

void TProgressBar::SetPosition(int v) {
  if (v < min_) v = min_;
  if (v > max_) v = max_;
  if (v == position_) return;
  position_ = v;
  InitWindow();
}

void TProgressBar::StepBy(int delta) {
  long long v = static_cast<long long>(position_) + delta;
  if (v > max_) v = max_;
  if (v < min_) v = min_;
  SetPosition(static_cast<int>(v));
}

const TClassInfo& TAnimate::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TAnimate>("TAnimate", &TWinControl::StaticClass())
          .Creatable()
          .Publish("Left").Publish("Top").Publish("Width").Publish("Height")
          .Property("Active", &TAnimate::Active, &TAnimate::SetActive).Default(false)
          .Publish("Align").Publish("Anchors")
          .Property("Center", &TAnimate::Center, &TAnimate::SetCenter).Default(true)
          .Publish("Color")
          .Property("CommonAVI", &TAnimate::CommonAVI, &TAnimate::SetCommonAVI).Default(aviNone)
          .Publish("Enabled").Publish("Hint").Publish("ParentColor").Publish("ParentShowHint")
          .Publish("PopupMenu")
          .Property("Repetitions", &TAnimate::Repetitions, &TAnimate::SetRepetitions).Default(0)
          .Publish("ShowHint")
          .Property("StartFrame", &TAnimate::StartFrame, &TAnimate::SetStartFrame).Default(1)
          .Property("StopFrame", &TAnimate::StopFrame, &TAnimate::SetStopFrame).Default(0)
          .Property("Transparent", &TAnimate::Transparent, &TAnimate::SetTransparent).Default(true)
          .Publish("Visible")
          .Build();
  return info;
}

TAnimate::TAnimate(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 100, 80); }

void TAnimate::SetCommonAVI(TCommonAVI v) {
  if (v == commonAvi_) return;
  commonAvi_ = v;
  OpenAndPlay();
}

void TAnimate::SetActive(bool v) {
  if (v == active_) return;
  active_ = v;
  OpenAndPlay();
}

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
