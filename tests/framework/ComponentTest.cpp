// The component model and the portable side of controls and forms: ownership and names,
// string lists, sets and events, tab order and focus order, alignment, progress bars, close
// actions, fonts, colours and pictures in form data.
#include <gtest/gtest.h>

#include "framework/ClassBuilder.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "support/TestPaths.h"

TEST(Strings, TextSplitsAtEveryKindOfLineBreak) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&] { ++changes; };
  l.SetText("a\r\nb\nc\rd");
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l[3], "d");
  EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(l.IndexOf("B"), 1);
  EXPECT_EQ(l.IndexOf("zz"), -1);
  l.Delete(0);
  EXPECT_EQ(l[0], "b");
  EXPECT_THROW(l.Delete(7), Exception);
  EXPECT_THROW(l.Insert(-1, "x"), Exception);
  EXPECT_EQ(changes, 2);
}

TEST(Events, AHandlerMayDestroyTheObjectThatHoldsIt) {
  struct Holder {
    TNotifyEvent ev;
  };
  auto* h = new Holder;
  int ran = 0;
  std::string capture(100, 'x');  // a capture the destroyed closure would have freed
  h->ev = TNotifyEvent([&, h, capture](TObject*) {
    delete h;
    ran = static_cast<int>(capture.size());
  });
  h->ev(nullptr);  // ASan reports a use after free if the call ran on the deleted closure
  EXPECT_EQ(ran, 100);
}

TEST(Sets, BehaveAsTheLibrarySets) {
  TShiftState s{ssShift, ssLeft};
  EXPECT_TRUE(s.Contains(ssLeft));
  EXPECT_FALSE(s.Contains(ssCtrl));
  s << ssCtrl >> ssShift;
  EXPECT_EQ(s, (TShiftState{ssCtrl, ssLeft}));
  EXPECT_EQ((s - TShiftState{ssLeft}), TShiftState{ssCtrl});
  EXPECT_TRUE(TShiftState{}.Empty());
}

TEST(Components, ReferencesAreClearedWhenTheirComponentGoes) {
  TForm f(nullptr);
  auto* menu = new TPopupMenu(&f);
  auto* label = new TLabel(&f);
  label->SetParent(&f);
  label->SetPopupMenu(menu);
  auto* edit = new TEdit(&f);
  edit->SetParent(&f);
  f.SetActiveControl(edit);
  delete menu;
  EXPECT_EQ(label->PopupMenu(), nullptr);
  delete edit;
  EXPECT_EQ(f.ActiveControl(), nullptr);
  EXPECT_EQ(f.ControlCount(), 1);
}

TEST(Components, ControlsCopyTheirParentsFontUntilTheyChangeTheirOwn) {
  TForm f(nullptr);
  f.Font()->SetName("ＭＳ Ｐゴシック");
  auto* a = new TLabel(&f);
  a->SetParent(&f);
  EXPECT_EQ(a->Font()->Name(), "ＭＳ Ｐゴシック");
  EXPECT_TRUE(a->ParentFont());
  f.Font()->SetHeight(-16);
  EXPECT_EQ(a->Font()->Height(), -16) << "follows the parent while ParentFont";
  a->Font()->SetColor(clNavy);
  EXPECT_FALSE(a->ParentFont());
  f.Font()->SetHeight(-20);
  EXPECT_EQ(a->Font()->Height(), -16) << "its own font now";
  a->SetParentFont(true);
  EXPECT_EQ(a->Font()->Height(), -20);
  EXPECT_EQ(a->Font()->Color(), f.Font()->Color());
}

TEST(Fonts, SizeAndHeightAgreeAtNinetySixPixelsPerInch) {
  TFont font;
  font.SetHeight(-12);
  EXPECT_EQ(font.Size(), 9);
  font.SetSize(12);
  EXPECT_EQ(font.Height(), -16);
  EXPECT_EQ(CharsetToIdent(128), "SHIFTJIS_CHARSET");
  EXPECT_EQ(IdentToCharset("shiftjis_charset"), 128);
  EXPECT_EQ(ColorToIdent(static_cast<std::int32_t>(0xFF00000F)), "clBtnFace");
  EXPECT_EQ(IdentToColor("clNavy"), 0x800000);
  EXPECT_EQ(ColorToIdent(0x123456), std::nullopt);
}

TEST(TabOrder, RequestsKeepTheirPlacesAndOthersFillTheGaps) {
  TForm f(nullptr);
  auto add = [&](const char* name) {
    auto* e = new TEdit(&f);
    e->SetName(name);
    e->SetParent(&f);
    return e;
  };
  TEdit* a = add("A");
  TEdit* b = add("B");
  TEdit* c = add("C");
  EXPECT_EQ(a->TabOrder(), 0);
  EXPECT_EQ(c->TabOrder(), 2);
  c->SetTabOrder(0);
  EXPECT_EQ(c->TabOrder(), 0);
  EXPECT_EQ(a->TabOrder(), 1);
  EXPECT_EQ(b->TabOrder(), 2);
  b->SetTabOrder(99);  // past the end: last
  EXPECT_EQ(b->TabOrder(), 2);
  // Read back from form data, the order is the same.
  TForm g(nullptr);
  g.ReadFormData(WriteComponentToBytes(&f));
  std::vector<std::string> names;
  for (TWinControl* w : g.TabList()) names.push_back(w->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"C", "A", "B"}));
}

TEST(TabOrder, TheFirstFocusableControlSkipsHiddenDisabledAndNonStops) {
  TForm f(nullptr);
  auto* hidden = new TEdit(&f);
  hidden->SetParent(&f);
  hidden->SetVisible(false);
  auto* disabled = new TEdit(&f);
  disabled->SetParent(&f);
  disabled->SetEnabled(false);
  auto* bar = new TProgressBar(&f);  // not a tab stop
  bar->SetParent(&f);
  auto* panel = new TPanel(&f);
  panel->SetParent(&f);
  auto* inner = new TEdit(&f);  // inside the panel: after it in tab order
  inner->SetParent(panel);
  auto* last = new TEdit(&f);
  last->SetParent(&f);
  EXPECT_EQ(f.FindFirstFocusable(), nullptr) << "nothing takes the focus on a hidden form";
  f.Show();
  EXPECT_EQ(f.FindFirstFocusable(), inner);
  panel->SetVisible(false);
  EXPECT_EQ(f.FindFirstFocusable(), last);
}

TEST(Layout, AClientAlignedControlFillsWhatIsLeft) {
  TForm f(nullptr);
  f.SetClientSize(494, 314);
  EXPECT_EQ(f.ClientWidth(), 494);
  EXPECT_EQ(f.ClientHeight(), 314);
  auto* top = new TPanel(&f);
  top->SetParent(&f);
  top->SetHeight(40);
  top->SetAlign(alTop);
  auto* img = new TImage(&f);
  img->SetParent(&f);
  img->SetAlign(alClient);
  EXPECT_EQ(top->BoundsRect(), (TRect{0, 0, 494, 40}));
  EXPECT_EQ(img->BoundsRect(), (TRect{0, 40, 494, 314}));
  f.SetClientSize(600, 400);
  EXPECT_EQ(img->BoundsRect(), (TRect{0, 40, 600, 400}));
}

TEST(ProgressBar, StaysWithinItsRange) {
  TProgressBar bar(nullptr);
  EXPECT_EQ(bar.Max(), 100);
  bar.SetMax(10);
  bar.StepBy(4);
  bar.StepBy(4);
  bar.StepBy(4);
  EXPECT_EQ(bar.Position(), 10);
  bar.StepBy(-30);
  EXPECT_EQ(bar.Position(), 0);
  bar.SetPosition(7);
  bar.SetMax(5);
  EXPECT_EQ(bar.Position(), 5);
  bar.StepBy(2147483647);  // no overflow on the way
  EXPECT_EQ(bar.Position(), 5);
}

TEST(Forms, CloseActionsDecideWhatHappens) {
  auto* main = new TForm(Application);
  auto* second = new TForm(Application);
  Application->SetMainForm(main);
  second->Show();
  TCloseAction wanted = caNone;
  int closes = 0;
  second->OnClose = TCloseEvent([&](TObject*, TCloseAction& a) {
    EXPECT_EQ(a, caHide);
    a = wanted;
    ++closes;
  });
  second->Close();
  EXPECT_TRUE(second->Visible()) << "caNone keeps it";
  wanted = caHide;
  second->Close();
  EXPECT_FALSE(second->Visible());
  wanted = caFree;
  int destroyed = 0;
  second->OnDestroy = TNotifyEvent([&](TObject*) { ++destroyed; });
  second->Close();
  EXPECT_EQ(destroyed, 0) << "released later, not inside Close";
  Application->ProcessMessages();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(closes, 3);
  EXPECT_FALSE(Application->Terminated());
  main->Close();
  EXPECT_TRUE(Application->Terminated()) << "closing the main form ends the program";
  Application->SetMainForm(nullptr);
  delete main;
}

TEST(Forms, ClientSizeOrOuterSizeIsStoredWhicheverWasSet) {
  TForm a(nullptr);
  a.SetBounds(213, 120, 510, 352);
  std::string outer = WriteComponentToBytes(&a);
  EXPECT_NE(outer.find(std::string("\x05" "Width" "\x03\xFE\x01", 9)), std::string::npos);
  EXPECT_EQ(outer.find("ClientWidth"), std::string::npos);
  a.SetClientSize(494, 314);
  a.SetPosition(poScreenCenter);
  std::string client = WriteComponentToBytes(&a);
  EXPECT_NE(client.find(std::string("\x0B" "ClientWidth" "\x03\xEE\x01", 15)), std::string::npos);
  EXPECT_EQ(client.find("\x05Width"), std::string::npos);
  // PixelsPerInch and TextHeight come last, after the published properties.
  EXPECT_LT(client.find("Position"), client.find("PixelsPerInch"));
}

TEST(Pictures, DataHoldsTheClassNameTheLengthAndTheJpeg) {
  std::string jpeg = testing_support::ReadFileBytes(testing_support::SourceDir() / "tests/tools/formc/forms/Gradient.jpg");
  TForm f(nullptr);
  f.SetName("F");
  auto* img = new TImage(&f);
  img->SetName("Image1");
  img->SetParent(&f);
  img->Picture()->LoadJpegBytes(jpeg);
  std::string data = WriteComponentToBytes(&f);
  std::string block = std::string("\x0ATJPEGImage", 11);
  std::uint32_t n = static_cast<std::uint32_t>(jpeg.size());
  block += std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8), 0, 0} + jpeg;
  std::uint32_t total = static_cast<std::uint32_t>(block.size());
  std::string expected = std::string("\x0CPicture.Data\x0A", 14) +
                         std::string{static_cast<char>(total & 0xFF), static_cast<char>(total >> 8), 0, 0} + block;
  EXPECT_NE(data.find(expected), std::string::npos);
  // A picture class other than the JPEG one is refused with the block's offset.
  std::string bad = data;
  std::size_t at = bad.find("TJPEGImage");
  bad.replace(at, 10, "TBitmapXYZ");
  TForm g(nullptr);
  try {
    g.ReadFormData(bad);
    FAIL() << "accepted";
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("TBitmapXYZ"), std::string::npos) << e.what();
    EXPECT_EQ(*e.Offset(), data.find("\x0CPicture.Data") + 13);
  }
  // A damaged JPEG is refused too, not kept half-decoded.
  std::string broken = data;
  std::size_t sos = broken.find("\xFF\xDA");
  ASSERT_NE(sos, std::string::npos);
  broken.replace(sos, 2, "\xFF\x01");
  TForm h(nullptr);
  EXPECT_THROW(h.ReadFormData(broken), EReadError);
}

// A picture whose header claims more pixels than a form could show is refused before its
// buffer is made (8192 x 4096 would be 96 MiB of RGB in a 32-bit process).
TEST(Pictures, HugeDimensionsAreRefusedBeforeAllocating) {
  std::string jpeg = testing_support::ReadFileBytes(testing_support::SourceDir() / "tests/tools/formc/forms/Gradient.jpg");
  std::size_t sof = jpeg.find("\xFF\xC0");
  if (sof == std::string::npos) sof = jpeg.find("\xFF\xC2");
  ASSERT_NE(sof, std::string::npos);
  // Marker, length (2), precision (1), then height and width, big-endian.
  jpeg.replace(sof + 5, 4, std::string("\x10\x00\x20\x00", 4));
  TForm f(nullptr);
  auto* img = new TImage(&f);
  try {
    img->Picture()->LoadJpegBytes(jpeg);
    FAIL() << "accepted";
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("unsupported JPEG layout"), std::string::npos) << e.what();
  }
}

TEST(Reader, DesignModeAssignsWithoutLoading) {
  struct TProbe : TComponent {
    explicit TProbe(TComponent* o) : TComponent(o) {}
  };
  TForm f(nullptr);
  f.SetName("F");
  auto* t = new TTimer(&f);
  t->SetName("Timer1");
  t->SetInterval(250);
  std::string data = WriteComponentToBytes(&f);
  TForm g(nullptr);
  g.SetDesigning(true);
  TReader r(data, TReader::Mode::kDesign);
  r.ReadRootComponent(&g);
  auto* back = dynamic_cast<TTimer*>(g.FindComponent("Timer1"));
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(back->ComponentState().Contains(csDesigning));
  EXPECT_FALSE(back->ComponentState().Contains(csLoading));
  EXPECT_EQ(back->Interval(), 250u);
}

TEST(Application, TheErrorBoxMessageAndTheSilentAbort) {
  std::vector<std::string> shown;
  Application->OnException = [&](const std::string& m) { shown.push_back(m); };
  Application->HandleException(Exception("ファイルがありません"));
  Application->HandleException(Exception("Done."));
  Application->HandleException(Exception("Really!"));
  Application->HandleException(EAbort());
  try {
    Abort();
  } catch (...) {
    Application->HandleCurrentException();
  }
  try {
    throw 42;
  } catch (...) {
    Application->HandleCurrentException();
  }
  Application->OnException = nullptr;
  EXPECT_EQ(shown, (std::vector<std::string>{"ファイルがありません.", "Done.", "Really!", "Unknown exception."}));
}
