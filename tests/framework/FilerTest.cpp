// Form data: round trips through the writer and reader, the storing rules, the value types an
// independent writer may use, and malformed data (errors name the offset; nothing crashes).
#include <gtest/gtest.h>

#include <random>

#include "framework/ClassBuilder.h"
#include "framework/ExtCtrls.h"
#include "framework/Filer.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "text/CodePage.h"

namespace {

enum TKind { tkOne, tkTwo, tkThree };

}  // namespace
FW_ENUM_NAMES(TKind, "tkOne", "tkTwo", "tkThree");
namespace {

using TKinds = TSet<TKind>;

// A component with one property of each kind, and a binary block of its own.
class TSample : public TComponent {
  FW_CLASS(TSample, TComponent)
  explicit TSample(TComponent* owner) : TComponent(owner) {}
  int count = 3;            // default 3
  int always = 0;           // no default: always stored
  bool flag = true;         // default true
  bool plain = false;       // no default
  std::string title;
  TKind kind = tkOne;       // default tkOne
  TKinds kinds{tkOne};      // default [tkOne]
  TColor color = clBtnFace; // default clBtnFace
  double ratio = 0;
  TComponent* buddy = nullptr;
  TNotifyEvent OnPing;
  int readOnly() const { return 42; }
  bool hasBlock = false;
  std::string block;
  std::vector<std::string> loadedLog;

  void DefineProperties(TFiler& filer) override {
    filer.DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
          block.assign(static_cast<std::size_t>(s.Size()), '\0');
          if (!block.empty()) s.ReadBuffer(block.data(), block.size());
          hasBlock = true;
        },
        [this](TStream& s) { s.WriteBytes(block); }, hasBlock);
  }
  void Loaded() override {
    TComponent::Loaded();
    loadedLog.push_back(title);
  }
};

const TClassInfo& SampleInfo() {
  static const TClassInfo info =
      TClassBuilder<TSample>("TSample", &TComponent::StaticClass())
          .Creatable()
          .Property("Count", &TSample::count, &TSample::count).Default(3)
          .Property("Always", &TSample::always, &TSample::always)
          .Property("Flag", &TSample::flag, &TSample::flag).Default(true)
          .Property("Plain", &TSample::plain, &TSample::plain)
          .Property("Title", &TSample::title, &TSample::title)
          .Property("Kind", &TSample::kind, &TSample::kind).Default(tkOne)
          .Property("Kinds", &TSample::kinds, &TSample::kinds).Default(TKinds{tkOne})
          .Property("Color", &TSample::color, &TSample::color).Default(clBtnFace)
          .Property("Ratio", &TSample::ratio, &TSample::ratio)
          .Property("Buddy", &TSample::buddy, &TSample::buddy)
          .Property("OnPing", &TSample::OnPing, &TSample::OnPing)
          .Property("ReadOnly", &TSample::readOnly)
          .Build();
  return info;
}

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

const TClassInfo& TSample::StaticClass() { return SampleInfo(); }
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

// A tiny writer of raw form data, independent of TWriter, for data an older or foreign
// writer would produce.
struct Raw {
  std::string s = "TPF0";
  Raw& B(int b) { s += static_cast<char>(b); return *this; }
  Raw& Str(const std::string& t) { B(static_cast<int>(t.size())); s += t; return *this; }
  Raw& U32(std::uint32_t v) { for (int i = 0; i < 4; ++i) B(static_cast<int>((v >> (8 * i)) & 0xFF)); return *this; }
  Raw& Bytes(const std::string& t) { s += t; return *this; }
};

std::string RoundTrip(TComponent* root) { return WriteComponentToBytes(root); }

std::unique_ptr<THolder> Load(const std::string& data) {
  auto h = std::make_unique<THolder>(nullptr);
  h->ReadFormData(data);
  return h;
}

// Properties of the first (only) child as the stream has them: name -> raw value bytes.
bool Contains(const std::string& data, const std::string& needle) { return data.find(needle) != std::string::npos; }

}  // namespace

TEST(FormStream, DefaultsDecideWhatIsStored) {
  RegisterComponentClass(TSample::StaticClass());
  THolder h(nullptr);
  h.SetName("Holder");
  auto* s = new TSample(&h);
  s->SetName("First");
  std::string fresh = RoundTrip(&h);
  // At their defaults: Count, Flag, Kind, Kinds, Color, Tag are not written...
  for (const char* name : {"\x05" "Count", "\x04" "Flag", "\x04" "Kind", "\x05" "Kinds", "\x05" "Color", "\x03" "Tag"})
    EXPECT_FALSE(Contains(fresh, std::string(name) + "\x02")) << name;
  // ...while properties without a default always are; empty strings, zero floats, nil
  // references, unbound events and read-only properties are not.
  EXPECT_TRUE(Contains(fresh, std::string("\x06" "Always" "\x02\x00", 9)));
  EXPECT_TRUE(Contains(fresh, std::string("\x05" "Plain" "\x08", 7)));
  EXPECT_FALSE(Contains(fresh, "Title"));
  EXPECT_FALSE(Contains(fresh, "Ratio"));
  EXPECT_FALSE(Contains(fresh, "Buddy"));
  EXPECT_FALSE(Contains(fresh, "OnPing"));
  EXPECT_FALSE(Contains(fresh, "ReadOnly"));
  EXPECT_FALSE(Contains(fresh, "Data"));

  s->count = 4;
  s->flag = false;
  s->kind = tkThree;
  s->kinds = {};
  s->color = clRed;
  std::string changed = RoundTrip(&h);
  EXPECT_TRUE(Contains(changed, std::string("\x05" "Count" "\x02\x04", 8)));
  EXPECT_TRUE(Contains(changed, std::string("\x04" "Flag" "\x08", 6)));
  EXPECT_TRUE(Contains(changed, std::string("\x04" "Kind" "\x07\x07" "tkThree", 14)));
  EXPECT_TRUE(Contains(changed, std::string("\x05" "Kinds" "\x0B\x00", 8)));  // the empty set
  EXPECT_TRUE(Contains(changed, std::string("\x05" "Color" "\x07\x05" "clRed", 13)));
}

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

TEST(FormStream, StringsAreCodePage932WithTheRightValueType) {
  TForm f(nullptr);
  f.SetName("F");
  f.SetCaption("アップデート");
  std::string data = RoundTrip(&f);
  std::string sjis = *text::FromUtf8("アップデート");
  EXPECT_TRUE(Contains(data, std::string("\x07" "Caption" "\x06", 9) + static_cast<char>(sjis.size()) + sjis));
  // A character code page 932 lacks keeps the text exactly, as a wide string.
  f.SetCaption("Ω€ü");
  data = RoundTrip(&f);
  EXPECT_TRUE(Contains(data, std::string("\x07" "Caption" "\x12\x03\x00\x00\x00", 13)));
  TForm g(nullptr);
  g.ReadFormData(data);
  EXPECT_EQ(g.Caption(), "Ω€ü");
}

TEST(FormStream, IntegersTakeTheSmallestWidth) {
  struct Case {
    std::int64_t v;
    std::string bytes;
  } cases[] = {{0, std::string("\x02\x00", 2)},          {127, "\x02\x7F"},
               {-128, "\x02\x80"},                        {128, std::string("\x03\x80\x00", 3)},
               {-32768, std::string("\x03\x00\x80", 3)},  {32768, std::string("\x04\x00\x80\x00\x00", 5)},
               {-2147483648LL, std::string("\x04\x00\x00\x00\x80", 5)},
               {2147483648LL, std::string("\x13\x00\x00\x00\x80\x00\x00\x00\x00", 9)}};
  for (const Case& c : cases) {
    TMemoryStream s;
    TWriter w(s);
    w.WriteInteger(c.v);
    EXPECT_EQ(s.Bytes(), c.bytes) << c.v;
    TReader r(s.Bytes());
    EXPECT_EQ(r.ReadInteger(), c.v);
  }
}

TEST(FormStream, ExtendedFloatsMatchTheX87Layout) {
  unsigned char b[10];
  DoubleToExtended(1.5, b);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 10), std::string("\0\0\0\0\0\0\0\xC0\xFF\x3F", 10));
  for (double v : {0.0, -2.25, 1e-310, 3.0e300, 0.1, -1.0 / 3}) {
    DoubleToExtended(v, b);
    EXPECT_EQ(ExtendedToDouble(b), v) << v;
  }
}

TEST(FormStream, ReadsValueTypesOfOtherWriters) {
  RegisterComponentClass(TSample::StaticClass());
  std::string utf8 = "名前";
  std::u16string w = text::Utf8ToUtf16("ＭＳ");
  std::string wbytes;
  for (char16_t c : w) wbytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  float single = 2.5f;
  double dbl = -0.75;
  std::int64_t currency = 123456;  // 12.3456
  Raw r;
  r.Str("THolder").Str("Holder");
  r.Str("Caption").B(0x14).U32(static_cast<std::uint32_t>(utf8.size())).Bytes(utf8);        // vaUTF8String
  r.Str("Font.Name").B(0x12).U32(static_cast<std::uint32_t>(w.size())).Bytes(wbytes);        // vaWString
  r.B(0);
  r.B(0xF2).B(0x02).B(0x05);  // prefix: child position 5
  r.Str("TSample").Str("First");
  r.Str("Count").B(0x13).Bytes(std::string("\x07\0\0\0\0\0\0\0", 8));                       // vaInt64
  r.Str("Title").B(0x0C).U32(3).Bytes("abc");                                               // vaLString
  r.Str("Ratio").B(0x0F).Bytes(std::string(reinterpret_cast<char*>(&single), 4));           // vaSingle
  r.B(0);
  r.B(0);
  r.Str("TSample").Str("Second");
  r.Str("Ratio").B(0x15).Bytes(std::string(reinterpret_cast<char*>(&dbl), 8));              // vaDouble
  r.Str("Always").B(0x03).B(0x34).B(0x12);
  r.B(0);
  r.B(0);
  r.Str("TSample").Str("Third");
  r.Str("Ratio").B(0x10).Bytes(std::string(reinterpret_cast<char*>(&currency), 8));         // vaCurrency
  r.Str("Buddy").B(0x07).Str("Second");
  r.Str("Kinds").B(0x0B).Str("tkTwo").Str("tkThree").B(0);
  r.B(0);
  r.B(0);
  r.B(0);
  auto h = Load(r.s);
  EXPECT_EQ(h->Caption(), "名前");
  EXPECT_EQ(h->Font()->Name(), "ＭＳ");
  auto* first = h->First;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->count, 7);
  EXPECT_EQ(first->title, "abc");
  EXPECT_DOUBLE_EQ(first->ratio, 2.5);
  auto* second = static_cast<TSample*>(h->FindComponent("Second"));
  auto* third = static_cast<TSample*>(h->FindComponent("Third"));
  ASSERT_TRUE(second && third);
  EXPECT_DOUBLE_EQ(second->ratio, -0.75);
  EXPECT_EQ(second->always, 0x1234);
  EXPECT_DOUBLE_EQ(third->ratio, 12.3456);
  EXPECT_EQ(third->buddy, second);  // a reference to a component read later resolves too
  EXPECT_EQ(third->kinds, (TKinds{tkTwo, tkThree}));
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

TEST(FormStream, MalformedDataNamesTheOffset) {
  struct Case {
    std::string name;
    std::string data;
    std::uint64_t offset;
    const char* words;
  };
  RegisterComponentClass(TSample::StaticClass());
  std::vector<Case> cases = {
      {"signature", "TPF1", 0, "TPF0"},
      {"empty", "", 0, "TPF0"},
      {"wrong root class", Raw().Str("TOther").Str("X").B(0).B(0).s, 4, "class"},
      {"unknown property", Raw().Str("THolder").Str("H").Str("Bogus").B(0x08).B(0).B(0).s, 14, "Bogus"},
      {"unknown value type", Raw().Str("THolder").Str("H").Str("Caption").B(0x7E).B(0).B(0).s, 22, "value type"},
      {"wrong value kind", Raw().Str("THolder").Str("H").Str("Caption").B(0x02).B(0x05).B(0).B(0).s, 22, "String"},
      {"unknown enumeration", Raw().Str("THolder").Str("H").Str("Position").B(0x07).Str("poNowhere").B(0).B(0).s, 23,
       "poNowhere"},
      {"unknown class", Raw().Str("THolder").Str("H").B(0).Str("TNoSuchThing").Str("A").B(0).B(0).B(0).s, 15,
       "TNoSuchThing"},
      {"truncated string", Raw().Str("THolder").Str("H").Str("Caption").B(0x06).B(50).Bytes("ab").s, 24, "end"},
      {"huge binary length", Raw().Str("THolder").Str("H").B(0).Str("TSample").Str("First").Str("Data").B(0x0A)
                                 .U32(0xFFFFFFF0).s, 39, "end"},
      {"unknown element", Raw().Str("THolder").Str("H").Str("BorderIcons").B(0x0B).Str("biNope").B(0).B(0).B(0).s, 27,
       "biNope"},
      {"bad name", Raw().Str("THolder").Str("H").B(0).Str("TSample").Str("1st").B(0).B(0).B(0).s, 23, "name"},
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
  for (std::size_t n = 0; n < good.size(); ++n) {
    try {
      Load(good.substr(0, n));
      ADD_FAILURE() << "truncated to " << n << " bytes was accepted";
    } catch (const EReadError& e) {
      ASSERT_TRUE(e.Offset().has_value()) << n;
      EXPECT_LE(*e.Offset(), n) << n;
    }
  }
  std::mt19937 rng(20120502);
  int rejected = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bad = good;
    int flips = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < flips; ++k) bad[rng() % bad.size()] = static_cast<char>(rng() & 0xFF);
    try {
      Load(bad);
    } catch (const EReadError&) {
      ++rejected;
    }
  }
  EXPECT_GT(rejected, 1000);  // most damage is noticed; none of it may crash (ASan watches)
}

TEST(Components, OwnerDestroysNewestFirstAndFieldsDoNotDangle) {
  std::vector<std::string> order;
  struct TLogged : TComponent {
    std::vector<std::string>* log;
    TLogged(TComponent* o, std::vector<std::string>* l) : TComponent(o), log(l) {}
    ~TLogged() override { log->push_back(Name()); }
  };
  {
    THolder h(nullptr);
    (new TLogged(&h, &order))->SetName("A");
    (new TLogged(&h, &order))->SetName("B");
    EXPECT_THROW((new TLogged(&h, &order))->SetName("a"), Exception);  // names are case-insensitive
    auto* l = new TLabel(&h);
    l->SetName("Label1");
    h.Label1 = l;
    delete l;
    EXPECT_EQ(h.Label1, nullptr);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"", "B", "A"}));
}

namespace {

class TBand : public TCollectionItem {
  FW_CLASS(TBand, TCollectionItem)
  explicit TBand(TCollection* c) : TCollectionItem(c) {}
  int width = 50;
  std::string text;
};

class TBandHolder : public TComponent {
  FW_CLASS(TBandHolder, TComponent)
  explicit TBandHolder(TComponent* owner)
      : TComponent(owner), bands([](TCollection* c) { return std::make_unique<TBand>(c); }) {}
  TCollection* Bands() const { return const_cast<TCollection*>(&bands); }
  TCollection bands;
};

}  // namespace

const TClassInfo& TBand::StaticClass() {
  static const TClassInfo info = TClassBuilder<TBand>("TBand", &TCollectionItem::StaticClass())
                                     .Property("Text", &TBand::text, &TBand::text)
                                     .Property("Width", &TBand::width, &TBand::width).Default(50)
                                     .Build();
  return info;
}

const TClassInfo& TBandHolder::StaticClass() {
  static const TClassInfo info = TClassBuilder<TBandHolder>("TBandHolder", &TComponent::StaticClass())
                                     .Creatable()
                                     .Property("Bands", &TBandHolder::Bands)
                                     .Build();
  return info;
}

namespace {
const RegisterClassOf<TBandHolder> registerBandHolder;
}

TEST(FormStream, CollectionsRoundTripAndAcceptOrderIndexes) {
  TForm f(nullptr);
  f.SetName("F");
  auto* h = new TBandHolder(&f);
  h->SetName("Holder1");
  auto* b0 = static_cast<TBand*>(h->bands.Add());
  b0->text = "一";
  auto* b1 = static_cast<TBand*>(h->bands.Add());
  b1->width = 75;
  std::string data = WriteComponentToBytes(&f);
  // Item 0: Text only (Width at its default); item 1: Width only.
  std::string sjis = *text::FromUtf8("一");
  EXPECT_NE(data.find(std::string("\x05" "Bands" "\x0E\x01\x04" "Text" "\x06\x02", 15) + sjis +
                      std::string("\x00\x01\x05" "Width" "\x02\x4B\x00\x00", 12)),
            std::string::npos);
  TForm g(nullptr);
  g.ReadFormData(data);
  auto* back = dynamic_cast<TBandHolder*>(g.FindComponent("Holder1"));
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->bands.Count(), 2);
  EXPECT_EQ(static_cast<TBand*>(back->bands.Items(0))->text, "一");
  EXPECT_EQ(static_cast<TBand*>(back->bands.Items(1))->width, 75);
  // A writer that numbers its items (an integer before each item's list) is read too.
  Raw r;
  r.Str("TForm").Str("G").B(0).Str("TBandHolder").Str("H2").Str("Bands").B(0x0E);
  r.B(0x02).B(0x00).B(0x01).Str("Width").B(0x02).B(0x07).B(0);
  r.B(0x02).B(0x01).B(0x01).B(0);
  r.B(0).B(0).B(0).B(0);
  TForm k(nullptr);
  k.ReadFormData(r.s);
  auto* h2 = dynamic_cast<TBandHolder*>(k.FindComponent("H2"));
  ASSERT_NE(h2, nullptr);
  ASSERT_EQ(h2->bands.Count(), 2);
  EXPECT_EQ(static_cast<TBand*>(h2->bands.Items(0))->width, 7);
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

TEST(FormStream, UnpublishedAndReadOnlyPropertiesAreNotStreamed) {
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
  // A read-only property that another writer stored is passed over, not assigned.
  RegisterComponentClass(TSample::StaticClass());
  Raw r;
  r.Str("THolder").Str("H").B(0).Str("TSample").Str("First").Str("ReadOnly").B(0x02).B(0x05).Str("Always").B(0x02).B(9);
  r.B(0).B(0).B(0);
  auto h = Load(r.s);
  ASSERT_NE(h->First, nullptr);
  EXPECT_EQ(h->First->always, 9) << "reading went on after the read-only property";
}
