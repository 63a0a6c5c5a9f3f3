// What a custom control gets from the framework on real windows: the order of mouse-down,
// click and mouse-up with the capture, double clicks, keys, accelerators offered by the form,
// focus, mouse enter and leave, painting with the panel's bevels, and popup menus.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>


#include "GuiDriver.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"

namespace {

class TProbe : public TCustomPanel {
 public:
  TProbe(TComponent* owner, std::vector<std::string>* log, char accel) : TCustomPanel(owner), log_(log), accel_(accel) {
    SetTabStop(true);
  }
  bool captureAtDown = false;
  int paints = 0;
  void* dcDuringPaint = nullptr;

  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    captureAtDown = MouseCapture();
    Log("down " + std::to_string(b) + (s.Contains(ssDouble) ? " double" : ""));
    TCustomPanel::MouseDown(b, s, x, y);
  }
  void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
    Log("up " + std::to_string(b));
    TCustomPanel::MouseUp(b, s, x, y);
  }
  void Click() override {
    Log("click");
    TCustomPanel::Click();
  }
  void DblClick() override { Log("dblclick"); }
  void KeyDown(std::uint16_t& key, TShiftState s) override {
    TCustomPanel::KeyDown(key, s);
    Log("keydown " + std::to_string(key));
  }
  void KeyUp(std::uint16_t& key, TShiftState s) override {
    TCustomPanel::KeyUp(key, s);
    Log("keyup " + std::to_string(key));
  }
  void DoEnter() override { Log("enter"); }
  void DoExit() override { Log("exit"); }
  void CMMouseEnter() override { Log("mouseenter"); }
  void CMMouseLeave() override { Log("mouseleave"); }
  bool CMDialogChar(unsigned ch) override {
    if (std::tolower(static_cast<int>(ch)) != accel_) return false;
    Log(std::string("accel ") + accel_);
    return true;
  }

 protected:
  void Paint() override {
    ++paints;
    dcDuringPaint = Canvas()->Handle();
    TCustomPanel::Paint();
  }

 private:
  void Log(const std::string& s) { log_->push_back(Name() + " " + s); }
  std::vector<std::string>* log_;
  char accel_;
};

class ControlInput : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetClientSize(300, 200);
    form->SetPosition(poScreenCenter);
    a = new TProbe(form, &log, 'y');
    a->SetName("A");
    a->SetBounds(10, 10, 100, 40);
    a->SetParent(form);
    b = new TProbe(form, &log, 'n');
    b->SetName("B");
    b->SetBounds(10, 60, 100, 40);
    b->SetParent(form);
    edit = new TEdit(form);
    edit->SetBounds(10, 110, 100, 21);
    edit->SetParent(form);
    form->Show();
    gui::Pump(150);
    log.clear();
  }
  void TearDown() override { delete form; }
  void Settle() {
    for (int i = 0; i < 5; ++i) {
      Application->ProcessMessages();
      Sleep(5);
    }
  }
  HWND H(TWinControl* c) { return static_cast<HWND>(c->Handle()); }
  std::vector<std::string> log;
  TForm* form = nullptr;
  TProbe* a = nullptr;
  TProbe* b = nullptr;
  TEdit* edit = nullptr;
};

}  // namespace

TEST_F(ControlInput, ALeftPressCapturesAndTheClickComesBeforeTheMouseUp) {
  int clicks = 0;
  a->OnClick = TNotifyEvent([&](TObject* s) {
    EXPECT_EQ(s, a);
    EXPECT_FALSE(a->MouseCapture()) << "the capture is released before the click";
    ++clicks;
  });
  gui::PostClick(H(a), 5, 5);
  Settle();
  EXPECT_TRUE(a->captureAtDown);
  EXPECT_EQ(log, (std::vector<std::string>{"A down 0", "A click", "A up 0"}));
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(a->MouseCapture());

  log.clear();
  PostMessageW(H(a), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageW(H(a), WM_LBUTTONUP, 0, MAKELPARAM(500, 5));  // released outside
  Settle();
  EXPECT_EQ(log, (std::vector<std::string>{"A down 0", "A up 0"}));

  log.clear();
  PostMessageW(H(a), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  PostMessageW(H(a), WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
  Settle();
  EXPECT_EQ(log, (std::vector<std::string>{"A down 1", "A up 1"}));
}

TEST_F(ControlInput, WithoutDoubleClicksTheSecondPressIsAPlainPress) {
  PostMessageW(H(a), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageW(H(a), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  Settle();
  EXPECT_EQ(log, (std::vector<std::string>{"A dblclick", "A down 0 double", "A click", "A up 0"}));
  log.clear();
  b->ControlStyle().Exclude(csDoubleClicks);
  PostMessageW(H(b), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageW(H(b), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  Settle();
  EXPECT_EQ(log, (std::vector<std::string>{"B down 0", "B click", "B up 0"}));
}

TEST_F(ControlInput, KeysFocusAndAcceleratorsOfferedByTheForm) {
  EXPECT_EQ(GetFocus(), H(a)) << "the first control in tab order has the focus from the start";
  b->SetFocus();
  Settle();
  EXPECT_EQ(log, (std::vector<std::string>{"A exit", "B enter"}));
  EXPECT_EQ(form->ActiveControl(), b);
  log.clear();
  b->OnKeyDown = TKeyEvent([](TObject*, std::uint16_t& key, TShiftState) {
    if (key == 'X') key = 0;
  });
  gui::PostKey(H(b), VK_SPACE);
  gui::PostKey(H(b), 'X');
  Settle();
  EXPECT_EQ(log, (std::vector<std::string>{"B keydown 32", "B keyup 32", "B keydown 0", "B keyup 88"}));
  // A typed character goes to the accelerators when the focused control takes no text.
  log.clear();
  gui::PostChar(H(b), L'Y');
  Settle();
  EXPECT_EQ(log, std::vector<std::string>{"A accel y"});
  log.clear();
  edit->SetFocus();
  Settle();
  log.clear();
  gui::PostChar(H(edit), L'y');
  Settle();
  EXPECT_TRUE(log.empty()) << "an edit keeps its characters";
  EXPECT_EQ(edit->GetText(), "y");
}

TEST_F(ControlInput, MouseEnterAndLeaveFollowThePointer) {
  RECT r = gui::ClientRectOnScreen(H(a));
  SetCursorPos(r.left + 5, r.top + 5);
  PostMessageW(H(a), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  Settle();
  ASSERT_EQ(log, std::vector<std::string>{"A mouseenter"});
  SetCursorPos(0, 0);
  PostMessageW(GetDesktopWindow(), WM_MOUSEMOVE, 0, 0);
  for (int i = 0; i < 100 && log.size() < 2; ++i) {
    Application->ProcessMessages();
    Sleep(10);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"A mouseenter", "A mouseleave"}));
}

TEST_F(ControlInput, ThePanelPaintsItsBevelsOnItsCanvas) {
  a->SetBevelOuter(bvRaised);
  a->SetBevelWidth(1);
  a->SetColor(clBtnFace);
  int before = a->paints;
  a->Repaint();
  EXPECT_GT(a->paints, before);
  EXPECT_NE(a->dcDuringPaint, nullptr);
  gui::Pump(50);
  int w = 0, h = 0;
  std::vector<unsigned char> px = gui::CaptureClient(H(a), w, h);
  ASSERT_EQ(w, 100);
  ASSERT_EQ(h, 40);
  auto rgb = [&](int x, int y) {
    const unsigned char* p = &px[(static_cast<std::size_t>(y) * w + x) * 3];
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
  };
  std::uint32_t hi = ColorToRGB(clBtnHighlight), sh = ColorToRGB(clBtnShadow), face = ColorToRGB(clBtnFace);
  ASSERT_NE(hi, sh);
  EXPECT_EQ(rgb(0, 0), hi);
  EXPECT_EQ(rgb(50, 0), hi);
  EXPECT_EQ(rgb(0, 20), hi);
  EXPECT_EQ(rgb(99, 20), sh);
  EXPECT_EQ(rgb(50, 39), sh);
  EXPECT_EQ(rgb(99, 0), sh) << "top-right corner takes the bottom-right colour";
  EXPECT_EQ(rgb(0, 39), sh) << "bottom-left corner too";
  EXPECT_EQ(rgb(5, 5), face);
}

TEST_F(ControlInput, APopupMenuRunsTheChosenItemAndReturns) {
  auto* menu = new TPopupMenu(form);
  int chosen = 0;
  for (const char* cap : {"一つ目", "二つ目"}) {
    auto* item = new TMenuItem(form);
    item->SetCaption(cap);
    item->OnClick = TNotifyEvent([&, cap](TObject*) { chosen = std::string(cap) == "二つ目" ? 2 : 1; });
    menu->Items()->Add(item);
  }
  bool seen = false;
  gui::DriverThread driver([&] {
    HWND m = gui::WaitForTopLevel("#32768", "", 30000);
    if (!m) return;
    seen = true;
    Sleep(100);
    PostMessageW(m, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(m, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(m, WM_KEYDOWN, VK_RETURN, 0);
  });
  RECT r = gui::ClientRectOnScreen(H(a));
  menu->Popup(r.left, r.bottom);
  driver.Join();
  ASSERT_TRUE(seen) << "no menu window appeared";
  EXPECT_EQ(chosen, 2);
}

TEST_F(ControlInput, AControlThatShowsItsHintHasATooltip) {
  auto* c = new TProbe(form, &log, 'q');
  c->SetName("C");
  c->SetBounds(150, 10, 100, 40);
  c->SetHint("セットアップを終了します.");
  c->SetShowHint(true);
  auto* quiet = new TProbe(form, &log, 'r');
  quiet->SetName("D");
  quiet->SetBounds(150, 60, 100, 40);
  quiet->SetHint("shown only when asked");
  c->SetParent(form);
  quiet->SetParent(form);  // the form does not show hints, so neither does D
  HWND tips = nullptr;
  for (HWND h : gui::FindTopLevels("tooltips_class32", ""))
    if (SendMessageW(h, TTM_GETTOOLCOUNT, 0, 0) > 0) tips = h;
  ASSERT_NE(tips, nullptr);
  auto textOf = [&](HWND tool) {
    wchar_t buf[256] = {};
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    ti.hwnd = H(form);
    ti.uId = reinterpret_cast<UINT_PTR>(tool);
    ti.lpszText = buf;
    SendMessageW(tips, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
    return std::wstring(buf);
  };
  EXPECT_EQ(textOf(H(c)), L"セットアップを終了します.");
  EXPECT_EQ(textOf(H(quiet)), L"");
}
