// TCuteButton without windows: the caption's accelerator, the click filters and the drop-down
// timer that destroys itself from its own handler (checked for use after free under ASan).
#include <gtest/gtest.h>

#include <stdexcept>

#include <string>

#include "components/CuteBtn.h"
#include "text/CodePage.h"

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
