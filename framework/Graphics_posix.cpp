// Natively nothing is drawn; fonts and brushes keep only their properties.
#include "framework/Graphics.h"

std::uint32_t ColorToRGB(TColor c) {
  std::uint32_t v = static_cast<std::uint32_t>(c);
  if ((v & 0xFF000000u) != 0xFF000000u) return v & 0x00FFFFFFu;
  // The classic scheme, enough for native tests of colour arithmetic.
  static const std::uint32_t kSys[] = {
      0xC8C8C8, 0x000000, 0x800000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000,
      0x000000, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x800000, 0xFFFFFF, 0xC0C0C0,
      0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xC0C0C0, 0x000000,
      0xE1FFFF};
  std::uint32_t i = v & 0xFF;
  return i < sizeof kSys / sizeof kSys[0] ? kSys[i] : 0;
}

void* TFont::Handle() { return nullptr; }
void TFont::ReleaseHandle() {}
TBrush::~TBrush() = default;
void TBrush::Changed() {
  if (OnChange) OnChange();
}
void* TBrush::Handle() { return nullptr; }
TPen::~TPen() = default;
void TPen::Changed() {}
void* TPen::Handle() { return nullptr; }

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;
void TCanvas::SetHandle(void* dc) { dc_ = dc; }
void TCanvas::Select() {}
void TCanvas::SetBkColor(TColor) {}
void TCanvas::SetBkModeTransparent() {}
void TCanvas::FillRect(const TRect&) {}
void TCanvas::FrameRect(const TRect&) {}
void TCanvas::MoveTo(int x, int y) { penPos_ = {x, y}; }
void TCanvas::LineTo(int x, int y) { penPos_ = {x, y}; }
void TCanvas::Polyline(const TPoint*, int) {}
void TCanvas::DrawFocusRect(const TRect&) {}
int TCanvas::DrawTextUtf8(std::string_view, TRect&, unsigned) { return 0; }
void TCanvas::TextOutUtf8(int, int, std::string_view) {}
int TCanvas::TextWidth(std::string_view) { return 0; }
int TCanvas::TextHeight(std::string_view) { return 0; }
void TCanvas::StretchRgb(const TRect&, int, int, const std::uint8_t*) {}
