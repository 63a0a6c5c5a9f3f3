// The three windows built from the form data the build compiled, on real windows.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "app/Anim.h"
#include "app/Progres.h"
#include "app/UpForm.h"
#include "components/CuteBtn.h"
#include "components/FileVer.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Graphics.h"
#include "framework/StdCtrls.h"
#include "resources/BinaryKeeper.h"
#include "support/TestPaths.h"

namespace {

using testing_support::BinaryDir;
using testing_support::ReadFileBytes;

class FormsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Application->Initialize();
    for (const char* name : {"TUPDATEFORM", "TPROGRESFORM", "TANIMFORM"})
      RegisterFormResource(name, ReadFileBytes(BinaryDir() / "resources" / (std::string(name) + ".bin")));
  }
};

RECT WindowRectOf(TWinControl* c) {
  RECT r{};
  GetWindowRect(static_cast<HWND>(c->Handle()), &r);
  return r;
}

TEST_F(FormsTest, UpdateWindowBindsEveryPublishedField) {
  std::unique_ptr<TUpDateForm> form(CreateFormFromResource<TUpDateForm>(nullptr));
  EXPECT_EQ(form->Name(), "UpDateForm");
  EXPECT_EQ(form->Caption(), "「Norvex」アップデート");
  ASSERT_NE(form->Image1, nullptr);
  ASSERT_NE(form->CloseBtn, nullptr);
  ASSERT_NE(form->Label5, nullptr);
  ASSERT_NE(form->InstBtn, nullptr);
  ASSERT_NE(form->Label1, nullptr);
  ASSERT_NE(form->Label2, nullptr);
  ASSERT_NE(form->VersionInfo1, nullptr);
  ASSERT_NE(form->ReadMeBtn, nullptr);
  ASSERT_NE(form->Label3, nullptr);
  ASSERT_NE(form->binaryKeeper1, nullptr);
  ASSERT_NE(form->NewVerEdit, nullptr);
  ASSERT_NE(form->Label4, nullptr);
  ASSERT_NE(form->ListBox1, nullptr);
  EXPECT_EQ(form->CloseBtn->Name(), "CloseBtn");
  EXPECT_EQ(form->ListBox1->Name(), "ListBox1");

  EXPECT_EQ(form->Position(), poScreenCenter);
  EXPECT_EQ(form->BorderIcons(), TBorderIcons{biSystemMenu});
  EXPECT_EQ(form->ClientWidth(), 494);
  EXPECT_EQ(form->ClientHeight(), 314);
  EXPECT_EQ(form->Font()->Name(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(form->Font()->Height(), -12);
  EXPECT_EQ(form->Font()->Charset(), 128);
}

TEST_F(FormsTest, UpdateWindowCarriesItsFixedData) {
  std::unique_ptr<TUpDateForm> form(CreateFormFromResource<TUpDateForm>(nullptr));
  EXPECT_EQ(form->NewVerEdit->Text(), "19436");
  EXPECT_FALSE(form->NewVerEdit->Visible());
  ASSERT_EQ(form->ListBox1->Items()->Count(), 1);
  EXPECT_EQ(form->ListBox1->Items()->Strings(0), "N_UpDate120502.lzh");
  EXPECT_FALSE(form->ListBox1->Visible());

  std::string readme = ReadFileBytes(BinaryDir() / "resources" / "N_UpDate.TXT");
  EXPECT_EQ(form->binaryKeeper1->Size(), static_cast<std::int32_t>(readme.size()));
  ASSERT_NE(form->binaryKeeper1->stream(), nullptr);
  EXPECT_EQ(form->binaryKeeper1->stream()->Bytes(), readme);

  EXPECT_EQ(form->VersionInfo1->FIleMajor(), 0);
  EXPECT_EQ(form->VersionInfo1->FIleBuild(), 0);
  EXPECT_EQ(form->VersionInfo1->ProductMajor(), 0);
  EXPECT_EQ(form->VersionInfo1->FileName(), "");

  auto* jpeg = dynamic_cast<TJPEGImage*>(form->Image1->Picture()->Graphic());
  ASSERT_NE(jpeg, nullptr);
  EXPECT_EQ(jpeg->Width(), 569);
  EXPECT_EQ(jpeg->Height(), 365);
  EXPECT_EQ(jpeg->Bytes(), ReadFileBytes(testing_support::SourceDir() / "resources" / "Background.jpg"));
  EXPECT_TRUE(form->Image1->Stretch());
  EXPECT_EQ(form->Image1->Align(), alClient);
}

TEST_F(FormsTest, UpdateWindowButtonsAndLabels) {
  std::unique_ptr<TUpDateForm> form(CreateFormFromResource<TUpDateForm>(nullptr));
  struct Button {
    TCuteButton* b;
    const char* caption;
    const char* hint;
    bool showHint;
    int tabOrder;
    bool bold;
    const char* handler;
  };
  for (const Button& e : {Button{form->CloseBtn, "終  了", "セットアップを終了します.", true, 0, true, "CloseBtnClick"},
                          Button{form->InstBtn, "アップデート実行", "", false, 1, true, "InstBtnClick"},
                          Button{form->ReadMeBtn, "README", "はじめにお読みください", true, 2, false, "ReadMeBtnClick"}}) {
    SCOPED_TRACE(e.caption);
    EXPECT_EQ(e.b->Caption(), e.caption);
    EXPECT_EQ(e.b->Hint(), e.hint);
    EXPECT_EQ(e.b->ShowHint(), e.showHint);
    EXPECT_EQ(e.b->TabOrder(), e.tabOrder);
    EXPECT_EQ(e.b->Font()->Color(), clNavy);
    EXPECT_EQ(e.b->Font()->Height(), -16);
    EXPECT_EQ(e.b->Font()->Style().Contains(fsBold), e.bold);
    EXPECT_FALSE(e.b->Flat());
    EXPECT_FALSE(e.b->EgnoreContClick());
    EXPECT_FALSE(e.b->ShowFocusRect());
    EXPECT_FALSE(e.b->UseDisabledColor());
    EXPECT_EQ(e.b->BevelInner(), bvRaised);
    EXPECT_EQ(e.b->OnClick.MethodName(), e.handler);
  }
  EXPECT_EQ(form->Label5->Font()->Color(), clNavy);
  EXPECT_EQ(form->Label5->Font()->Height(), -21);
  EXPECT_TRUE(form->Label5->Font()->Style().Contains(fsBold));
  for (TLabel* l : {form->Label5, form->Label1, form->Label2, form->Label3}) EXPECT_TRUE(l->Transparent());
  EXPECT_FALSE(form->Label4->Transparent());
  EXPECT_EQ(form->Label4->Font()->Color(), clRed);
  EXPECT_TRUE(form->Label1->Visible());
  EXPECT_FALSE(form->Label3->Visible());
  EXPECT_FALSE(form->Label4->Visible());
}

TEST_F(FormsTest, CopyListLivesFromFormCreateToFormClose) {
  std::unique_ptr<TUpDateForm> form(CreateFormFromResource<TUpDateForm>(nullptr));
  ASSERT_NE(form->CopyList(), nullptr);
  EXPECT_EQ(form->CopyList()->Count(), 0);
  form->Show();
  form->Close();
  EXPECT_EQ(form->CopyList(), nullptr);
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(form->Handle())));
}

TEST_F(FormsTest, ProgressWindowRunsFromZeroToItsNewMaximumAndStaysFull) {
  ASSERT_EQ(ProgresForm, nullptr);
  TProgresForm* form = ShowProgresForm(10);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(ProgresForm, form);
  EXPECT_EQ(form->Name(), "ProgresForm");
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  HWND hwnd = static_cast<HWND>(form->Handle());
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(form->Caption(), "Norvex Update");
  RECT r = WindowRectOf(form);
  EXPECT_EQ(r.right - r.left, 278);
  EXPECT_EQ(r.bottom - r.top, 93);
  EXPECT_EQ(form->Label1->Caption(), "アップデート実行中");
  ASSERT_NE(form->ProgressBar1, nullptr);
  HWND bar = static_cast<HWND>(form->ProgressBar1->Handle());
  EXPECT_EQ(form->ProgressBar1->Min(), 0);
  EXPECT_EQ(form->ProgressBar1->Max(), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);

  StepProgresForm(4);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 4);
  for (int i = 0; i < 4; ++i) StepProgresForm(3);
  EXPECT_EQ(form->ProgressBar1->Position(), 10);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 10) << "past the maximum the bar stays full";

  CloseProgresForm();
  EXPECT_EQ(ProgresForm, nullptr);
  EXPECT_EQ(Screen->Cursor(), crDefault);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  Application->ProcessMessages();
  EXPECT_FALSE(IsWindow(hwnd)) << "released once the message loop ran";
  CloseProgresForm();  // none up: nothing happens
  EXPECT_EQ(ProgresForm, nullptr);
}

TEST_F(FormsTest, ASecondProgressWindowReplacesTheFirst) {
  TProgresForm* first = ShowProgresForm(10);
  HWND firstWindow = static_cast<HWND>(first->Handle());
  StepProgresForm(5);
  TProgresForm* second = ShowProgresForm(20);
  EXPECT_EQ(ProgresForm, second);
  EXPECT_FALSE(IsWindowVisible(firstWindow));
  EXPECT_EQ(second->ProgressBar1->Max(), 20);
  EXPECT_EQ(second->ProgressBar1->Position(), 0);
  EXPECT_EQ(Screen->Cursor(), crHourGlass);
  CloseProgresForm();
  Application->ProcessMessages();
  EXPECT_FALSE(IsWindow(firstWindow));
  EXPECT_EQ(Screen->Cursor(), crDefault);
}

TEST_F(FormsTest, AnimationWindowResourceHoldsTheCopyAnimation) {
  std::unique_ptr<TAnimForm> form(CreateFormFromResource<TAnimForm>(nullptr));
  EXPECT_EQ(form->Caption(), "");
  EXPECT_TRUE(form->BorderIcons().Empty());
  EXPECT_EQ(form->Position(), poScreenCenter);
  EXPECT_EQ(form->Width(), 360);
  EXPECT_EQ(form->Height(), 120);
  ASSERT_NE(form->Animate1, nullptr);
  EXPECT_EQ(form->Animate1->CommonAVI(), aviCopyFiles);
  EXPECT_FALSE(form->Animate1->Active());
  EXPECT_EQ(form->Animate1->StopFrame(), 34);
  EXPECT_EQ(form->Animate1->Left(), 48);
  EXPECT_EQ(form->Animate1->Top(), 16);
  EXPECT_EQ(form->Animate1->Width(), 272);
  EXPECT_EQ(form->Animate1->Height(), 60);
}

}  // namespace
