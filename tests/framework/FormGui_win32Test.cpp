// A form built from its embedded form resource, on real windows under the platform: layout,
// focus and tab order, clicks, the application's error box, progress bars, timers, the
// hourglass, and a screenshot.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <filesystem>

#include "GuiDriver.h"
#include "TestPaths.h"
#include "framework/ClassBuilder.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "os/WinHandles.h"

class TAllKindsForm : public TForm {
  FW_CLASS(TAllKindsForm, TForm)
  explicit TAllKindsForm(TComponent* owner) : TForm(owner) {}
  TImage* Image1 = nullptr;
  TLabel* Label5 = nullptr;
  TLabel* Label4 = nullptr;
  TEdit* NewVerEdit = nullptr;
  TListBox* ListBox1 = nullptr;
  TProgressBar* ProgressBar1 = nullptr;
  TPanel* Panel1 = nullptr;
  TEdit* Edit2 = nullptr;
  TTimer* Timer1 = nullptr;
  int created = 0, closed = 0, clicks = 0, ticks = 0;
  enum { kNothing, kThrow, kAbort } onClick = kNothing;
  void FormCreate(TObject*) { ++created; }
  void FormClose(TObject*, TCloseAction&) { ++closed; }
  void PanelClick(TObject*) {
    ++clicks;
    if (onClick == kThrow) throw Exception("ファイルがありません");
    if (onClick == kAbort) Abort();
  }
  void TimerTick(TObject*) {
    ++ticks;
    delete Timer1;  // from its own handler
  }
};

const TClassInfo& TAllKindsForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TAllKindsForm>("TAllKindsForm", &TForm::StaticClass())
                                     .Field("Image1", &TAllKindsForm::Image1)
                                     .Field("Label5", &TAllKindsForm::Label5)
                                     .Field("Label4", &TAllKindsForm::Label4)
                                     .Field("NewVerEdit", &TAllKindsForm::NewVerEdit)
                                     .Field("ListBox1", &TAllKindsForm::ListBox1)
                                     .Field("ProgressBar1", &TAllKindsForm::ProgressBar1)
                                     .Field("Panel1", &TAllKindsForm::Panel1)
                                     .Field("Edit2", &TAllKindsForm::Edit2)
                                     .Field("Timer1", &TAllKindsForm::Timer1)
                                     .Method("FormCreate", &TAllKindsForm::FormCreate)
                                     .Method("FormClose", &TAllKindsForm::FormClose)
                                     .Method("PanelClick", &TAllKindsForm::PanelClick)
                                     .Method("TimerTick", &TAllKindsForm::TimerTick)
                                     .Build();
  return info;
}

namespace {

class FormGui : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    Application->SetTitle("Norvex アップデートプログラム");
    form = CreateFormFromResource<TAllKindsForm>(Application);
    Application->SetMainForm(form);
    form->Show();
    hwnd = static_cast<HWND>(form->Handle());
    gui::Pump(200);
  }
  void TearDown() override {
    Application->SetMainForm(nullptr);
    delete form;
  }
  HWND Child(const std::string& text, const std::string& cls) { return gui::FindChildByText(hwnd, text, cls); }
  TAllKindsForm* form = nullptr;
  HWND hwnd = nullptr;
};

RECT RectIn(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

TEST_F(FormGui, BuiltFromItsResourceWithEveryControlInPlace) {
  EXPECT_EQ(form->created, 1);
  ASSERT_TRUE(form->Image1 && form->Label5 && form->NewVerEdit && form->ListBox1 && form->Panel1);
  EXPECT_EQ(gui::GetText(hwnd), "「Norvex」アップデート");
  RECT rc;
  GetClientRect(hwnd, &rc);
  EXPECT_EQ(rc.right, 494);
  EXPECT_EQ(rc.bottom, 314);
  RECT wr;
  GetWindowRect(hwnd, &wr);
  EXPECT_NEAR((wr.left + wr.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1) << "poScreenCenter overrides 213, 120";
  EXPECT_NEAR((wr.top + wr.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(style & WS_THICKFRAME);

  HWND label = Child("Norvexのアップデートプログラム", "Static");
  ASSERT_NE(label, nullptr);
  RECT lr = RectIn(hwnd, label);
  EXPECT_EQ(lr.left, 96);
  EXPECT_EQ(lr.top, 16);
  EXPECT_EQ(lr.right - lr.left, 299);
  EXPECT_EQ(lr.bottom - lr.top, 21);
  EXPECT_TRUE(IsWindowVisible(label));
  HWND hidden = Child("It's #'quoted' and long joined", "Static");
  ASSERT_NE(hidden, nullptr);
  EXPECT_FALSE(IsWindowVisible(hidden));
  // Label4 sizes itself to its text in its own font, whatever the stored size.
  {
    win32::WindowDc dc(hidden);
    SIZE sz{};
    {
      win32::Selection font(dc.Get(), static_cast<HFONT>(form->Label4->Font()->Handle()));
      std::wstring t = L"It's #'quoted' and long joined";
      GetTextExtentPoint32W(dc.Get(), t.c_str(), static_cast<int>(t.size()), &sz);
    }
    RECT hr = RectIn(hwnd, hidden);
    EXPECT_EQ(hr.left, 112);
    EXPECT_EQ(hr.right - hr.left, sz.cx);
    EXPECT_EQ(hr.bottom - hr.top, sz.cy);
    EXPECT_EQ(form->Label4->Width(), sz.cx);
  }

  HWND edit = Child("19436", "Edit");
  ASSERT_NE(edit, nullptr);
  EXPECT_FALSE(IsWindowVisible(edit));
  RECT er = RectIn(hwnd, edit);
  EXPECT_EQ(er.left, 348);
  EXPECT_EQ(er.top, 132);
  EXPECT_EQ(form->NewVerEdit->GetText(), "19436");
  HWND list = static_cast<HWND>(form->ListBox1->Handle());
  ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
  wchar_t item[64] = {};
  SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(std::wstring(item), L"N_UpDate120502.lzh");
  EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), 12);

  // The picture fills the client area, stretched: the gradient runs red at the top to blue
  // at the bottom.
  gui::Pump(100);
  int w = 0, h = 0;
  std::vector<unsigned char> px = gui::CaptureClient(hwnd, w, h);
  ASSERT_EQ(w, 494);
  auto at = [&](int x, int y) { return &px[(static_cast<std::size_t>(y) * w + x) * 3]; };
  EXPECT_GT(at(4, 2)[0], at(4, 2)[2] + 100) << "red at the top";
  EXPECT_GT(at(4, 310)[2], at(4, 310)[0] + 100) << "blue at the bottom";
  std::filesystem::path png = testing_support::BinaryDir() / "framework-form.png";
  ASSERT_TRUE(gui::SaveWindowPng(hwnd, png.string()));
  std::string bytes = testing_support::ReadFileBytes(png);
  EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST_F(FormGui, FocusStartsOnTheFirstTabStopAndTabSkipsHiddenControls) {
  HWND panel = static_cast<HWND>(form->Panel1->Handle());
  HWND edit2 = static_cast<HWND>(form->Edit2->Handle());
  EXPECT_EQ(GetFocus(), panel) << "ListBox1 and NewVerEdit come first but are hidden";
  EXPECT_EQ(form->ActiveControl(), form->Panel1);
  gui::PostKey(panel, VK_TAB);
  for (int i = 0; i < 20 && GetFocus() != edit2; ++i) {
    Application->ProcessMessages();
    Sleep(10);
  }
  EXPECT_EQ(GetFocus(), edit2);
  gui::PostKey(edit2, VK_TAB);
  for (int i = 0; i < 20 && GetFocus() != panel; ++i) {
    Application->ProcessMessages();
    Sleep(10);
  }
  EXPECT_EQ(GetFocus(), panel);
}

TEST_F(FormGui, AClickRunsTheHandlerAndEscapingErrorsGetTheErrorBox) {
  HWND panel = static_cast<HWND>(form->Panel1->Handle());
  gui::PostClick(panel, 10, 10);
  Application->ProcessMessages();
  EXPECT_EQ(form->clicks, 1);

  // An error escaping the handler: the standard error box, captioned with the title.
  form->onClick = TAllKindsForm::kThrow;
  std::string boxText;
  gui::DriverThread driver([&] {
    HWND box = gui::WaitForTopLevel("", "Norvex アップデートプログラム", 30000);
    if (!box) return;
    for (const gui::ChildInfo& c : gui::Children(box))
      if (c.className == "Static" && !c.text.empty()) boxText = c.text;
    gui::PressButton(box, "OK");
  });
  gui::PostClick(panel, 10, 10);
  for (int i = 0; i < 100 && form->clicks < 2; ++i) {
    Application->ProcessMessages();
    Sleep(10);
  }
  driver.Join();
  EXPECT_EQ(form->clicks, 2);
  EXPECT_EQ(boxText, "ファイルがありません.");
  EXPECT_TRUE(IsWindow(hwnd) && IsWindowVisible(hwnd)) << "the window stays open";

  // EAbort: nothing is shown.
  form->onClick = TAllKindsForm::kAbort;
  gui::PostClick(panel, 10, 10);
  Application->ProcessMessages();
  gui::Pump(300);
  EXPECT_EQ(form->clicks, 3);
  EXPECT_EQ(gui::FindTopLevel("", "Norvex アップデートプログラム"), nullptr);
}

TEST_F(FormGui, ProgressBarPastItsMaximumStaysFull) {
  TProgressBar* bar = form->ProgressBar1;
  HWND h = static_cast<HWND>(bar->Handle());
  EXPECT_EQ(SendMessageW(h, PBM_GETRANGE, FALSE, 0), 10);
  EXPECT_EQ(SendMessageW(h, PBM_GETPOS, 0, 0), 3);
  bar->StepBy(5);
  EXPECT_EQ(SendMessageW(h, PBM_GETPOS, 0, 0), 8);
  bar->StepBy(5);
  bar->StepBy(3);
  EXPECT_EQ(bar->Position(), 10);
  EXPECT_EQ(SendMessageW(h, PBM_GETPOS, 0, 0), 10);
  bar->SetMax(20);
  EXPECT_EQ(SendMessageW(h, PBM_GETRANGE, FALSE, 0), 20);
  EXPECT_EQ(SendMessageW(h, PBM_GETPOS, 0, 0), 10);
}

TEST_F(FormGui, ATimerMayDestroyItselfFromItsHandler) {
  ASSERT_NE(form->Timer1, nullptr);
  EXPECT_FALSE(form->Timer1->Enabled());
  form->Timer1->SetInterval(20);
  form->Timer1->SetEnabled(true);
  for (int i = 0; i < 100 && form->ticks == 0; ++i) gui::Pump(10);
  gui::Pump(100);
  EXPECT_EQ(form->ticks, 1);
  EXPECT_EQ(form->Timer1, nullptr);
}

TEST_F(FormGui, TheHourglassAndClosingTheMainForm) {
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  Screen->SetCursor(crDefault);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));

  PostMessageW(hwnd, WM_CLOSE, 0, 0);
  Application->ProcessMessages();
  EXPECT_EQ(form->closed, 1);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(IsWindowVisible(hwnd));
}
