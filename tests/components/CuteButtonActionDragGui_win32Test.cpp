// TCuteButton with an action and in automatic drag mode, on real windows: the action drives
// the caption and enabled state and runs on a click; a press starts a drag that the control
// under the pointer accepts and takes; while the form's active control is being dragged the
// mouse entering a button changes nothing. Input is posted as window messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "components/CuteBtn.h"
#include "framework/ActnList.h"
#include "framework/Forms.h"
#include "GuiDriver.h"

namespace {

LPARAM At(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

class CuteButtonActionDrag : public ::testing::Test {
 protected:
  void SetUp() override {
    Application->Initialize();
    form = new TForm(nullptr);
    form->SetClientSize(320, 200);
    form->SetPosition(poScreenCenter);
    button = new TCuteButton(form);
    button->SetBounds(10, 10, 100, 30);
    button->SetCaption("button");
    button->SetParent(form);
    target = new TCuteButton(form);
    target->SetBounds(180, 120, 100, 40);
    target->SetCaption("target");
    target->SetParent(form);
    form->Show();
    Settle();
  }
  void TearDown() override { delete form; }

  void Settle(int rounds = 5) {
    for (int i = 0; i < rounds; ++i) {
      Application->ProcessMessages();
      Sleep(5);
    }
  }
  static HWND H(TWinControl* c) { return static_cast<HWND>(c->Handle()); }
  void Click(TWinControl* c) {
    PostMessageW(H(c), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    PostMessageW(H(c), WM_LBUTTONUP, 0, At(5, 5));
    Settle();
  }
  // `p` in `to`'s client coordinates, as a mouse message to `from`'s window carries it.
  static LPARAM Relative(TWinControl* from, TWinControl* to, TPoint p) {
    const TPoint screen = to->ClientToScreen(p);
    const TPoint local = from->ScreenToClient(screen);
    return At(local.x, local.y);
  }

  TForm* form = nullptr;
  TCuteButton* button = nullptr;
  TCuteButton* target = nullptr;
};

}  // namespace

TEST_F(CuteButtonActionDrag, AnActionDrivesCaptionAndEnabledStateAndRunsOnAClick) {
  auto* action = new TAction(form);
  action->SetName("Action1");
  action->SetCaption("実行");
  int executed = 0;
  TObject* executeSender = nullptr;
  action->OnExecute = TNotifyEvent([&](TObject* s) {
    ++executed;
    executeSender = s;
  });
  button->SetAction(action);
  EXPECT_EQ(button->Caption(), "実行");

  action->SetEnabled(false);
  EXPECT_FALSE(button->Enabled());
  EXPECT_FALSE(IsWindowEnabled(H(button)));
  Click(button);
  EXPECT_EQ(executed, 0) << "a disabled action is not executed";
  action->SetEnabled(true);
  EXPECT_TRUE(IsWindowEnabled(H(button)));
  action->SetCaption("再実行");
  EXPECT_EQ(button->Caption(), "再実行");

  Click(button);
  EXPECT_EQ(executed, 1);
  EXPECT_EQ(executeSender, action);

  // An OnClick of its own runs instead of the action; one naming the action's handler runs
  // as the action.
  int ownClicks = 0;
  button->OnClick = TNotifyEvent([&](TObject*) { ++ownClicks; }, "ButtonClick");
  Click(button);
  EXPECT_EQ(ownClicks, 1);
  EXPECT_EQ(executed, 1);
  action->OnExecute = TNotifyEvent([&](TObject*) { ++executed; }, "Action1Execute");
  button->OnClick = TNotifyEvent([&](TObject*) { ++ownClicks; }, "Action1Execute");
  Click(button);
  EXPECT_EQ(executed, 2);
  EXPECT_EQ(ownClicks, 1);

  // With EgnoreContClick the handler is held back; a linked action still runs.
  button->OnClick = nullptr;
  button->SetEgnoreContClick(true);
  Click(button);
  EXPECT_EQ(executed, 3);

  delete action;
  EXPECT_EQ(button->Action(), nullptr) << "a freed action leaves the button";
  Click(button);
  EXPECT_EQ(executed, 3);
}

TEST_F(CuteButtonActionDrag, AutomaticDragModeDragsOnAPressAndFiresTheDragEvents) {
  button->SetDragMode(dmAutomatic);
  int clicks = 0, downs = 0, starts = 0;
  button->OnClick = TNotifyEvent([&](TObject*) { ++clicks; });
  button->OnMouseDown = TMouseEvent([&](TObject*, TMouseButton, TShiftState, int, int) { ++downs; });
  button->OnStartDrag = TStartDragEvent([&](TObject* s, TDragObject*& o) {
    EXPECT_EQ(s, button);
    EXPECT_EQ(o, nullptr);
    ++starts;
  });
  std::vector<TDragState> overStates;
  target->OnDragOver = TDragOverEvent([&](TObject* s, TObject* source, int, int, TDragState st, bool& accept) {
    EXPECT_EQ(s, target);
    EXPECT_EQ(source, button);
    EXPECT_TRUE(accept) << "a handler starts from yes";
    overStates.push_back(st);
  });
  TObject* dropSource = nullptr;
  TPoint dropAt{-1, -1};
  target->OnDragDrop = TDragDropEvent([&](TObject*, TObject* source, int x, int y) {
    dropSource = source;
    dropAt = {x, y};
  });
  TObject* endTarget = button;
  int ends = 0;
  button->OnEndDrag = TEndDragEvent([&](TObject*, TObject* t, int, int) {
    endTarget = t;
    ++ends;
  });

  PostMessageW(H(button), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
  Settle();
  EXPECT_TRUE(button->Dragging());
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(downs, 0) << "the press is the drag's, not a mouse-down";
  EXPECT_EQ(GetCapture(), H(button));

  PostMessageW(H(button), WM_MOUSEMOVE, MK_LBUTTON, Relative(button, target, {20, 10}));
  PostMessageW(H(button), WM_MOUSEMOVE, MK_LBUTTON, Relative(button, target, {30, 12}));
  Settle();
  EXPECT_EQ(overStates, (std::vector<TDragState>{dsDragEnter, dsDragMove}));
  EXPECT_TRUE(button->Dragging());

  PostMessageW(H(button), WM_LBUTTONUP, 0, Relative(button, target, {30, 12}));
  Settle();
  EXPECT_FALSE(button->Dragging());
  EXPECT_EQ(dropSource, button);
  EXPECT_EQ(dropAt.x, 30);
  EXPECT_EQ(dropAt.y, 12);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(endTarget, target);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(GetCapture(), nullptr);

  // A target without OnDragOver refuses: the release drops nothing, and the end says so.
  target->OnDragOver = nullptr;
  dropSource = nullptr;
  PostMessageW(H(button), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
  PostMessageW(H(button), WM_MOUSEMOVE, MK_LBUTTON, Relative(button, target, {20, 10}));
  PostMessageW(H(button), WM_LBUTTONUP, 0, Relative(button, target, {20, 10}));
  Settle();
  EXPECT_EQ(dropSource, nullptr);
  EXPECT_EQ(ends, 2);
  EXPECT_EQ(endTarget, nullptr);
  EXPECT_FALSE(button->Dragging());
}

TEST_F(CuteButtonActionDrag, ADockDragStartsNothing) {
  button->SetDragMode(dmAutomatic);
  button->SetDragKind(dkDock);
  int events = 0;
  button->OnStartDock = TStartDockEvent([&](TObject*, TDragDockObject*&) { ++events; });
  button->OnStartDrag = TStartDragEvent([&](TObject*, TDragObject*&) { ++events; });
  button->OnClick = TNotifyEvent([&](TObject*) { ++events; });
  Click(button);
  EXPECT_FALSE(button->Dragging());
  EXPECT_EQ(events, 0);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(CuteButtonActionDrag, TheMouseEnteringWhileTheActiveControlIsDraggedChangesNothing) {
  button->SetDragMode(dmAutomatic);
  button->SetFocus();
  Settle();
  ASSERT_EQ(form->ActiveControl(), button);
  int enters = 0;
  target->OnMouseEnter = TMouseMoveEvent([&](TObject*, TShiftState, int, int) { ++enters; });

  PostMessageW(H(button), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
  Settle();
  ASSERT_TRUE(button->Dragging());
  const TBevelCut before = target->BevelOuter();
  SendMessageW(H(target), WM_MOUSEMOVE, 0, At(5, 5));
  EXPECT_EQ(enters, 0);
  EXPECT_EQ(target->BevelOuter(), before);

  // Once the drag is over, the same entry is an ordinary one.
  button->EndDrag(false);
  EXPECT_FALSE(button->Dragging());
  SendMessageW(H(target), WM_MOUSELEAVE, 0, 0);
  SendMessageW(H(target), WM_MOUSEMOVE, 0, At(5, 5));
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(target->BevelOuter(), bvRaised);
}

TEST_F(CuteButtonActionDrag, ConstraintsLimitTheSize) {
  button->Constraints()->SetMaxWidth(150);
  button->Constraints()->SetMinHeight(35);
  EXPECT_EQ(button->Height(), 35) << "a new minimum grows the button at once";
  button->SetWidth(400);
  EXPECT_EQ(button->Width(), 150);
  RECT r;
  GetWindowRect(H(button), &r);
  EXPECT_EQ(r.right - r.left, 150);
  EXPECT_EQ(r.bottom - r.top, 35);
  button->Constraints()->SetMinWidth(200);
  EXPECT_EQ(button->Constraints()->MaxWidth(), 200) << "a minimum above the maximum pushes it up";
  EXPECT_EQ(button->Width(), 200);
  button->SetHelpContext(77);
  EXPECT_EQ(button->HelpContext(), 77);
}
