#include <windows.h>

#include <cstdint>

#include "framework/Graphics.h"
#include "framework/ClassBuilder.h"
#include "os/WinHandles.h"
#include "text/CodePage.h"

namespace {
struct CharsetIdent {
  int value;
  const char* name;
};
constexpr CharsetIdent kCharsets[] = {
    {0, "ANSI_CHARSET"}, {1, "DEFAULT_CHARSET"}, {2, "SYMBOL_CHARSET"}, {77, "MAC_CHARSET"},
    {128, "SHIFTJIS_CHARSET"}, {129, "HANGEUL_CHARSET"}, {130, "JOHAB_CHARSET"},
    {134, "GB2312_CHARSET"}, {136, "CHINESEBIG5_CHARSET"}, {161, "GREEK_CHARSET"},
    {162, "TURKISH_CHARSET"}, {177, "HEBREW_CHARSET"}, {178, "ARABIC_CHARSET"},
    {186, "BALTIC_CHARSET"}, {204, "RUSSIAN_CHARSET"}, {222, "THAI_CHARSET"},
    {238, "EASTEUROPE_CHARSET"}, {255, "OEM_CHARSET"},
};
}  // namespace

std::optional<std::string> CharsetToIdent(std::int64_t charset) {
  for (const CharsetIdent& c : kCharsets)
    if (c.value == charset) return std::string(c.name);
  return std::nullopt;
}

std::optional<std::int64_t> IdentToCharset(std::string_view ident) {
  for (const CharsetIdent& c : kCharsets)
    if (SameText(c.name, ident)) return c.value;
  return std::nullopt;
}

// --- TFont ----------------------------------------------------------------------------

const TClassInfo& TFont::StaticClass() {
  static const TClassInfo info =
      TClassBuilder<TFont>("TFont", &TPersistent::StaticClass())
          .Property("Charset", &TFont::Charset, &TFont::SetCharset).Idents(CharsetToIdent, IdentToCharset)
          .Property("Color", &TFont::Color, &TFont::SetColor)
          .Property("Height", &TFont::Height, &TFont::SetHeight)
          .Property("Name", &TFont::Name, &TFont::SetName)
          .Property("Pitch", &TFont::Pitch, &TFont::SetPitch).Default(fpDefault)
          .Property("Size", &TFont::Size, &TFont::SetSize).Stored(false)
          .Property("Style", &TFont::Style, &TFont::SetStyle)
          .Build();
  return info;
}

TFont::TFont() = default;
TFont::~TFont() { ReleaseHandle(); }

void TFont::Changed() {
  ReleaseHandle();
  if (OnChange) OnChange();
}
void TFont::SetCharset(int v) {
  if (v != charset_) { charset_ = v; Changed(); }
}
void TFont::SetColor(TColor v) {
  if (v != color_) { color_ = v; Changed(); }
}
void TFont::SetHeight(int v) {
  if (v != height_) { height_ = v; Changed(); }
}
void TFont::SetName(const std::string& v) {
  if (v != name_) { name_ = v; Changed(); }
}
void TFont::SetPitch(TFontPitch v) {
  if (v != pitch_) { pitch_ = v; Changed(); }
}
void TFont::SetStyle(TFontStyles v) {
  if (!(v == style_)) { style_ = v; Changed(); }
}
int TFont::Size() const { return -(height_ * 72 + (height_ < 0 ? -pixelsPerInch_ / 2 : pixelsPerInch_ / 2)) / pixelsPerInch_; }
void TFont::SetSize(int points) { SetHeight(-(points * pixelsPerInch_ + 36) / 72); }

void TFont::Assign(const TPersistent& source) {
  if (auto* f = dynamic_cast<const TFont*>(&source)) {
    if (f == this) return;
    bool same = charset_ == f->charset_ && color_ == f->color_ && height_ == f->height_ &&
                name_ == f->name_ && pitch_ == f->pitch_ && style_ == f->style_;
    charset_ = f->charset_;
    color_ = f->color_;
    height_ = f->height_;
    name_ = f->name_;
    pitch_ = f->pitch_;
    style_ = f->style_;
    if (!same) Changed();
    return;
  }
  TPersistent::Assign(source);
}

// --- TBrush, TPen ------------------------------------------------------------------------

const TClassInfo& TBrush::StaticClass() {
  static const TClassInfo info = TClassBuilder<TBrush>("TBrush", &TPersistent::StaticClass())
                                     .Property("Color", &TBrush::Color, &TBrush::SetColor).Default(clWhite)
                                     .Property("Style", &TBrush::Style, &TBrush::SetStyle).Default(bsSolid)
                                     .Build();
  return info;
}
void TBrush::SetColor(TColor v) {
  if (v != color_) { color_ = v; Changed(); }
}
void TBrush::SetStyle(TBrushStyle v) {
  if (v != style_) { style_ = v; Changed(); }
}
void TBrush::Assign(const TPersistent& source) {
  if (auto* b = dynamic_cast<const TBrush*>(&source)) {
    if (b == this) return;
    bool same = color_ == b->color_ && style_ == b->style_;
    color_ = b->color_;
    style_ = b->style_;
    if (!same) Changed();
    return;
  }
  TPersistent::Assign(source);
}

const TClassInfo& TPen::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPen>("TPen", &TPersistent::StaticClass())
                                     .Property("Color", &TPen::Color, &TPen::SetColor).Default(clBlack)
                                     .Property("Width", &TPen::Width, &TPen::SetWidth).Default(1)
                                     .Build();
  return info;
}
void TPen::SetColor(TColor v) {
  if (v != color_) { color_ = v; Changed(); }
}
void TPen::SetWidth(int v) {
  if (v != width_) { width_ = v; Changed(); }
}
void TPen::Assign(const TPersistent& source) {
  if (auto* p = dynamic_cast<const TPen*>(&source)) {
    color_ = p->color_;
    width_ = p->width_;
    Changed();
    return;
  }
  TPersistent::Assign(source);
}

std::uint32_t ColorToRGB(TColor c) {
  std::uint32_t v = static_cast<std::uint32_t>(c);
  if ((v & 0xFF000000u) == 0xFF000000u) return GetSysColor(static_cast<int>(v & 0xFF));
  return v & 0x00FFFFFFu;
}

struct TGdiObject {
  win32::UniqueGdiObject object;
};

void TGdiObjectDelete::operator()(TGdiObject* object) const { delete object; }

namespace {
TGdiObjectPtr OwnGdiObject(HGDIOBJ object) { return TGdiObjectPtr(new TGdiObject{win32::UniqueGdiObject(object)}); }
}  // namespace

void* TFont::Handle() {
  if (!handle_) {
    LOGFONTW lf{};
    lf.lfHeight = height_;
    lf.lfWeight = style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = style_.Contains(fsItalic);
    lf.lfUnderline = style_.Contains(fsUnderline);
    lf.lfStrikeOut = style_.Contains(fsStrikeOut);
    lf.lfCharSet = static_cast<BYTE>(charset_);
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = pitch_ == fpFixed ? FIXED_PITCH : pitch_ == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
    std::wstring face = text::Widen(name_);
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    handle_ = OwnGdiObject(CreateFontIndirectW(&lf));
  }
  return handle_->object.Get();
}

void TFont::ReleaseHandle() { handle_.reset(); }

TBrush::~TBrush() = default;
void TBrush::Changed() {
  handle_.reset();
  if (OnChange) OnChange();
}
void* TBrush::Handle() {
  if (!handle_) {
    if (style_ == bsClear) return GetStockObject(NULL_BRUSH);
    COLORREF c = ColorToRGB(color_);
    if (style_ == bsSolid) {
      handle_ = OwnGdiObject(CreateSolidBrush(c));
    } else {
      static const int kHatch[] = {0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
      handle_ = OwnGdiObject(CreateHatchBrush(kHatch[style_], c));
    }
  }
  return handle_->object.Get();
}

TPen::~TPen() = default;
void TPen::Changed() { handle_.reset(); }
void* TPen::Handle() {
  if (!handle_) handle_ = OwnGdiObject(CreatePen(PS_SOLID, width_, ColorToRGB(color_)));
  return handle_->object.Get();
}

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() { SetHandle(nullptr); }

void TCanvas::SetHandle(void* dc) {
  if (dc_ && savedFont_) {
    HDC h = static_cast<HDC>(dc_);
    SelectObject(h, savedFont_);
    SelectObject(h, savedBrush_);
    SelectObject(h, savedPen_);
  }
  savedFont_ = savedBrush_ = savedPen_ = nullptr;
  dc_ = dc;
}

void TCanvas::Select() {
  HDC h = static_cast<HDC>(dc_);
  if (!h) return;
  HGDIOBJ f = SelectObject(h, font_.Handle());
  HGDIOBJ b = SelectObject(h, brush_.Handle());
  HGDIOBJ p = SelectObject(h, pen_.Handle());
  if (!savedFont_) {
    savedFont_ = f;
    savedBrush_ = b;
    savedPen_ = p;
  }
  SetTextColor(h, ColorToRGB(font_.Color()));
}

void TCanvas::SetBkColor(TColor c) {
  if (dc_) ::SetBkColor(static_cast<HDC>(dc_), ColorToRGB(c));
}

void TCanvas::SetBkModeTransparent() {
  if (dc_) ::SetBkMode(static_cast<HDC>(dc_), TRANSPARENT);
}

void TCanvas::FillRect(const TRect& r) {
  if (!dc_) return;
  Select();
  RECT rc{r.left, r.top, r.right, r.bottom};
  ::FillRect(static_cast<HDC>(dc_), &rc, static_cast<HBRUSH>(brush_.Handle()));
}

void TCanvas::FrameRect(const TRect& r) {
  if (!dc_) return;
  RECT rc{r.left, r.top, r.right, r.bottom};
  ::FrameRect(static_cast<HDC>(dc_), &rc, static_cast<HBRUSH>(brush_.Handle()));
}

void TCanvas::MoveTo(int x, int y) {
  penPos_ = {x, y};
  if (dc_) MoveToEx(static_cast<HDC>(dc_), x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  penPos_ = {x, y};
  if (!dc_) return;
  Select();
  ::LineTo(static_cast<HDC>(dc_), x, y);
}

void TCanvas::Polyline(const TPoint* points, int count) {
  if (!dc_ || count <= 0) return;
  Select();
  std::vector<POINT> p(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) p[static_cast<std::size_t>(i)] = {points[i].x, points[i].y};
  ::Polyline(static_cast<HDC>(dc_), p.data(), count);
}

void TCanvas::DrawFocusRect(const TRect& r) {
  if (!dc_) return;
  RECT rc{r.left, r.top, r.right, r.bottom};
  ::DrawFocusRect(static_cast<HDC>(dc_), &rc);
}

int TCanvas::DrawTextUtf8(std::string_view s, TRect& r, unsigned format) {
  if (!dc_) return 0;
  Select();
  HDC h = static_cast<HDC>(dc_);
  if (brush_.Style() == bsClear) SetBkMode(h, TRANSPARENT);
  std::wstring w = text::Widen(s);
  RECT rc{r.left, r.top, r.right, r.bottom};
  int n = DrawTextW(h, w.c_str(), static_cast<int>(w.size()), &rc, format);
  r = {rc.left, rc.top, rc.right, rc.bottom};
  return n;
}

void TCanvas::TextOutUtf8(int x, int y, std::string_view s) {
  if (!dc_) return;
  Select();
  std::wstring w = text::Widen(s);
  ExtTextOutW(static_cast<HDC>(dc_), x, y, 0, nullptr, w.c_str(), static_cast<UINT>(w.size()), nullptr);
}

int TCanvas::TextWidth(std::string_view s) {
  if (!dc_) return 0;
  Select();
  std::wstring w = text::Widen(s);
  SIZE sz{};
  GetTextExtentPoint32W(static_cast<HDC>(dc_), w.c_str(), static_cast<int>(w.size()), &sz);
  return sz.cx;
}

int TCanvas::TextHeight(std::string_view s) {
  if (!dc_) return 0;
  Select();
  std::wstring w = text::Widen(s.empty() ? std::string_view("W") : s);
  SIZE sz{};
  GetTextExtentPoint32W(static_cast<HDC>(dc_), w.c_str(), static_cast<int>(w.size()), &sz);
  return sz.cy;
}

void TCanvas::StretchRgb(const TRect& dest, int width, int height, const std::uint8_t* rgb) {
  if (!dc_ || width <= 0 || height <= 0) return;
  // A bottom-up 24-bit DIB wants BGR rows padded to 4 bytes; a negative height keeps the
  // top row first.
  int stride = (width * 3 + 3) & ~3;
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* s = rgb + (static_cast<std::size_t>(y) * width + x) * 3;
      std::uint8_t* d = &bgr[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 3];
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC h = static_cast<HDC>(dc_);
  SetStretchBltMode(h, COLORONCOLOR);
  StretchDIBits(h, dest.left, dest.top, dest.Width(), dest.Height(), 0, 0, width, height, bgr.data(), &bi,
                DIB_RGB_COLORS, SRCCOPY);
}
