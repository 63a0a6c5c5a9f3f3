// The compiled form data against the live classes: each window's form data read into the
// controls as the designer reads it and written back gives the same bytes; the update window's
// buttons and keeper hold what they should. What form data stores of a TCuteButton: the four
// Booleans without a declared default always, everything else only when it differs from its
// declared default.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "components/CuteBtn.h"
#include "components/FileVer.h"
#include "framework/ActnList.h"
#include "framework/ClassBuilder.h"
#include "framework/Filer.h"
#include "framework/Forms.h"
#include "resources/BinaryKeeper.h"
#include "support/TestPaths.h"
#include "text/CodePage.h"

namespace {

class TButtonForm : public TForm {
  FW_CLASS(TButtonForm, TForm)
  explicit TButtonForm(TComponent* owner) : TForm(owner) {}
  TCuteButton* Button = nullptr;
};

const TClassInfo& TButtonForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TButtonForm>("TButtonForm", &TForm::StaticClass())
                                     .Field("Button", &TButtonForm::Button)
                                     .Build();
  return info;
}

std::unique_ptr<TButtonForm> DesignForm() {
  auto form = std::make_unique<TButtonForm>(nullptr);
  form->SetName("ButtonForm");
  form->SetDesigning(true);
  form->Button = new TCuteButton(form.get());
  form->Button->SetName("Button");
  form->Button->SetParent(form.get());
  return form;
}

// Property names stored for the object named `name`, read by the documented grammar: after
// the class and component names come ShortString names, each followed by one value. Only the
// value kinds a button's stream holds are needed here.
std::set<std::string> StoredNames(const std::string& s, const std::string& name) {
  std::string key = std::string(1, static_cast<char>(name.size())) + name;
  size_t p = s.find(key);
  EXPECT_NE(p, std::string::npos);
  if (p == std::string::npos) return {};
  p += key.size();
  std::set<std::string> names;
  auto u8 = [&](size_t i) { return static_cast<unsigned char>(s.at(i)); };
  while (u8(p) != 0) {
    size_t n = u8(p);
    names.insert(s.substr(p + 1, n));
    p += 1 + n;
    unsigned char type = u8(p++);
    switch (type) {
      case 0x02: p += 1; break;
      case 0x03: p += 2; break;
      case 0x04: p += 4; break;
      case 0x05: p += 10; break;
      case 0x06: case 0x07: p += 1 + u8(p); break;
      case 0x08: case 0x09: case 0x0D: break;
      case 0x0B: while (u8(p) != 0) p += 1 + u8(p); ++p; break;
      case 0x0A: case 0x0C: case 0x14: {
        size_t len = u8(p) | (u8(p + 1) << 8) | (u8(p + 2) << 16) | (static_cast<size_t>(u8(p + 3)) << 24);
        p += 4 + len;
        break;
      }
      default: ADD_FAILURE() << "value type " << int(type); return names;
    }
  }
  return names;
}

using testing_support::ReadFileBytes;

std::filesystem::path BuildFile(const char* relative) { return testing_support::BinaryDir() / relative; }

// The update window's class as far as its form data needs it: the event handlers it names.
class TKeeperHostForm : public TForm {
  FW_CLASS(TKeeperHostForm, TForm)
  explicit TKeeperHostForm(TComponent* owner) : TForm(owner) { PoseAsClass("TUpDateForm"); }
  void Handler(TObject*) {}
  void CloseHandler(TObject*, TCloseAction&) {}
};

const TClassInfo& TKeeperHostForm::StaticClass() {
  using F = TKeeperHostForm;
  static const TClassInfo info = TClassBuilder<F>("TKeeperHostForm", &TForm::StaticClass())
                                     .Method("CloseBtnClick", &F::Handler)
                                     .Method("InstBtnClick", &F::Handler)
                                     .Method("FormClose", &F::CloseHandler)
                                     .Method("ReadMeBtnClick", &F::Handler)
                                     .Method("FormCreate", &F::Handler)
                                     .Build();
  return info;
}

// A window's form data read as the form compiler's designer read it: into a form posing
// under the data's class name, in design state, so events stay names and the keeper takes
// its file in through the design-time name.
std::unique_ptr<TForm> DesignFormOf(const std::string& data) {
  auto form = std::make_unique<TForm>(nullptr);
  form->PoseAsClass(TReader::ReadRootClassName(data));
  form->SetDesigning(true);
  form->ReadFormData(data);
  return form;
}

std::size_t FirstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

class CompiledForms : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterComponentClass(TCuteButton::StaticClass());
    RegisterComponentClass(TVersionInfo::StaticClass());
    RegisterComponentClass(TbinaryKeeper::StaticClass());
    std::string readme = BuildFile("resources/N_UpDate.TXT").string();
    SetDesignFileResolver([readme](const std::string& stored) {
      return SameText(stored, "E:\\My Documents\\TOVO\\UpDate\\N_UpDate.TXT") ? readme : stored;
    });
  }
  void TearDown() override { SetDesignFileResolver(nullptr); }
};

TEST_F(CompiledForms, EachWindowReadAsDesignedAndWrittenBackIsUnchanged) {
  for (const char* file : {"resources/TUPDATEFORM.bin", "resources/TPROGRESFORM.bin", "resources/TANIMFORM.bin"}) {
    SCOPED_TRACE(file);
    std::string data = ReadFileBytes(BuildFile(file));
    ASSERT_GT(data.size(), 100u);
    auto form = DesignFormOf(data);
    EXPECT_GT(form->ComponentCount(), 0);
    std::string back = WriteComponentToBytes(form.get());
    EXPECT_EQ(back.size(), data.size());
    EXPECT_TRUE(back == data) << "first difference at byte " << FirstDifference(back, data);
  }
}

TEST_F(CompiledForms, TheUpdateWindowsButtonsStoreTheFourBooleansWithoutDefaults) {
  std::string data = ReadFileBytes(BuildFile("resources/TUPDATEFORM.bin"));
  auto form = DesignFormOf(data);
  std::vector<std::string> buttons;
  for (int i = 0; i < form->ComponentCount(); ++i)
    if (dynamic_cast<TCuteButton*>(form->Components(i))) buttons.push_back(form->Components(i)->Name());
  EXPECT_EQ(buttons, (std::vector<std::string>{"CloseBtn", "InstBtn", "ReadMeBtn"}));
  for (const std::string& button : buttons) {
    std::set<std::string> names = StoredNames(data, button);
    for (const char* always : {"EgnoreContClick", "Flat", "ShowFocusRect", "UseDisabledColor"})
      EXPECT_TRUE(names.count(always)) << button << " " << always;
  }
}

TEST_F(CompiledForms, TheUpdateWindowsKeeperHoldsTheShiftJisReadme) {
  std::string form = ReadFileBytes(BuildFile("resources/TUPDATEFORM.bin"));
  std::string readme = ReadFileBytes(BuildFile("resources/N_UpDate.TXT"));
  ASSERT_GT(readme.size(), 1000u);

  TKeeperHostForm host(nullptr);
  host.ReadFormData(form);
  auto* keeper = dynamic_cast<TbinaryKeeper*>(host.FindComponent("binaryKeeper1"));
  ASSERT_NE(keeper, nullptr);
  EXPECT_EQ(keeper->Size(), static_cast<std::int32_t>(readme.size()));
  EXPECT_EQ(keeper->Size(), 6260) << "the readme this update carries is 6,260 bytes of Shift-JIS";
  ASSERT_NE(keeper->stream(), nullptr);
  EXPECT_EQ(keeper->stream()->Bytes(), readme);
  EXPECT_EQ(keeper->Filename(), "E:\\My Documents\\TOVO\\UpDate\\N_UpDate.TXT");
  EXPECT_EQ(keeper->stream()->Bytes().substr(0, 4), readme.substr(0, 4));
}

TEST(CuteButtonFormData, NewButtonHasItsDeclaredDefaults) {
  TCuteButton b(nullptr);
  EXPECT_EQ(b.Width(), 75);
  EXPECT_EQ(b.Height(), 25);
  EXPECT_TRUE(b.TabStop());
  EXPECT_TRUE(b.TabFocusUp());
  EXPECT_EQ(b.BevelOuter(), bvNone);
  EXPECT_EQ(b.BevelInner(), bvRaised);
  EXPECT_EQ(b.BevelWidth(), 1);
  EXPECT_EQ(b.Alignment(), taCenter);
  EXPECT_EQ(b.Layout(), tlCenter);
  EXPECT_EQ(b.BevelHighlightColor(), clBtnHighlight);
  EXPECT_EQ(b.BevelShadowColor(), clBtnShadow);
  EXPECT_EQ(b.DisabledColor(), clGray);
  EXPECT_EQ(b.MarginX(), -1);
  EXPECT_EQ(b.MarginY(), -1);
  EXPECT_EQ(b.Color(), clBtnFace);
  EXPECT_EQ(b.DropDownMenu(), nullptr);
  EXPECT_FALSE(b.ControlStyle().Contains(csAcceptsControls));
  EXPECT_FALSE(b.ControlStyle().Contains(csDoubleClicks));
}

TEST(CuteButtonFormData, WritersKeepTheInvariants) {
  TCuteButton b(nullptr);
  b.SetMarginX(-5);
  EXPECT_EQ(b.MarginX(), -1);
  b.SetMarginY(10);
  EXPECT_EQ(b.MarginY(), 10);
  b.SetFlat(true);
  EXPECT_EQ(b.BevelInner(), bvNone);
  b.SetFlat(false);
  EXPECT_EQ(b.BevelInner(), bvRaised);
}

TEST(CuteButtonFormData, CaptionRectFollowsBevelsMarginsAndPress) {
  TCuteButton b(nullptr);
  b.SetBounds(0, 0, 75, 25);
  TRect t = b.CaptionRect();
  EXPECT_EQ(t.left, 2);
  EXPECT_EQ(t.top, 2);
  EXPECT_EQ(t.right, 73);
  EXPECT_EQ(t.bottom, 23);
  EXPECT_EQ(b.CaptionFormat(), 0x1u | 0x4u | 0x20u);

  b.SetFlat(true);
  EXPECT_EQ(b.CaptionRect().left, 1);
  b.SetFlat(false);
  b.SetBevelWidth(3);
  EXPECT_EQ(b.CaptionRect().left, 6);
  b.SetBevelWidth(1);

  b.SetMarginX(10);
  EXPECT_EQ(b.CaptionRect().left, 2) << "a centred caption ignores MarginX";
  b.SetAlignment(taLeftJustify);
  EXPECT_EQ(b.CaptionRect().left, 12);
  b.SetLayout(tlTop);
  b.SetBevelOuter(bvLowered);
  EXPECT_EQ(b.CaptionRect().left, 14);
  EXPECT_EQ(b.CaptionRect().top, 4);
  EXPECT_EQ(b.CaptionFormat(), 0x0u | 0x0u | 0x20u);
  b.SetAlignment(taRightJustify);
  b.SetLayout(tlBottom);
  EXPECT_EQ(b.CaptionFormat(), 0x2u | 0x8u | 0x20u);
}

TEST(CuteButtonFormData, OnlyTheFourBooleansWithoutDefaultsAreAlwaysStored) {
  RegisterFrameworkClasses();
  auto form = DesignForm();
  std::set<std::string> names = StoredNames(WriteComponentToBytes(form.get()), "Button");
  for (const char* always : {"EgnoreContClick", "Flat", "ShowFocusRect", "UseDisabledColor"})
    EXPECT_TRUE(names.count(always)) << always;
  for (const char* defaulted : {"Width", "Height", "TabStop", "TabFocusUp", "BevelWidth", "Alignment",
                                "Layout", "MarginX", "MarginY", "BevelHighlightColor", "BevelShadowColor",
                                "DisabledColor", "DropDownDelay", "Color", "Enabled", "Visible",
                                "BorderStyle", "ParentFont", "ParentShowHint", "ParentColor"})
    EXPECT_FALSE(names.count(defaulted)) << defaulted;
  // The unpublished bevels never appear.
  EXPECT_FALSE(names.count("BevelOuter"));
  EXPECT_FALSE(names.count("BevelInner"));

  form->Button->SetMarginX(4);
  form->Button->SetTabFocusUp(false);
  form->Button->SetLayout(tlBottom);
  form->Button->SetFlat(true);
  names = StoredNames(WriteComponentToBytes(form.get()), "Button");
  EXPECT_TRUE(names.count("MarginX"));
  EXPECT_TRUE(names.count("TabFocusUp"));
  EXPECT_TRUE(names.count("Layout"));
}

TEST(CuteButtonFormData, ChangedPropertiesComeBackFromFormData) {
  RegisterFrameworkClasses();
  auto form = DesignForm();
  form->Button->SetMarginX(4);
  form->Button->SetLayout(tlBottom);
  form->Button->SetFlat(true);
  form->Button->SetEgnoreContClick(true);
  form->Button->SetDisabledColor(clRed);
  form->Button->SetCaption("終  了");
  std::string data = WriteComponentToBytes(form.get());

  TButtonForm loaded(nullptr);
  loaded.ReadFormData(data);
  ASSERT_NE(loaded.Button, nullptr);
  EXPECT_EQ(loaded.Button->MarginX(), 4);
  EXPECT_EQ(loaded.Button->Layout(), tlBottom);
  EXPECT_TRUE(loaded.Button->Flat());
  EXPECT_EQ(loaded.Button->BevelInner(), bvNone);
  EXPECT_TRUE(loaded.Button->EgnoreContClick());
  EXPECT_EQ(loaded.Button->DisabledColor(), clRed);
  EXPECT_EQ(loaded.Button->Caption(), "終  了");
  EXPECT_EQ(loaded.Button->Width(), 75);
}

}  // namespace

// Every property and event of the button and the keeper at a value other than its default,
// as the designer stores it: read as designed and written back, the bytes stay; what was
// read is what the text says, the action's own caption and states left to the action.
TEST_F(CompiledForms, EverythingAButtonAndAKeeperStoreReadsBackAndWritesTheSameBytes) {
  const std::filesystem::path kept = testing_support::SourceDir() / "tests/tools/formc/forms/Gradient.jpg";
  SetDesignFileResolver([kept](const std::string& stored) {
    return SameText(stored, "C:\\Kept\\Gradient.jpg") ? kept.string() : stored;
  });
  const std::string data = ReadFileBytes(BuildFile("tests/resources/TBUTTONKEEPERFORM.bin"));
  ASSERT_GT(data.size(), 100u);
  auto form = DesignFormOf(data);
  const std::string back = WriteComponentToBytes(form.get());
  EXPECT_EQ(back.size(), data.size());
  EXPECT_TRUE(back == data) << "first difference at byte " << FirstDifference(back, data);

  auto* button = dynamic_cast<TCuteButton*>(form->FindComponent("Button"));
  auto* action = dynamic_cast<TAction*>(form->FindComponent("Action1"));
  auto* list = dynamic_cast<TActionList*>(form->FindComponent("ActionList1"));
  ASSERT_TRUE(button && action && list);
  EXPECT_EQ(action->ActionList(), list);
  EXPECT_EQ(button->Action(), action);
  EXPECT_EQ(button->Caption(), "ボタン") << "a caption of its own stays";
  EXPECT_EQ(button->Hint(), "ボタンのヒント");
  EXPECT_FALSE(button->Enabled()) << "left at its default, it follows the disabled action";
  EXPECT_FALSE(button->Visible());
  EXPECT_EQ(button->Constraints()->MinWidth(), 50);
  EXPECT_EQ(button->Constraints()->MaxWidth(), 200);
  EXPECT_EQ(button->Constraints()->MinHeight(), 20);
  EXPECT_EQ(button->Constraints()->MaxHeight(), 60);
  EXPECT_EQ(button->BiDiMode(), bdRightToLeft);
  EXPECT_FALSE(button->ParentBiDiMode());
  EXPECT_EQ(button->DragMode(), dmAutomatic);
  EXPECT_EQ(button->DragKind(), dkDock);
  EXPECT_EQ(button->DragCursor(), -16) << "crMultiDrag";
  EXPECT_EQ(button->HelpContext(), 1234);
  EXPECT_EQ(button->Tag(), 3);
  EXPECT_EQ(button->OnStartDock.MethodName(), "ButtonStartDock");
  EXPECT_EQ(button->OnEndDock.MethodName(), "ButtonEndDrag");
  EXPECT_EQ(button->OnDragOver.MethodName(), "ButtonDragOver");
  EXPECT_EQ(action->OnExecute.MethodName(), "Action1Execute");

  const std::set<std::string> stored = StoredNames(data, "Button");
  for (const char* name : {"Action", "BiDiMode", "Constraints.MaxHeight", "Constraints.MinWidth", "DragCursor",
                           "DragKind", "DragMode", "HelpContext", "ParentBiDiMode", "OnDragDrop", "OnDragOver",
                           "OnEndDock", "OnEndDrag", "OnStartDock", "OnStartDrag", "Caption", "Hint"})
    EXPECT_TRUE(stored.count(name)) << name;
  EXPECT_FALSE(stored.count("Enabled")) << "equal to the action's: the action stores it";

  auto* keeper = dynamic_cast<TbinaryKeeper*>(form->FindComponent("binaryKeeper1"));
  ASSERT_NE(keeper, nullptr);
  const std::string jpeg = ReadFileBytes(kept);
  ASSERT_NE(keeper->stream(), nullptr);
  EXPECT_EQ(keeper->stream()->Bytes(), jpeg);
  EXPECT_EQ(keeper->Size(), static_cast<std::int32_t>(jpeg.size()));
  const std::set<std::string> keeperStored = StoredNames(data, "binaryKeeper1");
  EXPECT_EQ(keeperStored, (std::set<std::string>{"Filename", "Data"})) << "stream and Size are never stored";
  const TPropInfo* streamProp = TbinaryKeeper::StaticClass().FindProperty("stream");
  ASSERT_NE(streamProp, nullptr) << "stream is published";
  EXPECT_EQ(streamProp->getObj(*keeper), keeper->stream());
}

// A button at every default stores none of the action, size, reading-order, drag and help
// properties: forms that do not use them keep their bytes.
TEST(CuteButtonFormData, TheNewPropertiesAtTheirDefaultsStoreNothing) {
  auto form = DesignForm();
  const std::set<std::string> stored = StoredNames(WriteComponentToBytes(form.get()), "Button");
  for (const char* name : {"Action", "BiDiMode", "ParentBiDiMode", "Constraints.MaxHeight", "Constraints.MaxWidth",
                           "Constraints.MinHeight", "Constraints.MinWidth", "DragCursor", "DragKind", "DragMode",
                           "HelpContext"})
    EXPECT_FALSE(stored.count(name)) << name;
  EXPECT_EQ(form->Button->DragCursor(), crDrag);
  EXPECT_EQ(form->Button->BiDiMode(), bdLeftToRight);
  EXPECT_TRUE(form->Button->ParentBiDiMode());
}
