#pragma once
// Drives real windows in tests (Windows only).
//
// Pattern: the code under test runs on the test's main thread, which owns the windows and
// pumps their messages (a form's message loop, a modal dialog's loop). A driver thread,
// started just before, waits for the window (WaitForTopLevel), reads it (Children, GetText),
// and acts on it (PressButton, PostKey, PostClick), which ends the modal loop. Cross-thread
// SendMessage calls are served while the main thread pumps. Without a modal loop on the main
// thread, call the readers directly and Pump() between steps. A separate program (started by
// the test) is found with anyProcess and driven with the same calls; posted input reaches it,
// its windows answer WM_GETTEXT across the process boundary.

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace gui {

struct ChildInfo {
  HWND hwnd = nullptr;
  std::string className;
  std::string text;  // UTF-8
  RECT rect{};       // in the parent's client coordinates
  bool visible = false;
  int id = 0;
  LONG style = 0;
};

// The driver thread. It makes its first window-system calls before the constructor returns,
// so that they never run while this thread makes its own first ones inside the code under
// test: under Wine, a thread's first window call racing with another thread's first loading
// of the shell's libraries can deadlock both. Join (and the destructor) serve messages sent
// to this thread's windows while waiting, as the driver's reads may be waiting on them.
class DriverThread {
 public:
  explicit DriverThread(std::function<void()> work);
  ~DriverThread();
  DriverThread(const DriverThread&) = delete;
  DriverThread& operator=(const DriverThread&) = delete;
  void Join();

 private:
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

std::string GetText(HWND hwnd);
std::string ClassName(HWND hwnd);
// Top-level windows whose class and caption (UTF-8) match; empty = any. Only this process's
// unless anyProcess (a program the test started).
std::vector<HWND> FindTopLevels(const std::string& className, const std::string& caption, bool anyProcess = false);
HWND FindTopLevel(const std::string& className, const std::string& caption, bool anyProcess = false);
// Waits until `find` returns a window or the timeout passes (then null). With pump, handles
// this thread's messages while waiting (for windows owned by this thread).
HWND WaitFor(const std::function<HWND()>& find, int timeoutMs, bool pump = false);
HWND WaitForTopLevel(const std::string& className, const std::string& caption, int timeoutMs, bool pump = false,
                     bool anyProcess = false);
// Direct children, in z-order.
std::vector<ChildInfo> Children(HWND parent);
HWND FindChildByText(HWND parent, const std::string& text, const std::string& className = "");
// Clicks a push button (BM_CLICK posted); false when no child has that caption.
bool PressButton(HWND dialog, const std::string& caption);
void PostKey(HWND hwnd, UINT vk);           // WM_KEYDOWN then WM_KEYUP
void PostChar(HWND hwnd, wchar_t ch);       // WM_CHAR
void PostClick(HWND hwnd, int x, int y);    // WM_LBUTTONDOWN/UP at client (x, y)
void SendKeyInput(UINT vk);                 // through SendInput, to the focused window
// Handles this thread's pending messages for about `ms` milliseconds.
void Pump(int ms);
// Client rectangle in screen coordinates.
RECT ClientRectOnScreen(HWND hwnd);
// The window as it appears on screen, saved as PNG. False when it cannot be captured.
bool SaveWindowPng(HWND hwnd, const std::string& path);
// 8-bit RGB image as PNG bytes (stored deflate blocks).
std::string EncodePng(int width, int height, const std::vector<unsigned char>& rgb);
// Pixels of the window's client area, RGB rows top first.
std::vector<unsigned char> CaptureClient(HWND hwnd, int& width, int& height);

}  // namespace gui
