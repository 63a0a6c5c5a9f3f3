#pragma once
// TColor: a 32-bit colour, either an RGB value 0x00BBGGRR or, with high byte 0xFF, a system
// colour whose index (COLOR_BTNFACE and so on) is in the low byte, converted to RGB when drawn.
// Form data stores a colour by its clXxx identifier when it has one, else as an integer.

#include <cstdint>

enum TColor : std::int32_t {};

constexpr TColor MakeColor(std::uint32_t v) { return static_cast<TColor>(static_cast<std::int32_t>(v)); }
constexpr TColor RGBColor(unsigned r, unsigned g, unsigned b) { return MakeColor(r | (g << 8) | (b << 16)); }

constexpr TColor clBlack = MakeColor(0x000000);
constexpr TColor clMaroon = MakeColor(0x000080);
constexpr TColor clGreen = MakeColor(0x008000);
constexpr TColor clOlive = MakeColor(0x008080);
constexpr TColor clNavy = MakeColor(0x800000);
constexpr TColor clPurple = MakeColor(0x800080);
constexpr TColor clTeal = MakeColor(0x808000);
constexpr TColor clGray = MakeColor(0x808080);
constexpr TColor clSilver = MakeColor(0xC0C0C0);
constexpr TColor clRed = MakeColor(0x0000FF);
constexpr TColor clLime = MakeColor(0x00FF00);
constexpr TColor clYellow = MakeColor(0x00FFFF);
constexpr TColor clBlue = MakeColor(0xFF0000);
constexpr TColor clFuchsia = MakeColor(0xFF00FF);
constexpr TColor clAqua = MakeColor(0xFFFF00);
constexpr TColor clWhite = MakeColor(0xFFFFFF);
constexpr TColor clNone = MakeColor(0x1FFFFFFF);
constexpr TColor clDefault = MakeColor(0x20000000);

constexpr TColor clScrollBar = MakeColor(0xFF000000);
constexpr TColor clBackground = MakeColor(0xFF000001);
constexpr TColor clActiveCaption = MakeColor(0xFF000002);
constexpr TColor clInactiveCaption = MakeColor(0xFF000003);
constexpr TColor clMenu = MakeColor(0xFF000004);
constexpr TColor clWindow = MakeColor(0xFF000005);
constexpr TColor clWindowFrame = MakeColor(0xFF000006);
constexpr TColor clMenuText = MakeColor(0xFF000007);
constexpr TColor clWindowText = MakeColor(0xFF000008);
constexpr TColor clCaptionText = MakeColor(0xFF000009);
constexpr TColor clActiveBorder = MakeColor(0xFF00000A);
constexpr TColor clInactiveBorder = MakeColor(0xFF00000B);
constexpr TColor clAppWorkSpace = MakeColor(0xFF00000C);
constexpr TColor clHighlight = MakeColor(0xFF00000D);
constexpr TColor clHighlightText = MakeColor(0xFF00000E);
constexpr TColor clBtnFace = MakeColor(0xFF00000F);
constexpr TColor clBtnShadow = MakeColor(0xFF000010);
constexpr TColor clGrayText = MakeColor(0xFF000011);
constexpr TColor clBtnText = MakeColor(0xFF000012);
constexpr TColor clInactiveCaptionText = MakeColor(0xFF000013);
constexpr TColor clBtnHighlight = MakeColor(0xFF000014);
constexpr TColor cl3DDkShadow = MakeColor(0xFF000015);
constexpr TColor cl3DLight = MakeColor(0xFF000016);
constexpr TColor clInfoText = MakeColor(0xFF000017);
constexpr TColor clInfoBk = MakeColor(0xFF000018);

// The RGB value of `c` (system colours looked up on Windows; natively a fixed classic table).
std::uint32_t ColorToRGB(TColor c);
