#pragma once
// Fonts, brushes, pens, the drawing surface and pictures (Windows only). The GDI objects
// (HFONT, HBRUSH, HDC) are made on first use. Handles are handed out as void* so that the
// framework's headers need no windows.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/Classes.h"
#include "framework/Colors.h"

// Owner of the GDI object a font, brush or pen made: a win32::UniqueGdiObject, defined where
// windows.h is included.
struct TGdiObject;
struct TGdiObjectDelete {
  void operator()(TGdiObject* object) const;
};
using TGdiObjectPtr = std::unique_ptr<TGdiObject, TGdiObjectDelete>;

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
FW_ENUM_NAMES(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut");
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
FW_ENUM_NAMES(TFontPitch, "fpDefault", "fpVariable", "fpFixed");

constexpr int ANSI_CHARSET_ = 0;       // trailing _: windows.h defines the plain names
constexpr int DEFAULT_CHARSET_ = 1;
constexpr int SHIFTJIS_CHARSET_ = 128;
// Charset identifiers as form data writes them (SHIFTJIS_CHARSET, DEFAULT_CHARSET...).
std::optional<std::string> CharsetToIdent(std::int64_t charset);
std::optional<std::int64_t> IdentToCharset(std::string_view ident);

// Streams as Charset, Color, Height, Name, Pitch, Style. Height < 0 is the character height in
// pixels (the -12 of a 12-pixel font); Size is derived, in points at PixelsPerInch.
class TFont : public TPersistent {
  FW_CLASS(TFont, TPersistent)
  TFont();
  ~TFont() override;
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  int Charset() const { return charset_; }
  void SetCharset(int v);
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  int Height() const { return height_; }
  void SetHeight(int v);
  const std::string& Name() const { return name_; }
  void SetName(const std::string& v);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch v);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles v);
  int Size() const;
  void SetSize(int points);
  int PixelsPerInch() const { return pixelsPerInch_; }

  void Assign(const TPersistent& source) override;
  std::function<void()> OnChange;

  void* Handle();  // HFONT, owned by the font

 private:
  void Changed();
  void ReleaseHandle();
  int charset_ = DEFAULT_CHARSET_;
  TColor color_ = clWindowText;
  int height_ = -11;
  std::string name_ = "MS Sans Serif";
  TFontPitch pitch_ = fpDefault;
  TFontStyles style_;
  int pixelsPerInch_ = 96;
  TGdiObjectPtr handle_;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
FW_ENUM_NAMES(TBrushStyle, "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal",
              "bsBDiagonal", "bsCross", "bsDiagCross");

class TBrush : public TPersistent {
  FW_CLASS(TBrush, TPersistent)
  TBrush() = default;
  ~TBrush() override;
  TBrush(const TBrush&) = delete;
  TBrush& operator=(const TBrush&) = delete;
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle v);
  void Assign(const TPersistent& source) override;
  std::function<void()> OnChange;
  void* Handle();  // HBRUSH on Windows

 private:
  void Changed();
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
  TGdiObjectPtr handle_;
};

class TPen : public TPersistent {
  FW_CLASS(TPen, TPersistent)
  TPen() = default;
  ~TPen() override;
  TPen(const TPen&) = delete;
  TPen& operator=(const TPen&) = delete;
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  int Width() const { return width_; }
  void SetWidth(int v);
  void Assign(const TPersistent& source) override;
  void* Handle();  // HPEN on Windows

 private:
  void Changed();
  TColor color_ = clBlack;
  int width_ = 1;
  TGdiObjectPtr handle_;
};

struct TPoint {
  int x = 0, y = 0;
};
struct TRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// A drawing surface over a device context. Brush, Pen and Font are selected into the DC when
// a drawing call needs them.
class TCanvas {
 public:
  TCanvas();
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  void* Handle() const { return dc_; }  // HDC
  void SetHandle(void* dc);
  TBrush& Brush() { return brush_; }
  TPen& Pen() { return pen_; }
  TFont& Font() { return font_; }

  // The background colour of text and hatches, and whether text leaves it out (SetBkColor,
  // SetBkMode TRANSPARENT); both stay on the device context until it is changed again.
  void SetBkColor(TColor c);
  void SetBkModeTransparent();
  void FillRect(const TRect& r);                                 // with Brush
  void FrameRect(const TRect& r);                                // 1-pixel frame, Brush colour
  void MoveTo(int x, int y);
  void LineTo(int x, int y);                                     // with Pen
  void Polyline(const TPoint* points, int count);                // last point not drawn
  void DrawFocusRect(const TRect& r);
  // Single-line or wrapped text as the platform's DrawText does; `format` is DT_* flags.
  int DrawTextUtf8(std::string_view text, TRect& r, unsigned format);
  void TextOutUtf8(int x, int y, std::string_view text);
  int TextWidth(std::string_view text);
  int TextHeight(std::string_view text);
  void StretchRgb(const TRect& dest, int width, int height, const std::uint8_t* rgb);

 private:
  void Select();
  void* dc_ = nullptr;
  void* savedFont_ = nullptr;
  void* savedBrush_ = nullptr;
  void* savedPen_ = nullptr;
  TPoint penPos_;
  TBrush brush_;
  TPen pen_;
  TFont font_;
};

// A picture format. Form data stores a picture's graphic as its class name and the class's
// own data ("TJPEGImage": 4-byte length + JPEG file bytes).
class TGraphic : public TPersistent {
  FW_CLASS(TGraphic, TPersistent)
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const = 0;
  virtual void ReadData(TStream& s) = 0;   // the class's form-data layout
  virtual void WriteData(TStream& s) const = 0;
  virtual void Draw(TCanvas& canvas, const TRect& dest) const = 0;
};

class TJPEGImage : public TGraphic {
  FW_CLASS(TJPEGImage, TGraphic)
  TJPEGImage() = default;
  // Takes the bytes of a JPEG file and decodes them; EReadError when they are not a JPEG
  // that libjpeg can decode.
  void LoadFromBytes(std::string jpeg);
  const std::string& Bytes() const { return jpeg_; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  bool Empty() const override { return jpeg_.empty(); }
  // Decoded pixels, top row first, 3 bytes (R, G, B) per pixel.
  const std::string& Rgb() const { return rgb_; }
  void ReadData(TStream& s) override;
  void WriteData(TStream& s) const override;
  void Draw(TCanvas& canvas, const TRect& dest) const override;

 private:
  std::string jpeg_;
  std::string rgb_;
  int width_ = 0, height_ = 0;
};

// Holds one graphic (owned). Streams as the defined binary property "Data".
class TPicture : public TPersistent {
  FW_CLASS(TPicture, TPersistent)
  TPicture() = default;
  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> g);
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }
  // A JPEG file's bytes (what a designer does with "load picture").
  void LoadJpegBytes(std::string jpeg);
  void DefineProperties(TFiler& filer) override;
  void Assign(const TPersistent& source) override;
  std::function<void()> OnChange;

 private:
  std::unique_ptr<TGraphic> graphic_;
};
