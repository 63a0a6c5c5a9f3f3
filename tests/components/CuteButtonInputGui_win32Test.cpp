// TCuteButton's input on real windows: mouse, keyboard, accelerators and focus move the outer
// bevel between rest, hot and pressed and decide when it clicks; a drop-down menu opens at
// once or after the press has been held, and the click that would accompany it is swallowed.
// Input is posted as window messages and pumped through the application's loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "components/CuteBtn.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "text/CodePage.h"

namespace {

class TProbeButton : public TCuteButton {
 public:
  using TCuteButton::TCuteButton;
  using TCuteButton::MouseEnter;
  using TCuteButton::MouseLeave;
  std::vector<TBevelCut> bevelAtClick;
  int clicks = 0;
  int dropDowns = 0;
  void DoDropDown() override {
    ++dropDowns;
    TCuteButton::DoDropDown();
  }
};

constexpr LPARAM kInside = MAKELPARAM(5, 5);

class CuteButtonInput : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetClientSize(320, 200);
    form->SetPosition(poScreenCenter);
    first = new TCuteButton(form);
    first->SetBounds(200, 150, 75, 25);
    first->SetCaption("first");
    first->SetParent(form);
    panel = new TPanel(form);
    panel->SetBounds(10, 10, 180, 120);
    panel->SetParent(form);
    button = new TProbeButton(form);
    button->SetBounds(10, 10, 100, 30);
    button->SetCaption("&Go");
    button->SetParent(panel);
    button->OnClick = TNotifyEvent([this](TObject* s) {
      EXPECT_EQ(s, button);
      button->bevelAtClick.push_back(button->BevelOuter());
      ++button->clicks;
    });
    form->Show();
    first->SetFocus();
    Settle();
  }
  void TearDown() override { delete form; }

  void Settle(int rounds = 5) {
    for (int i = 0; i < rounds; ++i) {
      Application->ProcessMessages();
      Sleep(5);
    }
  }
  HWND H(TWinControl* c) { return static_cast<HWND>(c->Handle()); }
  void Post(UINT msg, WPARAM wp = 0, LPARAM lp = kInside) { PostMessageW(H(button), msg, wp, lp); }
  void KeyDown(UINT vk) { Post(WM_KEYDOWN, vk, 1); }
  void KeyUp(UINT vk) { Post(WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u)); }

  TForm* form = nullptr;
  TCuteButton* first = nullptr;
  TPanel* panel = nullptr;
  TProbeButton* button = nullptr;
};

TPopupMenu* MakeMenu(TComponent* owner) {
  auto* menu = new TPopupMenu(owner);
  auto* item = new TMenuItem(owner);
  item->SetCaption("項目");
  menu->Items()->Add(item);
  return menu;
}

// Runs `drive` on the main thread while a driver thread closes every popup menu that opens
// (Escape), recording the first one's screen rectangle.
int WithMenuCloser(RECT* where, const std::function<void()>& drive) {
  std::atomic<bool> done{false};
  std::atomic<int> seen{0};
  gui::DriverThread driver([&] {
    HWND last = nullptr;
    while (!done) {
      HWND m = gui::FindTopLevel("#32768", "");
      if (m && m != last && IsWindowVisible(m)) {
        if (seen == 0 && where) GetWindowRect(m, where);
        ++seen;
        last = m;
        Sleep(50);
        PostMessageW(m, WM_KEYDOWN, VK_ESCAPE, 0);
      }
      Sleep(10);
    }
  });
  drive();
  done = true;
  driver.Join();
  return seen;
}

}  // namespace

TEST_F(CuteButtonInput, MouseKeyboardAndFocusFollowTheBevelRules) {
  struct Step {
    const char* what;
    std::function<void()> act;
    TBevelCut bevel;
    int clicks;
  };
  const std::vector<Step> steps = {
      {"left press inside", [&] { Post(WM_LBUTTONDOWN, MK_LBUTTON); }, bvLowered, 0},
      {"release inside clicks", [&] { Post(WM_LBUTTONUP); }, bvRaised, 1},
      {"focus lost", [&] { first->SetFocus(); }, bvNone, 1},
      {"press and release outside",
       [&] {
         Post(WM_LBUTTONDOWN, MK_LBUTTON);
         Post(WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
       },
       bvRaised, 1},
      {"focus lost again", [&] { first->SetFocus(); }, bvNone, 1},
      {"right click takes the focus, no press", [&] {
         Post(WM_RBUTTONDOWN, MK_RBUTTON);
         Post(WM_RBUTTONUP);
       },
       bvRaised, 1},
      {"space pressed", [&] { KeyDown(VK_SPACE); }, bvLowered, 1},
      {"space released clicks", [&] { KeyUp(VK_SPACE); }, bvRaised, 2},
      {"space pressed again", [&] { KeyDown(VK_SPACE); }, bvLowered, 2},
      {"another key cancels", [&] { KeyDown('A'); }, bvRaised, 2},
      {"space released: nothing", [&] { KeyUp(VK_SPACE); }, bvRaised, 2},
      {"Enter held: one click per repeat",
       [&] {
         KeyDown(VK_RETURN);
         Post(WM_KEYDOWN, VK_RETURN, 0x40000001);
         Post(WM_KEYDOWN, VK_RETURN, 0x40000001);
       },
       bvRaised, 5},
  };
  for (const Step& s : steps) {
    s.act();
    Settle();
    EXPECT_EQ(button->BevelOuter(), s.bevel) << s.what;
    EXPECT_EQ(button->clicks, s.clicks) << s.what;
  }
  EXPECT_EQ(button->bevelAtClick, std::vector<TBevelCut>(5, bvLowered)) << "drawn pressed while the handler runs";

  button->SetTabFocusUp(false);
  first->SetFocus();
  Settle();
  Post(WM_LBUTTONDOWN, MK_LBUTTON);
  Post(WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
  Settle();
  EXPECT_EQ(button->BevelOuter(), bvNone) << "without TabFocusUp a release outside rests";
  EXPECT_EQ(GetFocus(), H(button));
  KeyDown(VK_SPACE);
  KeyUp(VK_SPACE);
  Settle();
  EXPECT_EQ(button->BevelOuter(), bvNone);
  EXPECT_EQ(button->clicks, 6);
}

TEST_F(CuteButtonInput, KeyHandlersThatClearTheKeyStopTheButton) {
  button->SetFocus();
  button->OnKeyDown = TKeyEvent([](TObject*, std::uint16_t& key, TShiftState) {
    if (key == VK_SPACE) key = 0;
  });
  KeyDown(VK_SPACE);
  KeyUp(VK_SPACE);
  Settle();
  EXPECT_EQ(button->clicks, 0);
  button->OnKeyDown = nullptr;
  button->OnKeyUp = TKeyEvent([](TObject*, std::uint16_t& key, TShiftState) { key = 0; });
  KeyDown(VK_SPACE);
  KeyUp(VK_SPACE);
  Settle();
  EXPECT_EQ(button->clicks, 0);
  EXPECT_EQ(button->BevelOuter(), bvLowered) << "the release was never seen";
}

TEST_F(CuteButtonInput, MouseEnterAndLeave) {
  std::vector<std::string> events;
  button->OnMouseEnter = TMouseMoveEvent([&](TObject*, TShiftState s, int x, int y) {
    events.push_back("enter " + std::to_string(x) + "," + std::to_string(y) + (s.Contains(ssLeft) ? " left" : ""));
  });
  button->OnMouseLeave = TMouseMoveEvent([&](TObject*, TShiftState, int, int) { events.push_back("leave"); });
  RECT r = gui::ClientRectOnScreen(H(button));
  SetCursorPos(r.left + 7, r.top + 4);
  Post(WM_MOUSEMOVE, 0, MAKELPARAM(7, 4));
  Settle();
  ASSERT_EQ(events, std::vector<std::string>{"enter 7,4"}) << "cursor position in client coordinates";
  EXPECT_EQ(button->BevelOuter(), bvRaised);
  SetCursorPos(0, 0);
  PostMessageW(GetDesktopWindow(), WM_MOUSEMOVE, 0, 0);
  for (int i = 0; i < 100 && events.size() < 2; ++i) Settle(1);
  EXPECT_EQ(events, (std::vector<std::string>{"enter 7,4", "leave"}));
  EXPECT_EQ(button->BevelOuter(), bvNone) << "not focused";

  // The shift state decides the look on entering; leaving a focused button keeps it hot.
  button->MouseEnter(TShiftState{ssLeft}, 1, 1);
  EXPECT_EQ(button->BevelOuter(), bvLowered);
  button->SetFocus();
  Settle();
  button->MouseLeave({}, 0, 0);
  EXPECT_EQ(button->BevelOuter(), bvRaised);
  button->SetTabFocusUp(false);
  button->MouseLeave({}, 0, 0);
  EXPECT_EQ(button->BevelOuter(), bvNone);
}

TEST_F(CuteButtonInput, TheAcceleratorClicksUnlessDisabledOrHidden) {
  // Shift-JIS text before the mark: its trail bytes must not be read as characters.
  button->SetCaption("設定を&Xで実行");
  HWND focus = H(first);
  PostMessageW(focus, WM_CHAR, L'x', 1);
  Settle();
  EXPECT_EQ(button->clicks, 1);
  EXPECT_EQ(button->bevelAtClick.back(), bvLowered);
  EXPECT_EQ(button->BevelOuter(), bvRaised);
  PostMessageW(focus, WM_CHAR, L'X', 1);
  Settle();
  EXPECT_EQ(button->clicks, 2) << "compared without regard to case";
  PostMessageW(focus, WM_CHAR, L'g', 1);
  Settle();
  EXPECT_EQ(button->clicks, 2);

  button->SetEnabled(false);
  PostMessageW(focus, WM_CHAR, L'x', 1);
  Settle();
  EXPECT_EQ(button->clicks, 2) << "disabled";
  button->SetEnabled(true);
  panel->SetVisible(false);
  PostMessageW(focus, WM_CHAR, L'x', 1);
  Settle();
  EXPECT_EQ(button->clicks, 2) << "parent hidden";
  panel->SetVisible(true);

  button->SetCaption("A&&B");
  PostMessageW(focus, WM_CHAR, L'b', 1);
  Settle();
  EXPECT_EQ(button->clicks, 2) << "&& marks nothing";
}

TEST_F(CuteButtonInput, EgnoreContClickDropsClicksMadeWhileTheHandlerRuns) {
  for (bool ignore : {true, false}) {
    SCOPED_TRACE(ignore ? "EgnoreContClick" : "plain");
    int runs = 0;
    button->SetEgnoreContClick(ignore);
    button->OnClick = TNotifyEvent([&](TObject*) {
      if (++runs > 1) return;
      for (int i = 0; i < 3; ++i) gui::PostClick(H(button), 5, 5);
      for (int i = 0; i < 10; ++i) {
        Application->ProcessMessages();
        Sleep(5);
      }
    });
    gui::PostClick(H(button), 5, 5);
    Settle();
    EXPECT_EQ(runs, ignore ? 1 : 4);
    EXPECT_TRUE(static_cast<bool>(button->OnClick)) << "the handler is back";
    gui::PostClick(H(button), 5, 5);
    Settle();
    EXPECT_EQ(runs, ignore ? 2 : 5);
  }
}

TEST_F(CuteButtonInput, AHeldPressOpensTheMenuAfterTheDelayAtTheBottomLeftCorner) {
  TPopupMenu* menu = MakeMenu(form);
  button->SetDropDownMenu(menu);
  button->SetDropDownDelay(500);
  std::vector<std::string> ups;
  button->OnMouseUp = TMouseEvent([&](TObject*, TMouseButton b, TShiftState s, int x, int y) {
    ups.push_back(std::to_string(b) + (s.Empty() ? " {}" : " shift") + " " + std::to_string(x) + "," +
                  std::to_string(y));
  });

  // A short press clicks and leaves no timer behind.
  Post(WM_LBUTTONDOWN, MK_LBUTTON);
  Settle();
  ASSERT_NE(button->DropDownTimer(), nullptr);
  EXPECT_EQ(button->ComponentCount(), 1) << "the timer is the button's";
  Post(WM_LBUTTONUP);
  Settle();
  EXPECT_EQ(button->DropDownTimer(), nullptr);
  EXPECT_EQ(button->ComponentCount(), 0);
  EXPECT_EQ(button->clicks, 1);
  EXPECT_EQ(button->dropDowns, 0);

  // Held: the timer fires once, destroys itself and opens the menu; no click.
  RECT where{};
  ups.clear();
  int menus = WithMenuCloser(&where, [&] {
    Post(WM_LBUTTONDOWN, MK_LBUTTON);
    for (int i = 0; i < 400 && button->dropDowns == 0; ++i) Settle(1);
    Settle();
  });
  EXPECT_EQ(menus, 1);
  EXPECT_EQ(button->dropDowns, 1);
  EXPECT_EQ(button->DropDownTimer(), nullptr);
  EXPECT_EQ(button->ComponentCount(), 0) << "the timer destroyed itself";
  POINT corner{0, button->Height()};
  ClientToScreen(H(button), &corner);
  EXPECT_EQ(where.left, corner.x);
  EXPECT_EQ(where.top, corner.y);
  ASSERT_FALSE(ups.empty());
  EXPECT_EQ(ups.front(), "0 {} 0,0") << "the drop-down ends the press as a left release at (0, 0)";
  EXPECT_EQ(button->clicks, 1) << "no click with a drop-down";
  EXPECT_FALSE(button->MouseCapture()) << "the drop-down released the capture";
}

TEST_F(CuteButtonInput, PressKindsByMenuAndDelay) {
  TPopupMenu* menu = MakeMenu(form);
  button->SetDropDownMenu(menu);
  button->SetFocus();
  Settle();
  struct Case {
    const char* what;
    int delay;
    std::function<void()> press;
    int menus, clicks;
  };
  const std::vector<Case> cases = {
      {"delay 0, mouse", 0, [&] { gui::PostClick(H(button), 5, 5); }, 1, 0},
      {"delay 0, space", 0, [&] { KeyDown(VK_SPACE); KeyUp(VK_SPACE); }, 1, 0},
      {"delay 0, Enter", 0, [&] { KeyDown(VK_RETURN); }, 1, 0},
      {"negative delay, mouse", -1, [&] { gui::PostClick(H(button), 5, 5); }, 1, 0},
      {"negative delay, space", -1, [&] { KeyDown(VK_SPACE); KeyUp(VK_SPACE); }, 1, 0},
      {"negative delay, Enter", -1, [&] { KeyDown(VK_RETURN); }, 0, 1},
      {"positive delay, Enter", 300, [&] { KeyDown(VK_RETURN); }, 0, 1},
  };
  for (const Case& c : cases) {
    button->SetDropDownDelay(c.delay);
    const int clicksBefore = button->clicks;
    const int menus = WithMenuCloser(nullptr, [&] {
      c.press();
      Settle(20);
    });
    EXPECT_EQ(menus, c.menus) << c.what;
    EXPECT_EQ(button->clicks - clicksBefore, c.clicks) << c.what;
    EXPECT_FALSE(button->DropDownTimer()) << c.what;
  }
}

TEST_F(CuteButtonInput, ReleasingAnyKeyCancelsADelayedKeyboardDropDown) {
  button->SetDropDownMenu(MakeMenu(form));
  button->SetDropDownDelay(300);
  button->SetFocus();
  Settle();
  int menus = WithMenuCloser(nullptr, [&] {
    KeyDown(VK_SPACE);
    Settle();
    EXPECT_NE(button->DropDownTimer(), nullptr);
    KeyUp(VK_SHIFT);
    Settle();
    EXPECT_EQ(button->DropDownTimer(), nullptr);
    Sleep(400);
    Settle();
  });
  EXPECT_EQ(menus, 0);
  EXPECT_EQ(button->dropDowns, 0);

  // Held past the delay, the menu opens; the later real release clicks nothing.
  menus = WithMenuCloser(nullptr, [&] {
    KeyDown(VK_SPACE);
    for (int i = 0; i < 400 && button->dropDowns == 0; ++i) Settle(1);
    Settle();
  });
  EXPECT_EQ(menus, 1);
  KeyUp(VK_SPACE);
  Settle();
  EXPECT_EQ(button->clicks, 0);
  EXPECT_EQ(button->BevelOuter(), bvRaised);
}

namespace {

std::string Sjis(const std::string& utf8) { return text::FromUtf8(utf8).value(); }

class TExposedButton : public TCuteButton {
 public:
  using TCuteButton::TCuteButton;
  using TCuteButton::KeyDown;
  using TCuteButton::KeyUp;
  using TCuteButton::MouseUp;
  int dropDowns = 0;
  void DoDropDown() override {
    ++dropDowns;
    TCuteButton::DoDropDown();
  }
};

}  // namespace

// Without messages: the caption's accelerator, the click filters and the drop-down timer
// that destroys itself from its own handler.

TEST(CuteButtonAccelerator, MarksSkipsDoubleByteCharactersAndLiteralAmpersands) {
  EXPECT_EQ(CaptionAccelerator("&OK"), 'O');
  EXPECT_EQ(CaptionAccelerator("Save &as"), 'a');
  EXPECT_EQ(CaptionAccelerator("no mark"), std::nullopt);
  EXPECT_EQ(CaptionAccelerator("A&&B"), std::nullopt) << "&& is a literal ampersand";
  EXPECT_EQ(CaptionAccelerator("A&&&B"), 'B');
  EXPECT_EQ(CaptionAccelerator("trailing&"), std::nullopt) << "a mark needs a character after it";
  EXPECT_EQ(CaptionAccelerator("&A then &B"), 'B') << "a later mark replaces an earlier one";
  EXPECT_EQ(CaptionAccelerator(""), std::nullopt);
  // "はい(&Y)": the marked character follows double-byte text.
  EXPECT_EQ(CaptionAccelerator(Sjis("はい(&Y)")), 'Y');
  // "ソ" is 0x83 0x5C and "表" 0x95 0x5C: trail bytes in the ASCII range, skipped with
  // their lead bytes.
  EXPECT_EQ(CaptionAccelerator(Sjis("ソ表&Z")), 'Z');
  // A trail byte in the ASCII range is never a mark: "＆" (0x81 0x95) is not "&".
  EXPECT_EQ(CaptionAccelerator(Sjis("＆X")), std::nullopt);
  // Half-width katakana are single bytes and can be marked.
  EXPECT_EQ(CaptionAccelerator(Sjis("&ｱ")), static_cast<unsigned char>(Sjis("ｱ")[0]));
}

TEST(CuteButtonClick, SuppressedOnceDuringADropDownAndEgnoreContClickRestoresTheHandler) {
  TExposedButton b(nullptr);
  int clicks = 0;
  b.OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
  b.Click();
  EXPECT_EQ(clicks, 1);

  b.SetEgnoreContClick(true);
  int nested = 0;
  b.OnClick = TNotifyEvent([&](TObject*) {
    ++clicks;
    EXPECT_FALSE(static_cast<bool>(b.OnClick)) << "detached while it runs";
    b.Click();  // a click that arrives meanwhile
    ++nested;
  });
  b.Click();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(nested, 1);
  EXPECT_TRUE(static_cast<bool>(b.OnClick)) << "attached again afterwards";

  // A handler that throws (the framework shows the error and goes on) leaves the button
  // clickable.
  int thrown = 0;
  b.OnClick = TNotifyEvent([&](TObject*) {
    ++thrown;
    throw std::runtime_error("handler failed");
  });
  EXPECT_THROW(b.Click(), std::runtime_error);
  EXPECT_TRUE(static_cast<bool>(b.OnClick)) << "attached again after an exception";
  EXPECT_THROW(b.Click(), std::runtime_error);
  EXPECT_EQ(thrown, 2);

  // A space press with a menu and no delay drops down at once; the key up that ends it finds
  // the space press still on and clicks, which the drop-down swallows.
  TPopupMenu menu(nullptr);
  b.SetEgnoreContClick(false);
  b.OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
  b.SetDropDownMenu(&menu);
  std::uint16_t space = 32;
  b.KeyDown(space, {});
  EXPECT_EQ(b.dropDowns, 1);
  EXPECT_EQ(clicks, 2);
  space = 32;
  b.KeyUp(space, {});
  EXPECT_EQ(clicks, 2) << "the real release finds no space press";
  b.Click();
  EXPECT_EQ(clicks, 3) << "the swallowing ends with the drop-down";
  b.SetDropDownMenu(nullptr);
}

TEST(CuteButtonTimer, TheDelayedDropDownTimerDestroysItselfFromItsOwnHandler) {
  TPopupMenu menu(nullptr);
  int popups = 0;
  menu.OnPopup = TNotifyEvent([&](TObject*) { ++popups; });
  TExposedButton b(nullptr);
  b.SetDropDownMenu(&menu);
  b.SetDropDownDelay(250);
  std::uint16_t space = 32;
  b.KeyDown(space, {});
  TCuteButtonTimer* timer = b.DropDownTimer();
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->FCuteButton, &b);
  EXPECT_EQ(timer->Interval(), 250u);
  EXPECT_EQ(timer->Owner(), &b);
  b.BeginDropDown();
  EXPECT_EQ(b.DropDownTimer(), timer) << "one pending drop-down at a time";
  EXPECT_EQ(b.ComponentCount(), 1);

  timer->Timer();  // what the timer's expiry runs
  EXPECT_EQ(b.DropDownTimer(), nullptr);
  EXPECT_EQ(b.ComponentCount(), 0) << "the timer is gone";
  EXPECT_EQ(b.dropDowns, 1) << "a keyboard press drops down when the timer fires";
  EXPECT_EQ(popups, 1);

  // Any key up ends a pending press; a mouse up too.
  b.KeyDown(space, {});
  ASSERT_NE(b.DropDownTimer(), nullptr);
  std::uint16_t shift = 16;
  b.KeyUp(shift, {});
  EXPECT_EQ(b.DropDownTimer(), nullptr);
  b.KeyDown(space, {});
  ASSERT_NE(b.DropDownTimer(), nullptr);
  b.MouseUp(mbRight, {}, 0, 0);
  EXPECT_EQ(b.DropDownTimer(), nullptr);
  // A pending timer goes with its button.
  b.KeyDown(space, {});
  EXPECT_NE(b.DropDownTimer(), nullptr);
  b.SetDropDownMenu(nullptr);
}

TEST(CuteButtonClick, AHandlerMayDestroyTheButton) {
  // A close button's handler can free its form and with it the button, while the button's
  // own code (the click filter, Enter's release look) is still on the stack.
  for (bool ignore : {true, false}) {
    auto* b = new TExposedButton(nullptr);
    b->SetEgnoreContClick(ignore);
    int runs = 0;
    b->OnClick = TNotifyEvent([&](TObject*) {
      ++runs;
      delete b;
    });
    std::uint16_t enter = 13;
    b->KeyDown(enter, {});
    EXPECT_EQ(runs, 1);
  }
}
