// The controls and forms in form data and in use: forms as roots with their published fields
// and methods, labels, list boxes, pictures, menus and panels streamed; ownership, fonts, tab
// order, alignment, progress bars, close actions and the error box.
#include <gtest/gtest.h>

#include "framework/ClassBuilder.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "support/TestPaths.h"
#include "support/SampleComponent.h"
#include "text/CodePage.h"

namespace {

class THolder : public TForm {
  FW_CLASS(THolder, TForm)
  explicit THolder(TComponent* owner) : TForm(owner) {}
  TSample* First = nullptr;
  TLabel* Label1 = nullptr;
  int pings = 0;
  TObject* lastSender = nullptr;
  void Ping(TObject* sender) {
    ++pings;
    lastSender = sender;
  }
  void Closing(TObject*, TCloseAction& a) { a = caFree; }
};

}  // namespace

const TClassInfo& THolder::StaticClass() {
  static const TClassInfo info = TClassBuilder<THolder>("THolder", &TForm::StaticClass())
                                     .Creatable()
                                     .Field("First", &THolder::First)
                                     .Field("Label1", &THolder::Label1)
                                     .Method("Ping", &THolder::Ping)
                                     .Method("Closing", &THolder::Closing)
                                     .Build();
  return info;
}

namespace {

std::string RoundTrip(TComponent* root) { return WriteComponentToBytes(root); }

std::unique_ptr<THolder> Load(const std::string& data) {
  auto h = std::make_unique<THolder>(nullptr);
  h->ReadFormData(data);
  return h;
}

// Properties of the first (only) child as the stream has them: name -> raw value bytes.
bool Contains(const std::string& data, const std::string& needle) { return data.find(needle) != std::string::npos; }

}  // namespace

TEST(FormStream, RoundTripKeepsEveryKindAndBindsByName) {
  RegisterComponentClass(TSample::StaticClass());
  THolder h(nullptr);
  h.SetName("Holder");
  h.SetCaption("「Norvex」アップデート");
  h.SetClientSize(494, 314);
  h.SetBorderIcons({biSystemMenu});
  h.Font()->SetCharset(128);
  h.Font()->SetName("ＭＳ Ｐゴシック");
  h.Font()->SetHeight(-12);
  auto* s = new TSample(&h);
  s->SetName("First");
  s->count = 100000;
  s->always = -200;
  s->title = std::string(300, 'x') + "漢字";  // long: vaLString
  s->kind = tkTwo;
  s->kinds = {tkOne, tkThree};
  s->color = MakeColor(0x123456);
  s->ratio = 1.5;
  s->buddy = &h;
  s->OnPing = TNotifyEvent([](TObject*) {}, "Ping");
  s->hasBlock = true;
  s->block = std::string("\x00\x01\xFF", 3);
  auto* l = new TLabel(&h);
  l->SetName("Label1");
  l->SetParent(&h);
  l->SetCaption("トヴォ顧客管理システムを終了してください。");
  l->SetBounds(237, 88, 225, 12);
  l->SetTransparent(true);
  l->Font()->SetStyle({fsBold});
  std::string data = RoundTrip(&h);

  auto back = Load(data);
  EXPECT_EQ(back->Name(), "Holder");
  EXPECT_EQ(back->Caption(), "「Norvex」アップデート");
  EXPECT_EQ(back->BorderIcons(), TBorderIcons{biSystemMenu});
  EXPECT_TRUE(back->IsClientSizeStored());
  EXPECT_EQ(back->Font()->Name(), "ＭＳ Ｐゴシック");
  EXPECT_EQ(back->Font()->Charset(), 128);
  ASSERT_NE(back->First, nullptr);
  TSample& t = *back->First;
  EXPECT_EQ(t.count, 100000);
  EXPECT_EQ(t.always, -200);
  EXPECT_EQ(t.title, s->title);
  EXPECT_EQ(t.kind, tkTwo);
  EXPECT_EQ(t.kinds, (TKinds{tkOne, tkThree}));
  EXPECT_EQ(t.color, MakeColor(0x123456));
  EXPECT_DOUBLE_EQ(t.ratio, 1.5);
  EXPECT_EQ(t.buddy, back.get());
  EXPECT_TRUE(t.hasBlock);
  EXPECT_EQ(t.block, std::string("\x00\x01\xFF", 3));
  // The event is bound to the form's published method, which then really runs.
  t.OnPing(&t);
  EXPECT_EQ(back->pings, 1);
  EXPECT_EQ(back->lastSender, &t);
  ASSERT_NE(back->Label1, nullptr);
  EXPECT_EQ(back->Label1->Parent(), back.get());
  EXPECT_EQ(back->Label1->Caption(), "トヴォ顧客管理システムを終了してください。");
  EXPECT_EQ(back->Label1->Left(), 237);
  EXPECT_TRUE(back->Label1->Transparent());
  EXPECT_TRUE(back->Label1->Font()->Style().Contains(fsBold));
  EXPECT_FALSE(back->Label1->ParentFont());
  // Loaded ran once per component, after everything was read, with csLoading cleared.
  EXPECT_EQ(t.loadedLog, std::vector<std::string>{s->title});
  EXPECT_FALSE(t.ComponentState().Contains(csLoading));
  // Writing what was read gives the same bytes.
  EXPECT_EQ(RoundTrip(back.get()), data);
}

TEST(FormStream, StringListsAndPicturesUseTheirDefinedProperties) {
  TForm f(nullptr);
  f.SetName("F");
  auto* lb = new TListBox(&f);
  lb->SetName("ListBox1");
  lb->SetParent(&f);
  lb->Items()->Add("N_UpDate120502.lzh");
  lb->Items()->Add("二番目");
  std::string data = RoundTrip(&f);
  std::string sjis = *text::FromUtf8("二番目");
  EXPECT_TRUE(Contains(data, std::string("\x0D" "Items.Strings" "\x01\x06\x12" "N_UpDate120502.lzh" "\x06", 36) +
                                 static_cast<char>(sjis.size()) + sjis + std::string("\x00", 1)));
  TForm g(nullptr);
  g.ReadFormData(data);
  auto* back = dynamic_cast<TListBox*>(g.FindComponent("ListBox1"));
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->Items()->Count(), 2);
  EXPECT_EQ((*back->Items())[1], "二番目");
}

TEST(FormStream, MissingMethodOrWrongFieldClassIsAnError) {
  RegisterComponentClass(TSample::StaticClass());
  Raw a;
  a.Str("THolder").Str("H").B(0).Str("TSample").Str("First").Str("OnPing").B(0x07).Str("Nope").B(0).B(0).B(0);
  try {
    Load(a.s);
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("Nope"), std::string::npos) << e.what();
    EXPECT_TRUE(e.Offset().has_value());
  }
  // Label1 is a TLabel field: a TSample named Label1 does not fit it.
  Raw b;
  b.Str("THolder").Str("H").B(0).Str("TSample").Str("Label1").B(0).B(0).B(0);
  EXPECT_THROW(Load(b.s), EReadError);
  // The close event wants (Sender, Action&): Ping does not fit it.
  Raw c;
  c.Str("THolder").Str("H").Str("OnClose").B(0x07).Str("Ping").B(0).B(0);
  EXPECT_THROW(Load(c.s), EReadError);
  Raw d;
  d.Str("THolder").Str("H").Str("OnClose").B(0x07).Str("Closing").B(0).B(0);
  auto h = Load(d.s);
  TCloseAction act = caHide;
  h->OnClose(h.get(), act);
  EXPECT_EQ(act, caFree);
}

TEST(FormStream, BadValuesOfTheFormsOwnPropertiesNameTheOffset) {
  struct Case {
    std::string name;
    std::string data;
    std::uint64_t offset;
    const char* words;
  };
  RegisterComponentClass(TSample::StaticClass());
  std::vector<Case> cases = {
      {"wrong value kind", Raw().Str("THolder").Str("H").Str("Caption").B(0x02).B(0x05).B(0).B(0).s, 22, "String"},
      {"unknown enumeration", Raw().Str("THolder").Str("H").Str("Position").B(0x07).Str("poNowhere").B(0).B(0).s, 23,
       "poNowhere"},
      {"unknown element", Raw().Str("THolder").Str("H").Str("BorderIcons").B(0x0B).Str("biNope").B(0).B(0).B(0).s, 27,
       "biNope"},
  };
  for (const Case& c : cases) {
    try {
      Load(c.data);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const EReadError& e) {
      ASSERT_TRUE(e.Offset().has_value()) << c.name;
      EXPECT_EQ(*e.Offset(), c.offset) << c.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << c.name << ": " << e.what();
    }
  }
}

// A class name's length byte of F0 or more is where a reader expects an object prefix, so the
// writer once wrote form data for such a name that no reader could read back.

// A class name's length byte of F0 or more is where a reader expects an object prefix, so the
// writer once wrote form data for such a name that no reader could read back.
TEST(FormStream, ClassNamesThatWouldReadAsAPrefixAreRefusedByTheWriter) {
  const std::string longest(239, 'T');
  TForm fits(nullptr);
  fits.PoseAsClass(longest);
  const std::string written = WriteComponentToBytes(&fits);
  EXPECT_EQ(TReader::ReadRootClassName(written), longest);
  TForm back(nullptr);
  back.PoseAsClass(longest);
  EXPECT_NO_THROW(TReader(written).ReadRootComponent(&back));

  for (std::size_t size : {240, 255}) {
    TForm tooLong(nullptr);
    tooLong.PoseAsClass(std::string(size, 'T'));
    try {
      WriteComponentToBytes(&tooLong);
      ADD_FAILURE() << size << " bytes: written";
    } catch (const EWriteError& e) {
      EXPECT_NE(std::string(e.what()).find(std::to_string(size) + " bytes"), std::string::npos) << e.what();
    }
  }
}

TEST(FormStream, EveryTruncationAndRandomDamageFailsCleanly) {
  RegisterComponentClass(TSample::StaticClass());
  THolder h(nullptr);
  h.SetName("Holder");
  h.SetCaption("テスト");
  auto* s = new TSample(&h);
  s->SetName("First");
  s->title = "abc";
  s->kinds = {tkTwo};
  s->ratio = 2.0;
  s->hasBlock = true;
  s->block = "xyz";
  auto* lb = new TListBox(&h);
  lb->SetName("List");
  lb->SetParent(&h);
  lb->Items()->Add("a");
  auto* img = new TImage(&h);
  img->SetName("Image1");
  img->SetParent(&h);
  std::string good = RoundTrip(&h);
  ASSERT_NO_THROW(Load(good));
  ExpectDamageFailsCleanly(good, [](const std::string& data) { Load(data); });
}

TEST(FormStream, MenusNestTheirItemsInsideThemselves) {
  TForm f(nullptr);
  f.SetName("F");
  auto* menu = new TPopupMenu(&f);
  menu->SetName("PopupMenu1");
  auto* open = new TMenuItem(&f);
  open->SetName("Open1");
  open->SetCaption("開く(&O)");
  menu->Items()->Add(open);
  auto* sub = new TMenuItem(&f);
  sub->SetName("Sub1");
  sub->SetCaption("下");
  open->Add(sub);
  std::string data = WriteComponentToBytes(&f);
  TForm g(nullptr);
  g.ReadFormData(data);
  auto* m = dynamic_cast<TPopupMenu*>(g.FindComponent("PopupMenu1"));
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->Items()->Count(), 1);
  TMenuItem* o = m->Items()->Items(0);
  EXPECT_EQ(o->Caption(), "開く(&O)");
  ASSERT_EQ(o->Count(), 1);
  EXPECT_EQ(o->Items(0)->Name(), "Sub1");
  EXPECT_EQ(WriteComponentToBytes(&g), data);
}

TEST(FormStream, UnpublishedPropertiesAreNotStreamed) {
  // TCustomPanel declares its bevels; TPanel publishes them, a bare descendant does not.
  struct TBare : TCustomPanel {
    explicit TBare(TComponent* o) : TCustomPanel(o) {}
  };
  EXPECT_EQ(TCustomPanel::StaticClass().FindProperty("BevelOuter"), nullptr);
  ASSERT_NE(TPanel::StaticClass().FindProperty("BevelOuter"), nullptr);
  TForm f(nullptr);
  f.SetName("F");
  auto* p = new TPanel(&f);
  p->SetName("Panel1");
  p->SetParent(&f);
  std::string plain = WriteComponentToBytes(&f);
  EXPECT_EQ(plain.find("BevelOuter"), std::string::npos) << "bvRaised is TPanel's default";
  p->SetBevelOuter(bvNone);
  std::string changed = WriteComponentToBytes(&f);
  EXPECT_NE(changed.find(std::string("\x0A" "BevelOuter" "\x07\x06" "bvNone", 19)), std::string::npos);
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
  // The 16 x 8 picture decoded: its size and one RGB triple a pixel, its bytes kept as given.
  EXPECT_EQ(img->Picture()->Width(), 16);
  EXPECT_EQ(img->Picture()->Height(), 8);
  auto* decoded = dynamic_cast<TJPEGImage*>(img->Picture()->Graphic());
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->Bytes(), jpeg);
  EXPECT_EQ(decoded->Rgb().size(), 16u * 8u * 3u);
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
