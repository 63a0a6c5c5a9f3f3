#include "components/CuteBtn.h"

#include <exception>
#include <cctype>

#include "framework/ClassBuilder.h"
#include "framework/Forms.h"
#include "text/CodePage.h"

namespace {

// DrawText's flags, spelt out so the portable build needs no windows.h.
constexpr unsigned kDtLeft = 0x0, kDtCenter = 0x1, kDtRight = 0x2;
constexpr unsigned kDtTop = 0x0, kDtVCenter = 0x4, kDtBottom = 0x8;
constexpr unsigned kDtSingleLine = 0x20;

constexpr std::uint16_t kVkReturn = 13;
constexpr std::uint16_t kVkSpace = 32;

// How far a pressed caption's left and top edges move.
constexpr int kPressedOffset = 2;
// The focus rectangle lies this far inside the caption rectangle.
constexpr int kFocusInset = 2;

RegisterClassOf<TCuteButton> registerCuteButton;

TRect Shrunk(TRect r, int by) { return {r.left + by, r.top + by, r.right - by, r.bottom - by}; }

unsigned FoldCase(unsigned ch) { return ch < 0x80 ? static_cast<unsigned>(std::tolower(static_cast<int>(ch))) : ch; }

// The UTF-16 unit of one byte of code page 932 (ASCII or half-width katakana).
unsigned Utf16OfAnsiByte(unsigned char b) {
  const std::u16string w = text::Utf8ToUtf16(text::ToUtf8(std::string_view(reinterpret_cast<const char*>(&b), 1)));
  return w.size() == 1 ? w[0] : 0xFFFD;
}

}  // namespace

std::optional<unsigned char> CaptionAccelerator(std::string_view s) {
  std::optional<unsigned char> accel;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (text::IsShiftJisLeadByte(b)) {
      i += 2;
      continue;
    }
    if (b == '&' && i + 1 < s.size()) {
      const auto next = static_cast<unsigned char>(s[i + 1]);
      if (next != '&') accel = next;
      i += 2;
      continue;
    }
    ++i;
  }
  return accel;
}

const TClassInfo& TCuteButtonTimer::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCuteButtonTimer>("TCuteButtonTimer", &TTimer::StaticClass()).Creatable().Build();
  return info;
}

const TClassInfo& TCuteButton::StaticClass() {
  using B = TCuteButton;
  static const TClassInfo info =
      TClassBuilder<B>("TCuteButton", &TCustomPanel::StaticClass())
          .Creatable()
          .Publish("Left")
          .Publish("Top")
          .Publish("Width").Default(75)
          .Publish("Height").Default(25)
          .Publish("Hint")
          .Publish("Action")
          .Property("Alignment", &B::Alignment, &B::SetAlignment).Default(taCenter)
          .Publish("Anchors").Default(TAnchors{akLeft, akTop})
          .Property("BevelHighlightColor", &B::BevelHighlightColor, &B::SetBevelHighlightColor)
          .Default(clBtnHighlight)
          .Property("BevelShadowColor", &B::BevelShadowColor, &B::SetBevelShadowColor)
          .Default(clBtnShadow)
          .Property("BevelWidth", &B::BevelWidth, &B::SetBevelWidth).Default(1)
          .Publish("BiDiMode")
          .Property("BorderStyle", &B::BorderStyle, &B::SetBorderStyle).Default(bsNone)
          .Publish("Brush")
          .Publish("Caption")
          .Publish("Color").Default(clBtnFace)
          .Publish("Constraints")
          .Publish("Cursor")
          .Property("DisabledColor", &B::DisabledColor, &B::SetDisabledColor).Default(clGray)
          .Publish("DragCursor")
          .Publish("DragKind")
          .Publish("DragMode")
          .Property("DropDownDelay", &B::DropDownDelay, &B::SetDropDownDelay).Default(0)
          .Property("DropDownMenu", &B::DropDownMenu, &B::SetDropDownMenu)
          .Property("EgnoreContClick", &B::EgnoreContClick, &B::SetEgnoreContClick)
          .Publish("Enabled").Default(true)
          .Property("Flat", &B::Flat, &B::SetFlat)
          .Publish("Font")
          .Publish("HelpContext").Default(0)
          .Property("Layout", &B::Layout, &B::SetLayout).Default(tlCenter)
          .Property("MarginX", &B::MarginX, &B::SetMarginX).Default(-1)
          .Property("MarginY", &B::MarginY, &B::SetMarginY).Default(-1)
          .Publish("ParentBiDiMode").Default(true)
          .Publish("ParentColor").Default(false)
          .Publish("ParentFont").Default(true)
          .Publish("ParentShowHint").Default(true)
          .Publish("PopupMenu")
          .Property("ShowFocusRect", &B::ShowFocusRect, &B::SetShowFocusRect)
          .Publish("ShowHint")
          .Property("TabFocusUp", &B::TabFocusUp, &B::SetTabFocusUp).Default(true)
          .Publish("TabOrder").Default(-1)
          .Publish("TabStop").Default(true)
          .Property("UseDisabledColor", &B::UseDisabledColor, &B::SetUseDisabledColor)
          .Publish("Visible").Default(true)
          .Publish("OnClick")
          .Publish("OnDragDrop")
          .Publish("OnDragOver")
          .Publish("OnEndDock")
          .Publish("OnEndDrag")
          .Publish("OnEnter")
          .Publish("OnExit")
          .Publish("OnKeyDown")
          .Publish("OnKeyPress")
          .Publish("OnKeyUp")
          .Publish("OnMouseDown")
          .Property("OnMouseEnter", &B::OnMouseEnter, &B::OnMouseEnter)
          .Property("OnMouseLeave", &B::OnMouseLeave, &B::OnMouseLeave)
          .Publish("OnMouseMove")
          .Publish("OnMouseUp")
          .Publish("OnStartDock")
          .Publish("OnStartDrag")
          .Build();
  return info;
}

// --- Construction and properties -----------------------------------------------------------

TCuteButton::TCuteButton(TComponent* owner)
    : TCustomPanel(owner),
      BevelShadowColor_(clBtnShadow),
      BevelHighlightColor_(clBtnHighlight),
      DisabledColor_(clGray) {
  // No child controls; the second press of a double click is an ordinary press.
  controlStyle_.Exclude(csAcceptsControls).Exclude(csDoubleClicks);
  SetBevelOuter(bvNone);
  SetBevelInner(bvRaised);
  SetHeight(25);
  TabFocusUp_ = true;
  SetTabStop(true);
  SetWidth(75);
  Brush()->OnChange = [this] { Invalidate(); };
}

TCuteButton::~TCuteButton() {
  // Handlers still on the stack (a click handler that processes messages, an open drop-down
  // menu) check this before touching the button again.
  alive_.reset();
  if (Brush()) Brush()->OnChange = nullptr;
}

void TCuteButton::SetBevelHighlightColor(TColor v) {
  if (v == BevelHighlightColor_) return;
  BevelHighlightColor_ = v;
  Invalidate();
}

void TCuteButton::SetBevelShadowColor(TColor v) {
  if (v == BevelShadowColor_) return;
  BevelShadowColor_ = v;
  Invalidate();
}

void TCuteButton::SetDisabledColor(TColor v) {
  if (v == DisabledColor_) return;
  DisabledColor_ = v;
  if (!Enabled()) Invalidate();
}

void TCuteButton::SetDropDownMenu(TPopupMenu* v) {
  if (v == DropDownMenu_) return;
  DropDownMenu_ = v;
  Invalidate();
}

void TCuteButton::SetFlat(bool v) {
  if (v == Flat_) return;
  Flat_ = v;
  SetBevelInner(v ? bvNone : bvRaised);
}

void TCuteButton::SetLayout(TTextLayout v) {
  if (v == Layout_) return;
  Layout_ = v;
  Invalidate();
}

void TCuteButton::SetMarginX(std::int32_t v) {
  if (v < -1) v = -1;
  if (v == MarginX_) return;
  MarginX_ = v;
  Invalidate();
}

void TCuteButton::SetMarginY(std::int32_t v) {
  if (v < -1) v = -1;
  if (v == MarginY_) return;
  MarginY_ = v;
  Invalidate();
}

void TCuteButton::SetShowFocusRect(bool v) {
  if (v == ShowFocusRect_) return;
  ShowFocusRect_ = v;
  Invalidate();
}

void TCuteButton::SetUseDisabledColor(bool v) {
  if (v == UseDisabledColor_) return;
  UseDisabledColor_ = v;
  if (!Enabled()) Invalidate();
}

void TCuteButton::CMEnabledChanged() {
  inherited::CMEnabledChanged();
  Invalidate();
}

// --- Painting ------------------------------------------------------------------------------

TRect TCuteButton::CaptionRect() const {
  TRect t = Shrunk(ClientRect(), Flat_ ? BevelWidth() : 2 * BevelWidth());
  if (MarginX_ != -1) {
    if (Alignment() == taLeftJustify) t.left += MarginX_;
    if (Alignment() == taRightJustify) t.right -= MarginX_;
  }
  if (MarginY_ != -1) {
    if (Layout_ == tlTop) t.top += MarginY_;
    if (Layout_ == tlBottom) t.bottom -= MarginY_;
  }
  if (BevelOuter() == bvLowered) {
    t.left += kPressedOffset;
    t.top += kPressedOffset;
  }
  return t;
}

unsigned TCuteButton::CaptionFormat() const {
  unsigned h = Alignment() == taLeftJustify ? kDtLeft : Alignment() == taRightJustify ? kDtRight : kDtCenter;
  unsigned v = Layout_ == tlTop ? kDtTop : Layout_ == tlBottom ? kDtBottom : kDtVCenter;
  return h | v | kDtSingleLine;
}

void TCuteButton::Paint() {
  TCanvas& canvas = *Canvas();
  TRect r = ClientRect();
  canvas.Brush().Assign(*Brush());
  TColor fill = Color();
  if (UseDisabledColor_ && !Enabled()) {
    fill = DisabledColor_;
    canvas.Brush().SetColor(fill);
  }
  // The caption lies on the face: no box of its own behind the letters.
  canvas.SetBkColor(fill);
  canvas.SetBkModeTransparent();
  canvas.FillRect(r);

  auto frame = [&](TBevelCut cut) {
    if (cut == bvLowered) Frame3D(canvas, r, BevelShadowColor_, BevelHighlightColor_, BevelWidth());
    if (cut == bvRaised) Frame3D(canvas, r, BevelHighlightColor_, BevelShadowColor_, BevelWidth());
  };
  frame(BevelOuter());
  frame(BevelInner());
  PaintCaption(canvas);
}

void TCuteButton::PaintCaption(TCanvas& canvas) {
  TRect t = CaptionRect();
  const unsigned format = CaptionFormat();
  canvas.Font().Assign(*Font());
  if (!Enabled()) {
    canvas.Font().SetColor(clBtnHighlight);
    TRect light{t.left + 1, t.top + 1, t.right + 1, t.bottom + 1};
    canvas.DrawTextUtf8(Caption(), light, format);
    canvas.Font().SetColor(clBtnShadow);
  }
  TRect drawn = t;
  canvas.DrawTextUtf8(Caption(), drawn, format);
  if (ShowFocusRect_ && Focused()) canvas.DrawFocusRect(Shrunk(t, kFocusInset));
}

// --- Mouse ---------------------------------------------------------------------------------

void TCuteButton::CMMouseEnter() {
  inherited::CMMouseEnter();
  const TPoint p = ScreenToClient(CursorPos());
  MouseEnter(CurrentShiftState(), p.x, p.y);
}

void TCuteButton::CMMouseLeave() {
  inherited::CMMouseLeave();
  const TPoint p = ScreenToClient(CursorPos());
  MouseLeave(CurrentShiftState(), p.x, p.y);
}

void TCuteButton::MouseEnter(TShiftState shift, int x, int y) {
  if (TCustomForm* form = GetParentForm(); form && form->ActiveControl() && form->ActiveControl()->Dragging()) return;
  OnMouseEnter(this, shift, x, y);
  SetBevelOuter(shift.Contains(ssLeft) ? bvLowered : bvRaised);
}

void TCuteButton::MouseLeave(TShiftState shift, int x, int y) {
  OnMouseLeave(this, shift, x, y);
  if (!Focused() || !TabFocusUp_) SetBevelOuter(bvNone);
}

void TCuteButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  SetFocus();
  if (button == mbLeft) SetBevelOuter(bvLowered);
  inherited::MouseDown(button, shift, x, y);
  if (DropDownMenu_ && button == mbLeft) {
    FKeyboardDropDown = false;
    BeginDropDown();
  }
}

void TCuteButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    const TCustomForm* form = GetParentForm();
    const bool active = form && form->ActiveControl() == this;
    SetBevelOuter(ClientRect().Contains(x, y) || (TabFocusUp_ && active) ? bvRaised : bvNone);
  }
  inherited::MouseUp(button, shift, x, y);
  KillDropDownTimer();
  SetMouseCapture(false);
}

// --- Keyboard and focus --------------------------------------------------------------------

void TCuteButton::KeyDown(std::uint16_t& key, TShiftState shift) {
  inherited::KeyDown(key, shift);
  if (!Enabled()) return;
  if (key == kVkSpace) {
    FSpaceDown = true;
    SetBevelOuter(bvLowered);
    if (DropDownMenu_) {
      FKeyboardDropDown = true;
      BeginDropDown();
    }
  } else if (key == kVkReturn) {
    PressAtOnce();
  } else if (FSpaceDown) {
    FSpaceDown = false;
    SetBevelOuter(ReleasedLook());
  }
}

void TCuteButton::KeyUp(std::uint16_t& key, TShiftState shift) {
  inherited::KeyUp(key, shift);
  KillDropDownTimer();
  if (FSpaceDown && key == kVkSpace) {
    FSpaceDown = false;
    const std::weak_ptr<int> alive = alive_;
    Click();
    if (alive.expired()) return;
    SetBevelOuter(ReleasedLook());
  }
}

bool TCuteButton::CMDialogChar(unsigned ch) {
  const std::optional<std::string> ansi = text::FromUtf8(Caption());
  const std::optional<unsigned char> accel = ansi ? CaptionAccelerator(*ansi) : std::nullopt;
  if (accel && FoldCase(ch) == FoldCase(Utf16OfAnsiByte(*accel)) && Enabled() && Parent() && Parent()->Visible()) {
    PressAtOnce();
    return true;
  }
  return inherited::CMDialogChar(ch);
}

void TCuteButton::PressAtOnce() {
  SetBevelOuter(bvLowered);
  const std::weak_ptr<int> alive = alive_;
  if (DropDownMenu_ && DropDownDelay_ == 0)
    DoDropDown();
  else
    Click();
  if (alive.expired()) return;
  SetBevelOuter(ReleasedLook());
}

void TCuteButton::DoEnter() {
  if (TabFocusUp_) SetBevelOuter(bvRaised);
  inherited::DoEnter();
}

void TCuteButton::DoExit() {
  inherited::DoExit();
  SetBevelOuter(bvNone);
}

// --- Click and drop-down -------------------------------------------------------------------

void TCuteButton::Click() {
  if (FSuppressClick) {
    FSuppressClick = false;
    return;
  }
  if (!EgnoreContClick_) {
    inherited::Click();
    return;
  }
  // Clicks delivered while the handler runs (by its own message processing or by the
  // processing below) find no handler and run nothing.
  const TNotifyEvent handler = OnClick;
  OnClick = nullptr;
  const std::weak_ptr<int> alive = alive_;
  // The handler comes back however the click ends, an exception included (the framework
  // shows it and goes on), unless the button went with it.
  struct RestoreHandler {
    TCuteButton* button;
    const TNotifyEvent& handler;
    const std::weak_ptr<int>& alive;
    ~RestoreHandler() {
      if (!alive.expired()) button->OnClick = handler;
    }
  } restore{this, handler, alive};
  inherited::Click();
  if (handler) {
    handler(this);
    if (alive.expired()) return;
    if (Application) Application->ProcessMessages();
  }
}

void TCuteButton::BeginDropDown() {
  if (DropDownDelay_ <= 0) {
    DoDropDown();
    return;
  }
  if (FDropDownTimer) return;
  auto* timer = new TCuteButtonTimer(this);
  timer->FCuteButton = this;
  timer->SetInterval(static_cast<unsigned>(DropDownDelay_));
  timer->OnTimer = TNotifyEvent([this](TObject* sender) { DropDownTimerFired(sender); });
  timer->SetEnabled(true);
  FDropDownTimer = timer;
}

// Runs inside the timer's own OnTimer. Deleting the timer here is safe: the framework calls
// a copy of the handler and touches the timer no more once it returns.
void TCuteButton::DropDownTimerFired(TObject* sender) {
  auto* timer = static_cast<TCuteButtonTimer*>(sender);
  TCuteButton* button = timer->FCuteButton;
  button->FDropDownTimer = nullptr;
  delete timer;
  if (button->FKeyboardDropDown) {
    button->DoDropDown();
  } else if (GetCaptureControl() == button) {
    const std::weak_ptr<int> alive = button->alive_;
    button->DoDropDown();
    if (!alive.expired()) button->SetMouseCapture(false);
  }
}

void TCuteButton::DoDropDown() {
  if (!DropDownMenu_) return;
  const TPoint p = ClientToScreen({0, Height()});
  FSuppressClick = true;
  const std::weak_ptr<int> alive = alive_;
  // Left set by an exception, the flag would swallow the next real click.
  struct ClearSuppress {
    TCuteButton* button;
    const std::weak_ptr<int>& alive;
    int exceptions = std::uncaught_exceptions();
    ~ClearSuppress() {
      if (std::uncaught_exceptions() > exceptions && !alive.expired()) button->FSuppressClick = false;
    }
  } clear{this, alive};
  if (Application) Application->ProcessMessages();
  if (alive.expired()) return;
  DropDownMenu_->Popup(p.x, p.y);
  // The menu's loop and the chosen item's handler may have destroyed the button.
  if (alive.expired()) return;
  if (FKeyboardDropDown) {
    std::uint16_t key = kVkSpace;
    KeyUp(key, {});
  } else {
    MouseUp(mbLeft, {}, 0, 0);
  }
  if (alive.expired()) return;
  FSuppressClick = false;
}

void TCuteButton::KillDropDownTimer() {
  delete FDropDownTimer;
  FDropDownTimer = nullptr;
}
