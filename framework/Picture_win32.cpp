// TJPEGImage and TPicture: the picture block of form data and its JPEG decoding.

#include "framework/Graphics.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "framework/ClassBuilder.h"
#include "framework/Filer.h"
#include "os/LittleEndian.h"

// --- Pictures ---------------------------------------------------------------------------

const TClassInfo& TGraphic::StaticClass() {
  static const TClassInfo info = TClassBuilder<TGraphic>("TGraphic", &TPersistent::StaticClass()).Build();
  return info;
}

const TClassInfo& TJPEGImage::StaticClass() {
  static const TClassInfo info = TClassBuilder<TJPEGImage>("TJPEGImage", &TGraphic::StaticClass()).Build();
  return info;
}

namespace {
struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// 48 MiB of RGB at the most: a picture on a form, in a 32-bit process.
constexpr std::uint64_t kMaxJpegPixels = 16ull << 20;

// Decodes to RGB. libjpeg reports errors through error_exit, which must not return; it
// jumps back here, so no C++ object with a destructor may live between setjmp and the calls.
bool DecodeJpeg(const std::string& bytes, std::string& rgb, int& width, int& height, std::string& why) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegErrorExit;
  err.mgr.emit_message = JpegSilence;
  err.message[0] = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    why = err.message;
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  std::size_t stride = std::size_t{cinfo.output_width} * 3;
  if (cinfo.output_components != 3 || cinfo.output_width > 16384 || cinfo.output_height > 16384 ||
      std::uint64_t{cinfo.output_width} * cinfo.output_height > kMaxJpegPixels) {
    std::snprintf(err.message, sizeof err.message, "unsupported JPEG layout");
    jpeg_destroy_decompress(&cinfo);
    why = err.message;
    return false;
  }
  rgb.assign(stride * cinfo.output_height, '\0');
  // Scanlines go straight into the picture: nothing is allocated that a jump would leak.
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[1] = {reinterpret_cast<JSAMPLE*>(&rgb[stride * cinfo.output_scanline])};
    jpeg_read_scanlines(&cinfo, rows, 1);
  }
  width = static_cast<int>(cinfo.output_width);
  height = static_cast<int>(cinfo.output_height);
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}
}  // namespace

void TJPEGImage::LoadFromBytes(std::string jpeg) {
  if (jpeg.empty()) {
    jpeg_.clear();
    rgb_.clear();
    width_ = height_ = 0;
    return;
  }
  std::string rgb, why;
  int w = 0, h = 0;
  if (!DecodeJpeg(jpeg, rgb, w, h, why)) throw EReadError("Invalid JPEG image: " + why);
  jpeg_ = std::move(jpeg);
  rgb_ = std::move(rgb);
  width_ = w;
  height_ = h;
}

void TJPEGImage::ReadData(TStream& s) {
  unsigned char len[4];
  s.ReadBuffer(len, 4);
  const std::uint32_t n = le::Get32(len);
  if (n > s.Size() - s.Position()) throw EReadError("JPEG length " + std::to_string(n) + " exceeds its block");
  std::string bytes(n, '\0');
  if (n) s.ReadBuffer(bytes.data(), n);
  LoadFromBytes(std::move(bytes));
}

void TJPEGImage::WriteData(TStream& s) const {
  std::uint32_t n = static_cast<std::uint32_t>(jpeg_.size());
  unsigned char len[4];
  le::Put32(len, n);
  s.WriteBuffer(len, 4);
  s.WriteBytes(jpeg_);
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& dest) const {
  if (!rgb_.empty()) canvas.StretchRgb(dest, width_, height_, reinterpret_cast<const std::uint8_t*>(rgb_.data()));
}

const TClassInfo& TPicture::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPicture>("TPicture", &TPersistent::StaticClass()).Build();
  return info;
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> g) {
  graphic_ = std::move(g);
  if (OnChange) OnChange();
}

void TPicture::LoadJpegBytes(std::string jpeg) {
  auto g = std::make_unique<TJPEGImage>();
  g->LoadFromBytes(std::move(jpeg));
  SetGraphic(std::move(g));
}

void TPicture::Assign(const TPersistent& source) {
  if (auto* p = dynamic_cast<const TPicture*>(&source)) {
    if (auto* j = dynamic_cast<const TJPEGImage*>(p->Graphic())) {
      LoadJpegBytes(j->Bytes());
    } else {
      SetGraphic(nullptr);
    }
    return;
  }
  TPersistent::Assign(source);
}

void TPicture::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      "Data",
      [this](TStream& s) {
        unsigned char n = 0;
        if (s.Size() == 0) {
          SetGraphic(nullptr);
          return;
        }
        s.ReadBuffer(&n, 1);
        std::string cls(n, '\0');
        if (n) s.ReadBuffer(cls.data(), n);
        if (!SameText(cls, "TJPEGImage")) throw EReadError("Unsupported picture class " + cls);
        auto g = std::make_unique<TJPEGImage>();
        g->ReadData(s);
        SetGraphic(std::move(g));
      },
      [this](TStream& s) {
        std::string cls = graphic_->ClassName();
        unsigned char n = static_cast<unsigned char>(cls.size());
        s.WriteBuffer(&n, 1);
        s.WriteBytes(cls);
        graphic_->WriteData(s);
      },
      graphic_ != nullptr && !graphic_->Empty());
}
