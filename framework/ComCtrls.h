#pragma once
// Common controls: the progress bar and the animation control (comctl32).

#include <string>

#include "framework/Controls.h"

class TProgressBar : public TWinControl {
  FW_CLASS(TProgressBar, TWinControl)
  explicit TProgressBar(TComponent* owner);
  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  // Always within Min..Max; a value outside is clamped.
  int Position() const { return position_; }
  void SetPosition(int v);
  int Step() const { return step_; }
  void SetStep(int v) { step_ = v; }
  // Advances by `delta`; past Max the bar stays full (no wrap-around as PBM_STEPIT would).
  void StepBy(int delta);
  void StepIt() { StepBy(step_); }

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitWindow() override;

 private:
  int min_ = 0, max_ = 100, position_ = 0, step_ = 10;
};

enum TCommonAVI {
  aviNone, aviFindFolder, aviFindFile, aviFindComputer, aviCopyFiles, aviCopyFile,
  aviRecycleFile, aviEmptyRecycle, aviDeleteFile
};
FW_ENUM_NAMES(TCommonAVI, "aviNone", "aviFindFolder", "aviFindFile", "aviFindComputer",
              "aviCopyFiles", "aviCopyFile", "aviRecycleFile", "aviEmptyRecycle",
              "aviDeleteFile");

class TAnimate : public TWinControl {
  FW_CLASS(TAnimate, TWinControl)
  explicit TAnimate(TComponent* owner);
  TCommonAVI CommonAVI() const { return commonAvi_; }
  void SetCommonAVI(TCommonAVI v);
  bool Active() const { return active_; }
  void SetActive(bool v);
  int StartFrame() const { return startFrame_; }
  void SetStartFrame(int v) { startFrame_ = v; }
  int StopFrame() const { return stopFrame_; }
  void SetStopFrame(int v) { stopFrame_ = v; }
  int Repetitions() const { return repetitions_; }
  void SetRepetitions(int v) { repetitions_ = v; }
  bool Center() const { return center_; }
  void SetCenter(bool v) { center_ = v; }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v) { transparent_ = v; }
  bool Opened() const { return opened_; }  // Windows: the animation could be loaded

 protected:
  void CreateParams(TCreateParams& params) override;
  void InitWindow() override;

 private:
  void OpenAndPlay();
  TCommonAVI commonAvi_ = aviNone;
  bool active_ = false;
  int startFrame_ = 1, stopFrame_ = 0, repetitions_ = 0;
  bool center_ = true, transparent_ = true, opened_ = false;
};
