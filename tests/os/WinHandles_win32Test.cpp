// The handle owners close what they hold exactly once: when they go, when reset, and not
// after the handle has been moved on or released.
#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

#include "os/WinHandles.h"

TEST(WinHandles, GdiObjectsAreDeletedWhenTheirOwnerGoesAndNotBefore) {
  HFONT raw = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
  ASSERT_NE(raw, nullptr);
  {
    win32::UniqueFont a(raw);
    win32::UniqueFont b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), raw);
    win32::UniqueFont c;
    c = std::move(b);
    EXPECT_EQ(GetObjectType(raw), static_cast<DWORD>(OBJ_FONT)) << "a move closes nothing";
  }
  EXPECT_EQ(GetObjectType(raw), 0u) << "deleted with its last owner";

  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  win32::UniqueBrush owner(brush);
  HBRUSH kept = owner.Release();
  owner.Reset();
  EXPECT_EQ(GetObjectType(kept), static_cast<DWORD>(OBJ_BRUSH)) << "released: not the owner's to delete";
  owner.Reset(kept);
  owner.Reset(CreateSolidBrush(RGB(4, 5, 6)));
  EXPECT_EQ(GetObjectType(kept), 0u) << "replaced: the old one is deleted";
}

TEST(WinHandles, ASelectionIsUndoneAndTheDeviceContextGoesBack) {
  win32::UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc);
  HGDIOBJ before = GetCurrentObject(dc.Get(), OBJ_PEN);
  win32::UniquePen pen(CreatePen(PS_SOLID, 1, RGB(9, 9, 9)));
  {
    win32::Selection selected(dc.Get(), pen.Get());
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PEN), pen.Get());
  }
  EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PEN), before);
  win32::WindowDc screen(nullptr);
  EXPECT_TRUE(screen);
}

TEST(WinHandles, KeysAndKernelHandlesAreClosed) {
  win32::UniqueKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
  HKEY raw = key.Get();
  key.Reset();
  DWORD subkeys = 0;
  EXPECT_NE(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS)
      << "the key is closed";

  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
  { win32::UniqueKernelHandle owner(event); }
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(event, &flags)) << "closed";
  EXPECT_TRUE(GetHandleInformation(copy, &flags));
  CloseHandle(copy);

  win32::UniqueFile none;
  EXPECT_FALSE(none) << "INVALID_HANDLE_VALUE is the empty file handle";
  win32::UniqueModule kernel(LoadLibraryW(L"kernel32.dll"));
  EXPECT_TRUE(kernel);
}

TEST(WinHandles, LocalBlocksAreFreedAndTheErrorModeIsSetBack) {
  HLOCAL block = LocalAlloc(LMEM_FIXED, 16);
  ASSERT_NE(block, nullptr);
  {
    win32::UniqueLocal owner(block);
    EXPECT_EQ(owner.Release(), block);
  }
  EXPECT_EQ(LocalSize(block), 16u) << "a released block is not freed";
  EXPECT_EQ(LocalFree(block), nullptr) << "and is still the caller's to free";

  const DWORD before = GetThreadErrorMode();
  const DWORD other = (before & SEM_FAILCRITICALERRORS) ? SEM_NOOPENFILEERRORBOX : SEM_FAILCRITICALERRORS;
  {
    win32::ThreadErrorMode scoped(other);
    EXPECT_EQ(scoped.Previous(), before);
    EXPECT_EQ(GetThreadErrorMode(), other);
  }
  EXPECT_EQ(GetThreadErrorMode(), before) << "set back when the owner went";
}
