#pragma once
// Pictures, timers and the panel base class.

#include <cstdint>
#include <memory>

#include "framework/Controls.h"

class TImage : public TGraphicControl {
  FW_CLASS(TImage, TGraphicControl)
  explicit TImage(TComponent* owner);
  TPicture* Picture() const { return picture_.get(); }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { transparent_ = v; }

 protected:
  void Paint(TCanvas& canvas) override;

 private:
  std::unique_ptr<TPicture> picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool transparent_ = false;
};

// A timer delivered through the UI thread's message queue. Destroying a timer from its own
// OnTimer handler is safe: nothing touches the timer after the handler returns.
class TTimer : public TComponent {
  FW_CLASS(TTimer, TComponent)
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned v);
  TNotifyEvent OnTimer;
  void Loaded() override;
  // Runs OnTimer (what the platform's timer message does).
  virtual void Timer();

 private:
  void UpdateTimer();
  bool enabled_ = true;
  unsigned interval_ = 1000;
  std::uintptr_t id_ = 0;
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
FW_ENUM_NAMES(TBevelCut, "bvNone", "bvLowered", "bvRaised", "bvSpace");
using TBevelWidth = int;

// A panel: a custom-drawn windowed control with two bevels, a caption and a border. Paint
// draws the bevels and the centred caption; descendants replace it. Nothing is published
// here (descendants publish what they show).
class TCustomPanel : public TCustomControl {
  FW_CLASS(TCustomPanel, TCustomControl)
  explicit TCustomPanel(TComponent* owner);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut v);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut v);
  TBevelWidth BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(TBevelWidth v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);  // re-creates the window

 protected:
  void Paint() override;
  void CreateParams(TCreateParams& params) override;
  void CMTextChanged() override;
  void CMFontChanged() override;
  void CMColorChanged() override;

 private:
  TBevelCut bevelOuter_ = bvRaised;
  TBevelCut bevelInner_ = bvNone;
  TBevelWidth bevelWidth_ = 1;
  TAlignment alignment_ = taCenter;
  TBorderStyle borderStyle_ = bsNone;
};

class TPanel : public TCustomPanel {
  FW_CLASS(TPanel, TCustomPanel)
  explicit TPanel(TComponent* owner) : TCustomPanel(owner) {}
};

// Draws a frame like the panel's bevels: top-left colour, bottom-right colour, `width` rings;
// shrinks `r` by the width. (The polyline rule: each ring's top-right and bottom-left corner
// pixels take the bottom-right colour.)
void Frame3D(TCanvas& canvas, TRect& r, TColor topLeft, TColor bottomRight, int width);
