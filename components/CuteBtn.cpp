#include "components/CuteBtn.h"

#include "framework/ClassBuilder.h"

namespace {

// DrawText's flags, spelt out so the portable build needs no windows.h.
constexpr unsigned kDtLeft = 0x0, kDtCenter = 0x1, kDtRight = 0x2;
constexpr unsigned kDtTop = 0x0, kDtVCenter = 0x4, kDtBottom = 0x8;
constexpr unsigned kDtSingleLine = 0x20;

RegisterClassOf<TCuteButton> registerCuteButton;

}  // namespace

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
          .Property("Alignment", &B::Alignment, &B::SetAlignment).Default(taCenter)
          .Publish("Anchors").Default(TAnchors{akLeft, akTop})
          .Property("BevelHighlightColor", &B::BevelHighlightColor, &B::SetBevelHighlightColor)
          .Default(clBtnHighlight)
          .Property("BevelShadowColor", &B::BevelShadowColor, &B::SetBevelShadowColor)
          .Default(clBtnShadow)
          .Property("BevelWidth", &B::BevelWidth, &B::SetBevelWidth).Default(1)
          .Property("BorderStyle", &B::BorderStyle, &B::SetBorderStyle).Default(bsNone)
          .Publish("Brush")
          .Publish("Caption")
          .Publish("Color").Default(clBtnFace)
          .Publish("Cursor")
          .Property("DisabledColor", &B::DisabledColor, &B::SetDisabledColor).Default(clGray)
          .Property("DropDownDelay", &B::DropDownDelay, &B::SetDropDownDelay).Default(0)
          .Property("DropDownMenu", &B::DropDownMenu, &B::SetDropDownMenu)
          .Property("EgnoreContClick", &B::EgnoreContClick, &B::SetEgnoreContClick)
          .Publish("Enabled").Default(true)
          .Property("Flat", &B::Flat, &B::SetFlat)
          .Publish("Font")
          .Property("Layout", &B::Layout, &B::SetLayout).Default(tlCenter)
          .Property("MarginX", &B::MarginX, &B::SetMarginX).Default(-1)
          .Property("MarginY", &B::MarginY, &B::SetMarginY).Default(-1)
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
          .Build();
  return info;
}

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

TRect TCuteButton::CaptionRect() const {
  TRect t = ClientRect();
  int inset = Flat_ ? BevelWidth() : 2 * BevelWidth();
  t.left += inset;
  t.top += inset;
  t.right -= inset;
  t.bottom -= inset;
  if (MarginX_ != -1) {
    if (Alignment() == taLeftJustify) t.left += MarginX_;
    if (Alignment() == taRightJustify) t.right -= MarginX_;
  }
  if (MarginY_ != -1) {
    if (Layout_ == tlTop) t.top += MarginY_;
    if (Layout_ == tlBottom) t.bottom -= MarginY_;
  }
  if (BevelOuter() == bvLowered) {
    t.left += 2;
    t.top += 2;
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
  if (UseDisabledColor_ && !Enabled()) canvas.Brush().SetColor(DisabledColor_);
  canvas.FillRect(r);

  auto frame = [&](TBevelCut cut) {
    if (cut == bvLowered) Frame3D(canvas, r, BevelShadowColor_, BevelHighlightColor_, BevelWidth());
    if (cut == bvRaised) Frame3D(canvas, r, BevelHighlightColor_, BevelShadowColor_, BevelWidth());
  };
  frame(BevelOuter());
  frame(BevelInner());

  // The caption lies on the face just painted: no box of its own behind the letters.
  canvas.Brush().SetStyle(bsClear);
  TRect t = CaptionRect();
  unsigned format = CaptionFormat();
  canvas.Font().Assign(*Font());
  if (!Enabled()) {
    canvas.Font().SetColor(clBtnHighlight);
    TRect light{t.left + 1, t.top + 1, t.right + 1, t.bottom + 1};
    canvas.DrawTextUtf8(Caption(), light, format);
    canvas.Font().SetColor(clBtnShadow);
  }
  canvas.DrawTextUtf8(Caption(), t, format);
  if (ShowFocusRect_ && Focused()) {
    TRect f{t.left + 2, t.top + 2, t.right - 2, t.bottom - 2};
    canvas.DrawFocusRect(f);
  }
}
