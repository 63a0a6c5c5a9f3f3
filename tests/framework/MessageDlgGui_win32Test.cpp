// The message dialog on a real window: title, icon, text, buttons, and what each way of
// closing it returns. The dialog runs on this thread; a driver thread reads and closes it.
#include <gtest/gtest.h>

#include <windows.h>

#include <future>

#include "GuiDriver.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"

namespace {

struct Seen {
  bool found = false;
  std::string text;
  int textHeight = 0;
  std::vector<std::string> buttons;
  HICON icon = nullptr;
  RECT rect{};
  std::string focused;
  bool ownerDisabled = false;
};

// Shows the dialog; `act` runs on the driver thread with the dialog's window.
TModalResult ShowDialog(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons, Seen& seen,
                 const std::function<void(HWND)>& act, HWND owner = nullptr) {
  std::string title = MsgDlgTitle(kind);
  gui::DriverThread driver([&] {
    HWND dlg = gui::WaitForTopLevel("TMessageForm", title, 30000);
    if (!dlg) return;
    seen.found = true;
    GetWindowRect(dlg, &seen.rect);
    if (owner) seen.ownerDisabled = !IsWindowEnabled(owner);
    for (const gui::ChildInfo& c : gui::Children(dlg)) {
      if (c.className == "Button") seen.buttons.push_back(c.text);
      if (c.className == "Static" && (c.style & SS_TYPEMASK) == SS_ICON)
        seen.icon = reinterpret_cast<HICON>(SendMessageW(c.hwnd, STM_GETICON, 0, 0));
      else if (c.className == "Static") {
        seen.text = c.text;
        seen.textHeight = c.rect.bottom - c.rect.top;
      }
    }
    GUITHREADINFO gi{};
    gi.cbSize = sizeof gi;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gi) && gi.hwndFocus) seen.focused = gui::GetText(gi.hwndFocus);
    act(dlg);
  });
  TModalResult r = MessageDlg(text, kind, buttons);
  driver.Join();
  return r;
}

HWND Focused(HWND dlg) {
  GUITHREADINFO gi{};
    gi.cbSize = sizeof gi;
  GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gi);
  return gi.hwndFocus ? gi.hwndFocus : dlg;
}

}  // namespace

TEST(MessageDlg, EachKindHasItsTitleIconTextButtonsAndWaysOfClosing) {
  struct Case {
    TMsgDlgType kind;
    const wchar_t* icon;
    const char* title;
  } cases[] = {{mtWarning, IDI_WARNING, "警告"},
               {mtError, IDI_ERROR, "エラー"},
               {mtInformation, IDI_INFORMATION, "情報"},
               {mtConfirmation, IDI_QUESTION, "確認"}};
  const std::string text = "一行目\r\n二行目\n\r三行目\r\r四行目";
  const TMsgDlgButtons all{mbYes, mbNo, mbOK, mbCancel, mbAbort};
  struct Way {
    const char* name;
    std::function<void(HWND)> act;
    TModalResult result;
  } ways[] = {
      {"press Yes", [](HWND dlg) { gui::PressButton(dlg, "はい(&Y)"); }, mrYes},
      {"Enter on the default button", [](HWND dlg) { gui::PostKey(Focused(dlg), VK_RETURN); }, mrOk},
      {"Esc", [](HWND dlg) { gui::PostKey(Focused(dlg), VK_ESCAPE); }, mrCancel},
      {"close box", [](HWND dlg) { PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); }, mrCancel},
  };
  for (const Case& c : cases) {
    for (const Way& way : ways) {
      Seen seen;
      TModalResult r = ShowDialog(text, c.kind, all, seen, way.act);
      ASSERT_TRUE(seen.found) << c.title << ", " << way.name;
      EXPECT_EQ(r, way.result) << c.title << ", " << way.name;
      EXPECT_EQ(MsgDlgTitle(c.kind), c.title);
      EXPECT_EQ(seen.icon, LoadIconW(nullptr, c.icon)) << c.title;
      EXPECT_EQ(seen.text, text);
      EXPECT_EQ(seen.buttons, (std::vector<std::string>{"はい(&Y)", "いいえ(&N)", "OK", "キャンセル", "中止(&A)"}));
      EXPECT_EQ(seen.focused, "OK") << "the default button starts with the focus";
      int cx = (seen.rect.left + seen.rect.right) / 2, cy = (seen.rect.top + seen.rect.bottom) / 2;
      EXPECT_NEAR(cx, GetSystemMetrics(SM_CXSCREEN) / 2, 1) << "centred";
      EXPECT_NEAR(cy, GetSystemMetrics(SM_CYSCREEN) / 2, 1) << "centred";
    }
  }
}

TEST(MessageDlg, EachButtonReturnsItsResult) {
  struct Case {
    TMsgDlgBtn button;
    TModalResult result;
  } cases[] = {{mbYes, mrYes}, {mbNo, mrNo}, {mbOK, mrOk}, {mbCancel, mrCancel}, {mbAbort, mrAbort}};
  for (const Case& c : cases) {
    Seen seen;
    std::string caption = MsgDlgButtonCaption(c.button);
    TModalResult r = ShowDialog("?", mtConfirmation, {mbYes, mbNo, mbOK, mbCancel, mbAbort}, seen,
                         [&](HWND dlg) { EXPECT_TRUE(gui::PressButton(dlg, caption)); });
    EXPECT_EQ(r, c.result) << caption;
  }
}

TEST(MessageDlg, SingleUnusualButtonsAndEveryOtherWayOfClosing) {
  // Only Yes: Enter presses it; Esc and the close box give something that is not consent.
  Seen s1;
  EXPECT_EQ(ShowDialog("x", mtError, {mbYes}, s1, [](HWND dlg) { gui::PostKey(Focused(dlg), VK_RETURN); }), mrYes);
  EXPECT_EQ(s1.buttons, std::vector<std::string>{"はい(&Y)"});
  Seen s2;
  EXPECT_NE(ShowDialog("x", mtConfirmation, {mbYes}, s2, [](HWND dlg) { gui::PostKey(Focused(dlg), VK_ESCAPE); }), mrYes);
  Seen s3;
  EXPECT_NE(ShowDialog("x", mtConfirmation, {mbYes}, s3, [](HWND dlg) { PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); }),
            mrYes);
  // Only Abort: it is the default button too.
  Seen s4;
  EXPECT_EQ(ShowDialog("x", mtInformation, {mbAbort}, s4, [](HWND dlg) { gui::PostKey(Focused(dlg), VK_RETURN); }), mrAbort);
  EXPECT_EQ(s4.buttons, std::vector<std::string>{"中止(&A)"});
  // Yes and No: Esc answers No, the close box Cancel, the accelerator N answers No.
  Seen s5;
  EXPECT_EQ(ShowDialog("x", mtConfirmation, {mbYes, mbNo}, s5, [](HWND dlg) { gui::PostKey(Focused(dlg), VK_ESCAPE); }), mrNo);
  Seen s6;
  EXPECT_EQ(ShowDialog("x", mtConfirmation, {mbYes, mbNo}, s6, [](HWND dlg) { PostMessageW(dlg, WM_CLOSE, 0, 0); }), mrCancel);
  Seen s7;
  EXPECT_EQ(ShowDialog("x", mtConfirmation, {mbYes, mbNo}, s7, [](HWND dlg) { gui::PostChar(Focused(dlg), L'n'); }), mrNo);
  EXPECT_EQ(s7.focused, "はい(&Y)");
}

TEST(MessageDlg, TextKeepsItsLineBreaksAndTheOwnerIsDisabled) {
  Application->Initialize();
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  SetActiveWindow(owner);
  std::string text = "一行目\r\n二行目\n\r三行目\r\r四行目";
  Seen one, many;
  ShowDialog("一行目", mtWarning, {mbOK}, one, [](HWND dlg) { gui::PressButton(dlg, "OK"); }, owner);
  ShowDialog(text, mtWarning, {mbOK}, many, [](HWND dlg) { gui::PressButton(dlg, "OK"); }, owner);
  EXPECT_EQ(many.text, text);  // shown as given: the static control breaks the lines
  EXPECT_TRUE(many.ownerDisabled);
  EXPECT_TRUE(IsWindowEnabled(owner)) << "enabled again after the dialog";
  // Each of the three kinds of break starts a new line: four lines at least.
  EXPECT_GT(one.textHeight, 8);
  EXPECT_GE(many.textHeight, 4 * one.textHeight);
  EXPECT_GT(many.rect.bottom - many.rect.top, one.rect.bottom - one.rect.top);
  DestroyWindow(owner);
}

TEST(MessageDlg, APlainBoxCarriesTheApplicationTitleAndNoIcon) {
  const std::string saved = Application->Title();
  Application->SetTitle("Norvex アップデートプログラム");
  bool found = false;
  bool hasIcon = false;
  std::string text;
  gui::DriverThread driver([&] {
    HWND dlg = gui::WaitForTopLevel("TMessageForm", "Norvex アップデートプログラム", 30000);
    if (!dlg) return;
    found = true;
    for (const gui::ChildInfo& c : gui::Children(dlg)) {
      if (c.className == "Static" && (c.style & SS_TYPEMASK) == SS_ICON) hasIcon = true;
      else if (c.className == "Static") text = c.text;
    }
    gui::PressButton(dlg, "OK");
  });
  const std::string message = "トヴォテーブルの更新に失敗しました\r\rエンジンの文";
  EXPECT_EQ(MessageDlg(message, mtCustom, {mbOK}), mrOk);
  driver.Join();
  Application->SetTitle(saved);
  EXPECT_TRUE(found) << "no message box titled with the application title";
  EXPECT_FALSE(hasIcon);
  EXPECT_EQ(text, message);
}
