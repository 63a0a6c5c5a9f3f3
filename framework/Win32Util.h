#pragma once
// Shared pieces of the Win32 side (included only by *_win32.cpp).

#include <windows.h>

#include <string>

#include "framework/Controls.h"

namespace fwwin {

// Messages the framework sends itself. CN_ messages carry a notification that Windows gave
// the parent (WM_COMMAND, WM_CTLCOLOR...) to the child control it concerns.
constexpr UINT kCnBase = 0xBC00;
constexpr UINT CN_COMMAND = kCnBase + WM_COMMAND;
constexpr UINT CN_CTLCOLOREDIT = kCnBase + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = kCnBase + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORSTATIC = kCnBase + WM_CTLCOLORSTATIC;
constexpr UINT CM_RELEASE = WM_APP + 0x300;

extern const wchar_t kControlClass[];
extern const wchar_t kFormClass[];

HINSTANCE Instance();
void RegisterWindowClasses();
LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// The framework object of a window (any of ours, subclassed standard ones included).
TWinControl* ControlOf(HWND hwnd);
// The object that the next window made with one of our classes belongs to.
void SetCreatingControl(TWinControl* c);
TShiftState ShiftFromKeys(WPARAM mk);
COLORREF ToColorRef(TColor c);
HCURSOR CursorHandle(TCursor c);
// The tooltip window of the application, made on first use.
HWND ToolTips();
// A drag in progress takes the mouse messages of the window that holds its capture; true
// when `m` was the drag's (DragObject_win32.cpp).
bool DragMessage(TWinControl* w, TMessage& m);
// Starts a drag of `c` from a screen point (a press of a control in automatic drag mode).
void BeginDragAt(TControl* c, POINT origin, bool immediate, int threshold);
// A control that goes stops being the drag's source or target.
void ForgetDragControl(TControl* c);

}  // namespace fwwin
