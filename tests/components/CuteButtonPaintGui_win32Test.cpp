// TCuteButton's looks, read back from a bitmap it painted into (WM_PRINTCLIENT). The expected
// pixels come from the drawing rules themselves: bevel rings one pixel wide per BevelWidth,
// the top-right and bottom-left pixels of each ring in the bottom-right colour, the caption
// inset by 2 x BevelWidth (BevelWidth when flat) and moved by the press. Caption positions are
// compared between two looks of the same button, so the font's own bearings cancel out.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "GuiDriver.h"
#include "components/CuteBtn.h"
#include "framework/Forms.h"
#include "os/WinHandles.h"

namespace {

class TCountingButton : public TCuteButton {
 public:
  using TCuteButton::TCuteButton;
  int paints = 0;

 protected:
  void Paint() override {
    ++paints;
    TCuteButton::Paint();
  }
};

// A painted client area: COLORREF values (0x00BBGGRR), rows top first.
struct Bitmap {
  int width = 0, height = 0;
  std::vector<std::uint32_t> px;
  std::uint32_t At(int x, int y) const { return px[static_cast<std::size_t>(y) * width + x]; }
};

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty when right < left
  bool Empty() const { return right < left; }
};

Bitmap Render(TWinControl* c) {
  HWND h = static_cast<HWND>(c->Handle());
  RECT rc;
  GetClientRect(h, &rc);
  Bitmap b;
  b.width = rc.right;
  b.height = rc.bottom;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = b.width;
  bi.bmiHeader.biHeight = -b.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  win32::UniqueMemoryDc dc;
  win32::UniqueBitmap bmp;
  {
    const win32::WindowDc screen(nullptr);
    dc.Reset(CreateCompatibleDC(screen.Get()));
    bmp.Reset(CreateDIBSection(screen.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  }
  const win32::Selection selected(dc.Get(), bmp.Get());
  SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
  GdiFlush();
  const auto* p = static_cast<const std::uint32_t*>(bits);
  b.px.resize(static_cast<std::size_t>(b.width) * b.height);
  for (std::size_t i = 0; i < b.px.size(); ++i) {
    std::uint32_t v = p[i];  // 0xXXRRGGBB in memory order B, G, R
    b.px[i] = ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
  }
  return b;
}

// The smallest box around the pixels inside `inset` that differ from `face` (or equal `ink`
// when given).
Box InkBox(const Bitmap& b, int inset, std::uint32_t face, std::optional<std::uint32_t> ink = std::nullopt) {
  Box box{b.width, b.height, -1, -1};
  for (int y = inset; y < b.height - inset; ++y)
    for (int x = inset; x < b.width - inset; ++x) {
      std::uint32_t v = b.At(x, y);
      if (ink ? v != *ink : v == face) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x);
      box.bottom = std::max(box.bottom, y);
    }
  return box;
}

class CuteButtonPaint : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetClientSize(300, 200);
    form->SetPosition(poScreenCenter);
    other = new TCuteButton(form);
    other->SetBounds(150, 150, 75, 25);
    other->SetParent(form);
    button = new TCountingButton(form);
    button->SetLeft(20);
    button->SetTop(20);
    button->SetCaption("Wg");
    button->SetParent(form);
    form->Show();
    other->SetFocus();
    gui::Pump(100);
    hi = ColorToRGB(clBtnHighlight);
    sh = ColorToRGB(clBtnShadow);
    face = ColorToRGB(clBtnFace);
    ASSERT_NE(hi, sh);
    ASSERT_NE(hi, face);
    ASSERT_NE(sh, face);
  }
  void TearDown() override { delete form; }

  // One ring of a frame, checked on its four sides and four corners.
  void ExpectRing(const Bitmap& b, int ring, std::uint32_t topLeft, std::uint32_t bottomRight) {
    const int l = ring, t = ring, r = b.width - 1 - ring, btm = b.height - 1 - ring;
    const int mx = b.width / 2, my = b.height / 2;
    SCOPED_TRACE("ring " + std::to_string(ring));
    EXPECT_EQ(b.At(l, t), topLeft) << "top-left corner";
    EXPECT_EQ(b.At(mx, t), topLeft) << "top edge";
    EXPECT_EQ(b.At(l, my), topLeft) << "left edge";
    EXPECT_EQ(b.At(r, t), bottomRight) << "top-right corner";
    EXPECT_EQ(b.At(l, btm), bottomRight) << "bottom-left corner";
    EXPECT_EQ(b.At(r, my), bottomRight) << "right edge";
    EXPECT_EQ(b.At(mx, btm), bottomRight) << "bottom edge";
    EXPECT_EQ(b.At(r, btm), bottomRight) << "bottom-right corner";
  }

  TForm* form = nullptr;
  TCuteButton* other = nullptr;
  TCountingButton* button = nullptr;
  std::uint32_t hi = 0, sh = 0, face = 0;
};

}  // namespace

TEST_F(CuteButtonPaint, ANewButtonShowsARaisedInnerEdgeAndACentredCaption) {
  ASSERT_EQ(button->Width(), 75);
  ASSERT_EQ(button->Height(), 25);
  Bitmap b = Render(button);
  ASSERT_EQ(b.width, 75);
  ASSERT_EQ(b.height, 25);
  ExpectRing(b, 0, hi, sh);
  EXPECT_EQ(b.At(1, 1), face) << "one ring only";
  EXPECT_EQ(b.At(1, 12), face);
  EXPECT_EQ(b.At(73, 23), face);
  Box ink = InkBox(b, 1, face);
  ASSERT_FALSE(ink.Empty()) << "no caption drawn";
  // Centred both ways in (2, 2)-(73, 23): equal room on either side, give or take the
  // rounding of an odd remainder and the glyphs' bearings.
  EXPECT_NEAR(ink.left - 2, 72 - ink.right, 2);
  EXPECT_NEAR(ink.top - 2, 22 - ink.bottom, 3);
}

TEST_F(CuteButtonPaint, TheCaptionInsetFollowsFlatAndBevelWidth) {
  button->SetAlignment(taLeftJustify);
  button->SetLayout(tlTop);
  const Box normal = InkBox(Render(button), 1, face);
  ASSERT_FALSE(normal.Empty());

  button->SetFlat(true);
  Bitmap flat = Render(button);
  for (int x = 0; x < flat.width; ++x) {
    ASSERT_EQ(flat.At(x, 0), face) << "flat at rest: no bevel on the top row, x " << x;
    ASSERT_EQ(flat.At(x, flat.height - 1), face) << "nor on the bottom row";
  }
  const Box flatInk = InkBox(flat, 0, face);
  EXPECT_EQ(flatInk.left, normal.left - 1) << "a flat caption is inset by BevelWidth, not twice it";
  EXPECT_EQ(flatInk.top, normal.top - 1);

  button->SetFlat(false);
  button->SetBevelWidth(3);
  Bitmap wide = Render(button);
  for (int ring = 0; ring < 3; ++ring) ExpectRing(wide, ring, hi, sh);
  EXPECT_EQ(wide.At(3, 12), face);
  const Box wideInk = InkBox(wide, 3, face);
  EXPECT_EQ(wideInk.left, normal.left + 4) << "inset 6 instead of 2";
  EXPECT_EQ(wideInk.top, normal.top + 4);

  button->SetBevelWidth(1);
  button->SetMarginX(10);
  button->SetMarginY(3);
  const Box margins = InkBox(Render(button), 1, face);
  EXPECT_EQ(margins.left, normal.left + 10);
  EXPECT_EQ(margins.top, normal.top + 3);
  button->SetAlignment(taCenter);
  button->SetLayout(tlCenter);
  const Box centred = InkBox(Render(button), 1, face);
  button->SetMarginX(-1);
  button->SetMarginY(-1);
  const Box centredNoMargins = InkBox(Render(button), 1, face);
  EXPECT_EQ(centred.left, centredNoMargins.left) << "margins do not move a centred caption";
  EXPECT_EQ(centred.top, centredNoMargins.top);
}

TEST_F(CuteButtonPaint, PressedTheOuterBevelIsLoweredAndTheCaptionMovesByPlacement) {
  struct Case {
    TAlignment alignment;
    TTextLayout layout;
    int dx, dy;
  };
  for (const Case& c : {Case{taLeftJustify, tlTop, 2, 2}, Case{taCenter, tlCenter, 1, 1},
                        Case{taRightJustify, tlBottom, 0, 0}}) {
    SCOPED_TRACE("alignment " + std::to_string(c.alignment) + " layout " + std::to_string(c.layout));
    button->SetAlignment(c.alignment);
    button->SetLayout(c.layout);
    button->SetBevelOuter(bvRaised);
    Bitmap hot = Render(button);
    ExpectRing(hot, 0, hi, sh);
    ExpectRing(hot, 1, hi, sh);
    button->SetBevelOuter(bvLowered);
    Bitmap down = Render(button);
    ExpectRing(down, 0, sh, hi);
    ExpectRing(down, 1, hi, sh);
    const Box a = InkBox(hot, 2, face), b = InkBox(down, 2, face);
    ASSERT_FALSE(a.Empty());
    EXPECT_EQ(b.left - a.left, c.dx);
    EXPECT_EQ(b.top - a.top, c.dy);
    EXPECT_EQ(b.right - a.right, c.dx);
  }
}

TEST_F(CuteButtonPaint, ADisabledCaptionIsEmbossedAndDisabledColorNeedsUseDisabledColor) {
  const std::uint32_t ink = ColorToRGB(button->Font()->Color());
  const Box enabled = InkBox(Render(button), 1, face);
  button->SetEnabled(false);
  Bitmap b = Render(button);
  EXPECT_EQ(b.At(5, 5), face) << "UseDisabledColor false keeps Color";
  const Box light = InkBox(b, 1, face, hi), dark = InkBox(b, 1, face, sh);
  ASSERT_FALSE(light.Empty()) << "no highlight copy";
  ASSERT_FALSE(dark.Empty()) << "no shadow copy";
  EXPECT_EQ(dark.left, enabled.left) << "the shadow copy lies where the enabled caption does";
  EXPECT_EQ(dark.top, enabled.top);
  EXPECT_EQ(light.right, dark.right + 1) << "the highlight copy lies one pixel right and down";
  EXPECT_EQ(light.bottom, dark.bottom + 1);
  EXPECT_TRUE(InkBox(b, 1, face, ink).Empty() || ink == sh || ink == hi) << "no caption in the font's colour";

  const TColor disabledColor = static_cast<TColor>(0x00336699);
  button->SetDisabledColor(disabledColor);
  EXPECT_EQ(Render(button).At(5, 5), face);
  button->SetUseDisabledColor(true);
  Bitmap filled = Render(button);
  EXPECT_EQ(filled.At(5, 5), 0x00336699u);
  EXPECT_EQ(filled.At(0, 0), hi) << "the bevel is drawn over the fill";
  button->SetEnabled(true);
  EXPECT_EQ(Render(button).At(5, 5), face) << "an enabled button keeps Color";
}

TEST_F(CuteButtonPaint, TheFocusRectangleIsDrawnOnlyWhileFocused) {
  button->SetShowFocusRect(true);
  // Focus rectangle on the caption rectangle (2, 2)-(73, 23) shrunk by 2: rows 4 and 20.
  auto marked = [&](const Bitmap& b, int y) {
    int n = 0;
    for (int x = 10; x < 65; ++x) n += b.At(x, y) != face;
    return n;
  };
  Bitmap unfocused = Render(button);
  EXPECT_EQ(marked(unfocused, 4), 0);
  button->SetFocus();
  gui::Pump(50);
  ASSERT_EQ(GetFocus(), static_cast<HWND>(button->Handle()));
  Bitmap focused = Render(button);
  EXPECT_GT(marked(focused, 4), 10) << "dotted top line";
  EXPECT_GT(marked(focused, 20), 10) << "dotted bottom line";
  EXPECT_EQ(marked(focused, 3), 0);
  EXPECT_EQ(marked(focused, 5), 0);
  button->SetShowFocusRect(false);
  EXPECT_EQ(marked(Render(button), 4), 0);
}

TEST_F(CuteButtonPaint, WritersRepaintOnlyWhenTheLookChanges) {
  auto paintsAfter = [&](const std::function<void()>& change) {
    gui::Pump(30);
    int before = button->paints;
    change();
    gui::Pump(60);
    return button->paints - before;
  };
  EXPECT_GT(paintsAfter([&] { button->SetBevelShadowColor(clRed); }), 0);
  EXPECT_EQ(paintsAfter([&] { button->SetBevelShadowColor(clRed); }), 0) << "same value";
  EXPECT_EQ(paintsAfter([&] { button->SetDisabledColor(clRed); }), 0) << "enabled: DisabledColor not shown";
  EXPECT_EQ(paintsAfter([&] { button->SetUseDisabledColor(true); }), 0);
  EXPECT_EQ(paintsAfter([&] { button->SetFlat(false); }), 0) << "already not flat";
  EXPECT_GT(paintsAfter([&] { button->Brush()->SetColor(clYellow); }), 0) << "the brush hook";
  EXPECT_EQ(Render(button).At(5, 5), ColorToRGB(clYellow)) << "the face is filled with the brush";
  EXPECT_GT(paintsAfter([&] { button->SetEnabled(false); }), 0);
  EXPECT_GT(paintsAfter([&] { button->SetDisabledColor(clBlue); }), 0) << "disabled: shown";
  EXPECT_GT(paintsAfter([&] { button->SetMarginX(4); }), 0);
  EXPECT_GT(paintsAfter([&] { button->SetMarginX(-7); }), 0);
  EXPECT_EQ(button->MarginX(), -1);
  EXPECT_EQ(paintsAfter([&] { button->SetMarginX(-3); }), 0) << "-3 becomes -1, which it is";
}
