#include <windows.h>

#include <map>

#include "framework/ExtCtrls.h"
#include "framework/ClassBuilder.h"
#include "framework/Forms.h"
#include "framework/Win32Util.h"

using namespace fwwin;

// --- TImage ------------------------------------------------------------------------------

const TClassInfo& TImage::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TImage>("TImage", &TGraphicControl::StaticClass())
          .Creatable()
          .Publish("Left").Publish("Top").Publish("Width").Publish("Height")
          .Publish("Align").Publish("Anchors")
          .Property("Center", &TImage::Center, &TImage::SetCenter).Default(false)
          .Publish("Enabled").Publish("ParentShowHint")
          .Property("Picture", &TImage::Picture)
          .Publish("PopupMenu").Publish("ShowHint").Publish("Hint")
          .Property("Stretch", &TImage::Stretch, &TImage::SetStretch).Default(false)
          .Property("Transparent", &TImage::Transparent, &TImage::SetTransparent).Default(false)
          .Publish("Visible")
          .Publish("OnClick").Publish("OnDblClick").Publish("OnMouseDown").Publish("OnMouseMove")
          .Publish("OnMouseUp")
          .Build();
  return info;
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
  SetBounds(0, 0, 105, 105);
  picture_->OnChange = [this] { Invalidate(); };
}

void TImage::SetStretch(bool v) {
  if (v == stretch_) return;
  stretch_ = v;
  Invalidate();
}

void TImage::SetCenter(bool v) {
  if (v == center_) return;
  center_ = v;
  Invalidate();
}

void TImage::Paint(TCanvas& canvas) {
  TGraphic* g = picture_->Graphic();
  if (!g || g->Empty()) return;
  TRect dest;
  if (stretch_) {
    dest = BoundsRect();
  } else {
    int x = Left(), y = Top();
    if (center_) {
      x += (Width() - g->Width()) / 2;
      y += (Height() - g->Height()) / 2;
    }
    dest = {x, y, x + g->Width(), y + g->Height()};
  }
  g->Draw(canvas, dest);
}

// --- TTimer ------------------------------------------------------------------------------

const TClassInfo& TTimer::StaticClass() {
  static const TClassInfo info = TClassBuilder<TTimer>("TTimer", &TComponent::StaticClass())
                                     .Creatable()
                                     .Property("Enabled", &TTimer::Enabled, &TTimer::SetEnabled).Default(true)
                                     .Property("Interval", &TTimer::Interval, &TTimer::SetInterval).Default(1000)
                                     .Property("OnTimer", &TTimer::OnTimer, &TTimer::OnTimer)
                                     .Build();
  return info;
}

// Every assignment restarts the countdown, as the class library's timer does; so does one
// that changes nothing (a new timer is not running until Enabled or Interval is assigned).
void TTimer::SetEnabled(bool v) {
  enabled_ = v;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned v) {
  interval_ = v;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::Timer() { OnTimer(this); }

// --- Panels ------------------------------------------------------------------------------

const TClassInfo& TCustomPanel::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TCustomPanel>("TCustomPanel", &TCustomControl::StaticClass())
          .Declare("Alignment", &TCustomPanel::Alignment, &TCustomPanel::SetAlignment).Default(taCenter)
          .Declare("BevelInner", &TCustomPanel::BevelInner, &TCustomPanel::SetBevelInner).Default(bvNone)
          .Declare("BevelOuter", &TCustomPanel::BevelOuter, &TCustomPanel::SetBevelOuter).Default(bvRaised)
          .Declare("BevelWidth", &TCustomPanel::BevelWidth, &TCustomPanel::SetBevelWidth).Default(1)
          .Declare("BorderStyle", &TCustomPanel::BorderStyle, &TCustomPanel::SetBorderStyle).Default(bsNone)
          .Build();
  return info;
}

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {
  controlStyle_ = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csOpaque, csDoubleClicks};
  SetBounds(0, 0, 185, 41);
  SetParentColor(false);
  SetColor(clBtnFace);
}

void TCustomPanel::SetBevelOuter(TBevelCut v) {
  if (v == bevelOuter_) return;
  bevelOuter_ = v;
  Invalidate();
}
void TCustomPanel::SetBevelInner(TBevelCut v) {
  if (v == bevelInner_) return;
  bevelInner_ = v;
  Invalidate();
}
void TCustomPanel::SetBevelWidth(TBevelWidth v) {
  if (v < 1) v = 1;
  if (v == bevelWidth_) return;
  bevelWidth_ = v;
  Invalidate();
}
void TCustomPanel::SetAlignment(TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Invalidate();
}
void TCustomPanel::SetBorderStyle(TBorderStyle v) {
  if (v == borderStyle_) return;
  borderStyle_ = v;
  RecreateWnd();
}
void TCustomPanel::CMTextChanged() { Invalidate(); }
void TCustomPanel::CMFontChanged() { Invalidate(); }
void TCustomPanel::CMColorChanged() {
  TCustomControl::CMColorChanged();
  Invalidate();
}

void Frame3D(TCanvas& canvas, TRect& r, TColor topLeft, TColor bottomRight, int width) {
  if (width <= 0) return;
  canvas.Pen().SetWidth(1);
  r.right -= 1;
  r.bottom -= 1;
  for (int i = 0; i < width; ++i) {
    canvas.Pen().SetColor(topLeft);
    TPoint a[3] = {{r.left, r.bottom}, {r.left, r.top}, {r.right, r.top}};
    canvas.Polyline(a, 3);
    canvas.Pen().SetColor(bottomRight);
    TPoint b[3] = {{r.right, r.top}, {r.right, r.bottom}, {r.left - 1, r.bottom}};
    canvas.Polyline(b, 3);
    r.left += 1;
    r.top += 1;
    r.right -= 1;
    r.bottom -= 1;
  }
  r.right += 1;
  r.bottom += 1;
}

void TCustomPanel::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    TColor tl = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor br = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    Frame3D(c, r, tl, br, bevelWidth_);
  };
  bevel(bevelOuter_);
  c.Brush().SetColor(Color());
  c.Brush().SetStyle(bsSolid);
  bevel(bevelInner_);
  c.FillRect(r);
  c.Font().Assign(*Font());
  unsigned format = 0x20 | 0x04;  // DT_SINGLELINE | DT_VCENTER
  format |= alignment_ == taLeftJustify ? 0x00 : alignment_ == taRightJustify ? 0x02 : 0x01;
  c.Brush().SetStyle(bsClear);
  c.DrawTextUtf8(Caption(), r, format);
}

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}

const TClassInfo& TPanel::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TPanel>("TPanel", &TCustomPanel::StaticClass())
          .Creatable()
          .Publish("Left").Publish("Top").Publish("Width").Publish("Height")
          .Publish("Align").Publish("Alignment").Publish("Anchors")
          .Publish("BevelInner").Publish("BevelOuter").Publish("BevelWidth").Publish("BorderStyle")
          .Publish("Caption").Publish("Color").Default(clBtnFace).Publish("Enabled").Publish("Font")
          .Publish("ParentColor").Default(false).Publish("ParentFont").Publish("ParentShowHint")
          .Publish("PopupMenu").Publish("ShowHint").Publish("Hint").Publish("TabOrder")
          .Publish("TabStop").Publish("Visible")
          .Publish("OnClick").Publish("OnDblClick").Publish("OnEnter").Publish("OnExit")
          .Publish("OnMouseDown").Publish("OnMouseMove").Publish("OnMouseUp")
          .Build();
  return info;
}


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
