#include "framework/ComCtrls.h"

#include "framework/ClassBuilder.h"

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
