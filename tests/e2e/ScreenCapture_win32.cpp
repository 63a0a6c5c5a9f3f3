#include "ScreenCapture.h"

#include <stdexcept>

#include "os/WinHandles.h"

namespace e2e {

RgbImage CaptureWindow(HWND hwnd, bool clientOnly) {
  RECT r{};
  if (clientOnly) {
    GetClientRect(hwnd, &r);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  } else {
    GetWindowRect(hwnd, &r);
  }
  RgbImage image;
  image.width = r.right - r.left;
  image.height = r.bottom - r.top;
  if (image.width <= 0 || image.height <= 0) throw std::runtime_error("CaptureWindow: empty window");

  win32::WindowDc screenDc(nullptr);
  HDC screen = screenDc.Get();
  win32::UniqueMemoryDc memoryDc(CreateCompatibleDC(screen));
  HDC memory = memoryDc.Get();
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = image.width;
  bi.bmiHeader.biHeight = -image.height;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  win32::UniqueBitmap dib(CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib) throw std::runtime_error("CaptureWindow: no bitmap of the window's size");
  win32::Selection selected(memory, dib.Get());
  BOOL copied = BitBlt(memory, 0, 0, image.width, image.height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
  const auto* px = static_cast<const std::uint8_t*>(bits);
  for (size_t i = 0, n = static_cast<size_t>(image.width) * image.height; i < n; ++i) {
    image.rgb[i * 3 + 0] = px[i * 4 + 2];
    image.rgb[i * 3 + 1] = px[i * 4 + 1];
    image.rgb[i * 3 + 2] = px[i * 4 + 0];
  }
  if (!copied) throw std::runtime_error("CaptureWindow: BitBlt from the screen failed");
  return image;
}

}  // namespace e2e
