#pragma once
// What a window shows on the screen right now, read back from the screen's own pixels (so
// it is what the user sees, children and overlapping windows included).

#include <windows.h>

#include "PngFile.h"

namespace e2e {

// The window's whole rectangle, or with `clientOnly` its client area.
RgbImage CaptureWindow(HWND hwnd, bool clientOnly);

}  // namespace e2e
