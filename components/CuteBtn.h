#pragma once
// TCuteButton: a push button that draws itself on the panel base, using the panel's two
// bevels for its looks. This version carries every published property with its declared
// default, so form data written now stays valid; it draws the resting look (raised inner
// bevel, caption) and clicks on a left press and release. Hot, pressed and drop-down looks
// are not drawn yet.

#include <cstdint>

#include "framework/Controls.h"
#include "framework/ExtCtrls.h"
#include "framework/Menus.h"

class TCuteButtonTimer : public TTimer {
  FW_CLASS(TCuteButtonTimer, TTimer)
  explicit TCuteButtonTimer(TComponent* owner) : TTimer(owner) {}
};

class TCuteButton : public TCustomPanel {
  FW_CLASS(TCuteButton, TCustomPanel)
  explicit TCuteButton(TComponent* owner);
  ~TCuteButton() override;

  TColor BevelHighlightColor() const { return BevelHighlightColor_; }
  void SetBevelHighlightColor(TColor v);
  TColor BevelShadowColor() const { return BevelShadowColor_; }
  void SetBevelShadowColor(TColor v);
  TColor DisabledColor() const { return DisabledColor_; }
  void SetDisabledColor(TColor v);
  std::int32_t DropDownDelay() const { return DropDownDelay_; }
  void SetDropDownDelay(std::int32_t v) { DropDownDelay_ = v; }
  TPopupMenu* DropDownMenu() const { return DropDownMenu_; }
  void SetDropDownMenu(TPopupMenu* v);
  bool EgnoreContClick() const { return EgnoreContClick_; }
  void SetEgnoreContClick(bool v) { EgnoreContClick_ = v; }
  bool Flat() const { return Flat_; }
  void SetFlat(bool v);
  TTextLayout Layout() const { return Layout_; }
  void SetLayout(TTextLayout v);
  std::int32_t MarginX() const { return MarginX_; }
  void SetMarginX(std::int32_t v);
  std::int32_t MarginY() const { return MarginY_; }
  void SetMarginY(std::int32_t v);
  bool ShowFocusRect() const { return ShowFocusRect_; }
  void SetShowFocusRect(bool v);
  bool TabFocusUp() const { return TabFocusUp_; }
  void SetTabFocusUp(bool v) { TabFocusUp_ = v; }
  bool UseDisabledColor() const { return UseDisabledColor_; }
  void SetUseDisabledColor(bool v);

  TMouseMoveEvent OnMouseEnter;
  TMouseMoveEvent OnMouseLeave;

  // The caption rectangle for the current state, after insets, margins and pressed offset.
  TRect CaptionRect() const;
  // DT_* flags for the caption: alignment, layout, single line.
  unsigned CaptionFormat() const;

 protected:
  void Paint() override;
  void CMEnabledChanged() override;

 private:
  TColor BevelShadowColor_;
  TColor BevelHighlightColor_;
  TColor DisabledColor_;
  std::int32_t DropDownDelay_ = 0;
  TPopupMenu* DropDownMenu_ = nullptr;
  bool FSuppressClick = false;
  bool EgnoreContClick_ = false;
  bool Flat_ = false;
  bool FSpaceDown = false;
  bool TabFocusUp_ = true;
  TTextLayout Layout_ = tlCenter;
  bool ShowFocusRect_ = false;
  bool UseDisabledColor_ = false;
  bool FKeyboardDropDown = false;
  std::int32_t MarginX_ = -1;
  std::int32_t MarginY_ = -1;
  TCuteButtonTimer* FDropDownTimer = nullptr;
};
