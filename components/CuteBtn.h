#pragma once
// TCuteButton: a push button that draws itself on the panel base. Every look is made of the
// panel's two bevels: the outer one shows rest (bvNone), hot (bvRaised) and pressed
// (bvLowered); the inner one is the permanent raised edge unless Flat. The button can open a
// drop-down menu, at once or after being held for DropDownDelay milliseconds, and can ignore
// clicks that arrive while its OnClick handler still runs (EgnoreContClick).
//
// The paint operation's caption rectangle and text format are public (CaptionRect,
// CaptionFormat) so that what is drawn where can be checked without a window.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "framework/Controls.h"
#include "framework/ExtCtrls.h"
#include "framework/Menus.h"

class TCuteButton;

// The one-shot timer of a delayed drop-down; knows the button that started it.
class TCuteButtonTimer : public TTimer {
  FW_CLASS(TCuteButtonTimer, TTimer)
  explicit TCuteButtonTimer(TComponent* owner) : TTimer(owner) {}
  TCuteButton* FCuteButton = nullptr;
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
  // Not owned: the menu must outlive the button or be taken out of it before it goes.
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
  // The pending delayed drop-down's timer, or null.
  TCuteButtonTimer* DropDownTimer() const { return FDropDownTimer; }

  virtual void BeginDropDown();
  virtual void DoDropDown();
  void DropDownTimerFired(TObject* sender);

  void Click() override;
  bool CMDialogChar(unsigned ch) override;

 protected:
  virtual void MouseEnter(TShiftState shift, int x, int y);
  virtual void MouseLeave(TShiftState shift, int x, int y);
  void Paint() override;
  void CMEnabledChanged() override;
  void CMMouseEnter() override;
  void CMMouseLeave() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void KeyUp(std::uint16_t& key, TShiftState shift) override;
  void DoEnter() override;
  void DoExit() override;

 private:
  // bvRaised when the button shows focus while hot, else bvNone: the look after a press.
  TBevelCut ReleasedLook() const { return TabFocusUp_ ? bvRaised : bvNone; }
  // Enter and the accelerator: pressed look, then the drop-down or the click.
  void PressAtOnce();
  void KillDropDownTimer();
  void PaintCaption(TCanvas& canvas);

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
  // Expires when the button is destroyed; code that lets messages run checks it afterwards.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The accelerator byte that an ANSI (code page 932) caption marks with "&", or none. Lead
// bytes of double-byte characters are skipped with their trail byte; "&&" is a literal
// ampersand; a later mark replaces an earlier one.
std::optional<unsigned char> CaptionAccelerator(std::string_view ansiCaption);
