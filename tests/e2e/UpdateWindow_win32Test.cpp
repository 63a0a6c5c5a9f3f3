// SETUP.EXE as a user meets it: started as a program of its own, its update window read
// through the windows it made, its buttons pressed with the mouse messages a click makes.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "PngFile.h"
#include "framework/Graphics.h"
#include "ScreenCapture.h"
#include "SetupProcess.h"
#include "support/TestPaths.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

const std::wstring kCaption = L"「Norvex」アップデート";

struct Child {
  HWND hwnd = nullptr;
  std::wstring className;
  std::wstring text;
  RECT rect{};  // in the parent's client coordinates
  bool visible = false;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(lp);
  list->push_back(hwnd);
  return TRUE;
}

std::vector<Child> Children(HWND form) {
  std::vector<HWND> handles;
  EnumChildWindows(form, CollectChild, reinterpret_cast<LPARAM>(&handles));
  std::vector<Child> out;
  for (HWND h : handles) {
    Child c;
    c.hwnd = h;
    c.className = ClassName(h);
    c.text = WindowText(h);
    GetWindowRect(h, &c.rect);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&c.rect), 2);
    c.visible = IsWindowVisible(h) != FALSE;
    out.push_back(c);
  }
  return out;
}

std::optional<Child> ChildByText(HWND form, const std::wstring& text) {
  for (const Child& c : Children(form))
    if (c.text == text) return c;
  return std::nullopt;
}

std::optional<Child> ChildByClass(HWND form, const wchar_t* className) {
  for (const Child& c : Children(form))
    if (_wcsicmp(c.className.c_str(), className) == 0) return c;
  return std::nullopt;
}

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

HWND FocusedWindow(HWND form) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(form, nullptr);
  if (!GetGUIThreadInfo(thread, &info)) return nullptr;
  return info.hwndFocus;
}

// Waits until `condition` holds, checking while the other process works.
template <class F>
bool Eventually(F condition, std::chrono::milliseconds timeout = 5s) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

class UpdateWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = SetupExePath();
    ASSERT_TRUE(std::filesystem::exists(exe_)) << exe_.string();
    setup_ = std::make_unique<SetupProcess>(exe_);
    form_ = setup_->WaitForWindow(kCaption, 30s);
    ASSERT_NE(form_, nullptr) << "no window captioned 「Norvex」アップデート";
    // The window is up once its children are; the picture is painted with the form.
    ASSERT_TRUE(Eventually([&] { return ChildByText(form_, L"終  了").has_value(); }));
    UpdateWindow(form_);
  }

  std::filesystem::path exe_;
  std::unique_ptr<SetupProcess> setup_;
  HWND form_ = nullptr;
};

TEST_F(UpdateWindowTest, WindowIsCentredWithItsClientSizeAndOnlyTheCloseBox) {
  RECT client{};
  GetClientRect(form_, &client);
  EXPECT_EQ(client.right, 494);
  EXPECT_EQ(client.bottom, 314);

  RECT outer{};
  GetWindowRect(form_, &outer);
  int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_NEAR(outer.left, (screenW - (outer.right - outer.left)) / 2, 1);
  EXPECT_NEAR(outer.top, (screenH - (outer.bottom - outer.top)) / 2, 1);

  LONG style = GetWindowLongW(form_, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_THICKFRAME) << "the default sizeable frame";
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);

  // Only one window: the update window is the program's single top-level window.
  EXPECT_EQ(setup_->TopLevelWindows().size(), 1u);
}

TEST_F(UpdateWindowTest, ApplicationTitleNamesTheProgram) {
  // The title lives on the application's own hidden window, which names the taskbar button.
  bool found = false;
  for (HWND w : setup_->TopLevelWindows(true))
    if (w != form_ && WindowText(w) == L"Norvex アップデートプログラム") found = true;
  EXPECT_TRUE(found);
}

TEST_F(UpdateWindowTest, ControlsShowTheirTextsAtTheirPlaces) {
  struct Expected {
    std::wstring text;
    RECT rect;  // left, top, right, bottom in client pixels
    bool autoSize;  // a label: it fits itself to its text
  };
  const Expected visible[] = {
      {L"Norvexのアップデートプログラム", {96, 16, 96 + 299, 16 + 21}, true},
      {L"アップデートプログラムを実行するには、「Norvex」", {237, 70, 237 + 253, 70 + 12}, true},
      {L"トヴォ顧客管理システムを終了してください。", {237, 88, 237 + 225, 88 + 12}, true},
      {L"終  了", {24, 248, 24 + 113, 248 + 41}, false},
      {L"アップデート実行", {24, 64, 24 + 201, 64 + 41}, false},
      {L"README", {24, 171, 24 + 113, 171 + 41}, false},
  };
  for (const Expected& e : visible) {
    SCOPED_TRACE(Utf8(e.text));
    std::optional<Child> c = ChildByText(form_, e.text);
    ASSERT_TRUE(c.has_value());
    EXPECT_TRUE(c->visible);
    EXPECT_EQ(c->rect.left, e.rect.left);
    EXPECT_EQ(c->rect.top, e.rect.top);
    if (e.autoSize) {
      // Sized to the text in the substituted font: close to the designed size, not equal.
      int width = c->rect.right - c->rect.left, designed = e.rect.right - e.rect.left;
      EXPECT_NEAR(width, designed, designed / 8);
      EXPECT_NEAR(c->rect.bottom - c->rect.top, e.rect.bottom - e.rect.top, 4);
    } else {
      EXPECT_EQ(c->rect.right, e.rect.right);
      EXPECT_EQ(c->rect.bottom, e.rect.bottom);
    }
  }

  // The two notes exist only in the form data: never on screen.
  for (const wchar_t* hidden : {L"アップデートプログラムを実行する前にお読みください。",
                                L"Norvexの最新ファイルバージョンを記入"}) {
    SCOPED_TRACE(Utf8(hidden));
    std::optional<Child> c = ChildByText(form_, hidden);
    if (c) EXPECT_FALSE(c->visible);
  }
}

TEST_F(UpdateWindowTest, HiddenControlsHoldTheTargetVersionAndTheArchiveName) {
  std::optional<Child> edit = ChildByClass(form_, L"Edit");
  ASSERT_TRUE(edit.has_value());
  EXPECT_FALSE(edit->visible);
  EXPECT_EQ(edit->text, L"19436");
  EXPECT_EQ(edit->rect.left, 348);
  EXPECT_EQ(edit->rect.top, 132);

  std::optional<Child> list = ChildByClass(form_, L"ListBox");
  ASSERT_TRUE(list.has_value());
  EXPECT_FALSE(list->visible);
  ASSERT_EQ(SendMessageW(list->hwnd, LB_GETCOUNT, 0, 0), 1);
  LRESULT n = SendMessageW(list->hwnd, LB_GETTEXTLEN, 0, 0);
  ASSERT_GT(n, 0);
  std::wstring item(static_cast<size_t>(n) + 1, L'\0');
  n = SendMessageW(list->hwnd, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item.data()));
  item.resize(static_cast<size_t>(n));
  EXPECT_EQ(item, L"N_UpDate120502.lzh");
  EXPECT_EQ(SendMessageW(list->hwnd, LB_GETITEMHEIGHT, 0, 0), 12);
}

TEST_F(UpdateWindowTest, FocusStartsOnTheQuitButtonAndTabSkipsTheHiddenControls) {
  std::optional<Child> close = ChildByText(form_, L"終  了");
  std::optional<Child> inst = ChildByText(form_, L"アップデート実行");
  std::optional<Child> readme = ChildByText(form_, L"README");
  ASSERT_TRUE(close && inst && readme);
  ASSERT_TRUE(Eventually([&] { return FocusedWindow(form_) == close->hwnd; }))
      << "focus is on " << Utf8(WindowText(FocusedWindow(form_)));

  const HWND order[] = {inst->hwnd, readme->hwnd, close->hwnd};
  for (HWND next : order) {
    HWND from = FocusedWindow(form_);
    PostMessageW(from, WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageW(from, WM_KEYUP, VK_TAB, 0xC00F0001);
    EXPECT_TRUE(Eventually([&] { return FocusedWindow(form_) == next; }))
        << "Tab from " << Utf8(WindowText(from)) << " went to " << Utf8(WindowText(FocusedWindow(form_)));
  }
}

// The background picture as libjpeg decodes it, sampled where a point of a stretched copy of
// `width` x `height` pixels takes its colour from.
struct Picture {
  TJPEGImage jpeg;
  Picture() {
    jpeg.LoadFromBytes(testing_support::ReadFileBytes(testing_support::SourceDir() / "resources" / "Background.jpg"));
  }
  std::uint32_t At(int x, int y, int width, int height) const {
    int sx = x * jpeg.Width() / width, sy = y * jpeg.Height() / height;
    const auto* p = reinterpret_cast<const unsigned char*>(&jpeg.Rgb()[(static_cast<size_t>(sy) * jpeg.Width() + sx) * 3]);
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
};

bool Near(std::uint32_t a, std::uint32_t b, int tolerance) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance) return false;
  return true;
}

// Points of the client area, as fractions, where no control lies and the picture is smooth
// (sky and cloud, away from the lettering).
constexpr double kOpenSky[][2] = {{0.84, 0.03}, {0.40, 0.48}, {0.95, 0.45}, {0.32, 0.73}, {0.02, 0.10}};

void ExpectPictureFills(const RgbImage& client, const Picture& picture) {
  for (const auto& f : kOpenSky) {
    int x = static_cast<int>(f[0] * client.width), y = static_cast<int>(f[1] * client.height);
    std::uint32_t want = picture.At(x, y, client.width, client.height), got = client.Pixel(x, y);
    EXPECT_TRUE(Near(got, want, 28)) << "at " << x << "," << y << " of " << client.width << "x"
                                     << client.height << ": screen " << std::hex << got << ", picture " << want;
  }
}

TEST_F(UpdateWindowTest, PictureFillsTheWindowAndStretchesWithIt) {
  Picture picture;
  ASSERT_EQ(picture.jpeg.Width(), 569);
  ASSERT_EQ(picture.jpeg.Height(), 365);
  SetForegroundWindow(form_);
  std::this_thread::sleep_for(300ms);
  RgbImage client = CaptureWindow(form_, true);
  WritePng(testing_support::BinaryDir() / "screenshots" / "UpdateWindow.png", client);
  ASSERT_EQ(client.width, 494);
  ASSERT_EQ(client.height, 314);
  ExpectPictureFills(client, picture);

  std::optional<Child> title = ChildByText(form_, L"Norvexのアップデートプログラム");
  ASSERT_TRUE(title.has_value());

  // Larger window: the picture follows the client area, the controls stay where they were.
  RECT outer{};
  GetWindowRect(form_, &outer);
  SetWindowPos(form_, nullptr, 0, 0, outer.right - outer.left + 120, outer.bottom - outer.top + 90,
               SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_TRUE(Eventually([&] {
    RECT c{};
    GetClientRect(form_, &c);
    return c.right == 494 + 120 && c.bottom == 314 + 90;
  }));
  std::this_thread::sleep_for(300ms);
  RgbImage larger = CaptureWindow(form_, true);
  WritePng(testing_support::BinaryDir() / "screenshots" / "UpdateWindowLarger.png", larger);
  ExpectPictureFills(larger, picture);
  std::optional<Child> moved = ChildByText(form_, L"Norvexのアップデートプログラム");
  ASSERT_TRUE(moved.has_value());
  EXPECT_EQ(moved->rect.left, title->rect.left);
  EXPECT_EQ(moved->rect.top, title->rect.top);
  EXPECT_EQ(moved->rect.right - moved->rect.left, title->rect.right - title->rect.left);
}

TEST_F(UpdateWindowTest, ButtonCaptionsLieOnTheButtonFace) {
  std::optional<Child> close = ChildByText(form_, L"終  了");
  ASSERT_TRUE(close.has_value());
  SetForegroundWindow(form_);
  std::this_thread::sleep_for(300ms);
  RgbImage client = CaptureWindow(form_, true);
  // The middle of "終  了" is the gap of its two blanks: face colour, as beside the caption.
  int midX = (close->rect.left + close->rect.right) / 2, midY = (close->rect.top + close->rect.bottom) / 2;
  std::uint32_t face = client.Pixel(close->rect.left + 6, midY);
  EXPECT_EQ(client.Pixel(midX, midY), face) << std::hex << client.Pixel(midX, midY) << " on " << face;
  // And the face is the button's, not the picture behind it.
  EXPECT_EQ(client.Pixel(close->rect.left + 6, close->rect.top + 6), face);
}

TEST_F(UpdateWindowTest, QuitButtonEndsTheProgram) {
  std::optional<Child> close = ChildByText(form_, L"終  了");
  ASSERT_TRUE(close.has_value());
  ClickMiddle(close->hwnd);
  std::optional<DWORD> code = setup_->WaitForExit(15s);
  ASSERT_TRUE(code.has_value()) << "SETUP.EXE still runs after the quit button";
  EXPECT_EQ(*code, 0u);
}

TEST_F(UpdateWindowTest, CloseBoxEndsTheProgram) {
  PostMessageW(form_, WM_SYSCOMMAND, SC_CLOSE, 0);
  std::optional<DWORD> code = setup_->WaitForExit(15s);
  ASSERT_TRUE(code.has_value()) << "SETUP.EXE still runs after the close box";
  EXPECT_EQ(*code, 0u);
}

}  // namespace
}  // namespace e2e
