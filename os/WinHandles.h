#pragma once
// Move-only owners of Win32 handles, one kind each: the handle is closed the way its kind
// needs (DeleteObject, DestroyMenu, DeleteDC, ReleaseDC, RegCloseKey, FreeLibrary, CloseHandle,
// FindClose, LocalFree), and a thread's error mode set back
// when the owner goes, on every path. Windows only; header-only, so any Win32 source can use it.

#include <windows.h>

#include <utility>

namespace win32 {

// Closer: a type with `static void Close(H)` and `static H Invalid()`.
template <class H, class Closer>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : h_(h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  H Get() const { return h_; }
  explicit operator bool() const { return h_ != Closer::Invalid(); }
  // Gives the handle up without closing it.
  H Release() { return std::exchange(h_, Closer::Invalid()); }
  void Reset(H h = Closer::Invalid()) {
    H old = std::exchange(h_, h);
    if (old != Closer::Invalid()) Closer::Close(old);
  }
  // For out-parameters (RegOpenKeyExW(..., key.Receive())): closes what is held first.
  H* Receive() {
    Reset();
    return &h_;
  }

 private:
  H h_ = Closer::Invalid();
};

namespace closers {
template <class H>
struct GdiObject {
  static H Invalid() { return nullptr; }
  static void Close(H h) { DeleteObject(h); }
};
struct Menu {
  static HMENU Invalid() { return nullptr; }
  static void Close(HMENU h) { DestroyMenu(h); }
};
struct MemoryDc {
  static HDC Invalid() { return nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
struct RegistryKey {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
struct Module {
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
// Process, thread and event handles: null when there is none.
struct KernelObject {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
// CreateFileW's handles: INVALID_HANDLE_VALUE when there is none.
struct File {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindFile {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
// Blocks the system allocates for the caller (FormatMessageW's FORMAT_MESSAGE_ALLOCATE_BUFFER).
struct LocalMemory {
  static HLOCAL Invalid() { return nullptr; }
  static void Close(HLOCAL h) { LocalFree(h); }
};
}  // namespace closers

using UniqueFont = UniqueHandle<HFONT, closers::GdiObject<HFONT>>;
using UniqueBrush = UniqueHandle<HBRUSH, closers::GdiObject<HBRUSH>>;
using UniquePen = UniqueHandle<HPEN, closers::GdiObject<HPEN>>;
using UniqueBitmap = UniqueHandle<HBITMAP, closers::GdiObject<HBITMAP>>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, closers::GdiObject<HGDIOBJ>>;
using UniqueMenu = UniqueHandle<HMENU, closers::Menu>;  // a menu and the submenus it holds
using UniqueMemoryDc = UniqueHandle<HDC, closers::MemoryDc>;
using UniqueKey = UniqueHandle<HKEY, closers::RegistryKey>;
using UniqueModule = UniqueHandle<HMODULE, closers::Module>;
using UniqueKernelHandle = UniqueHandle<HANDLE, closers::KernelObject>;
using UniqueFile = UniqueHandle<HANDLE, closers::File>;
using UniqueFind = UniqueHandle<HANDLE, closers::FindFile>;
using UniqueLocal = UniqueHandle<HLOCAL, closers::LocalMemory>;

// The calling thread's error mode set for a scope (SetThreadErrorMode); the previous mode is
// set back when the owner goes. While SEM_FAILCRITICALERRORS is set, touching an empty floppy
// or CD drive fails at once instead of asking the user to insert a disk.
class ThreadErrorMode {
 public:
  explicit ThreadErrorMode(DWORD mode) { SetThreadErrorMode(mode, &old_); }
  ~ThreadErrorMode() { SetThreadErrorMode(old_, nullptr); }
  ThreadErrorMode(const ThreadErrorMode&) = delete;
  ThreadErrorMode& operator=(const ThreadErrorMode&) = delete;
  DWORD Previous() const { return old_; }

 private:
  DWORD old_ = 0;
};

// A window's (or, with null, the screen's) device context from GetDC, given back with
// ReleaseDC to the same window.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(WindowDc&& other) noexcept
      : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
  WindowDc& operator=(WindowDc&&) = delete;
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for a scope; the previous one is selected back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() {
    if (dc_) SelectObject(dc_, old_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The two handles that CreateProcessW returns.
struct ProcessHandles {
  UniqueKernelHandle process;
  UniqueKernelHandle thread;
  ProcessHandles() = default;
  explicit ProcessHandles(const PROCESS_INFORMATION& info) : process(info.hProcess), thread(info.hThread) {}
};

}  // namespace win32
