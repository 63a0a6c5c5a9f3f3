// Form data: round trips through the writer and reader, the storing rules, the value types an
// independent writer may use, and malformed data (errors name the offset; nothing crashes).
// The classes are the test's own, on the portable component core.
#include <gtest/gtest.h>

#include "framework/ClassBuilder.h"
#include "framework/Filer.h"
#include "support/SampleComponent.h"
#include "text/CodePage.h"

namespace {

// Some other component class, for a field that a TSample does not fit.
class TOther : public TComponent {
  FW_CLASS(TOther, TComponent)
  explicit TOther(TComponent* owner) : TComponent(owner) {}
};

using TAskEvent = TEvent<TObject*, int&>;

// The root of the form data: published properties of its own, fields bound by component
// name and methods that events bind to.
class THolder : public TComponent {
  FW_CLASS(THolder, TComponent)
  explicit THolder(TComponent* owner) : TComponent(owner) {}
  std::string caption;
  TKind shape = tkOne;
  TKinds marks;
  TAskEvent OnAsk;
  TSample* First = nullptr;
  TOther* Other = nullptr;
  int pings = 0;
  TObject* lastSender = nullptr;
  void Ping(TObject* sender) {
    ++pings;
    lastSender = sender;
  }
  void Answer(TObject*, int& answer) { answer = 42; }
};

// A root that stands for a class of another name, as a form of a class unknown here does.
class TPosing : public TComponent {
  FW_CLASS(TPosing, TComponent)
  explicit TPosing(TComponent* owner, std::string name = "TPosing") : TComponent(owner), name_(std::move(name)) {}
  std::string ClassName() const override { return name_; }

 private:
  std::string name_;
};

const RegisterClassOf<TSample> registerSample;
const RegisterClassOf<TOther> registerOther;

}  // namespace

const TClassInfo& TOther::StaticClass() {
  static const TClassInfo info = TClassBuilder<TOther>("TOther", &TComponent::StaticClass()).Creatable().Build();
  return info;
}

const TClassInfo& TPosing::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPosing>("TPosing", &TComponent::StaticClass()).Build();
  return info;
}

const TClassInfo& THolder::StaticClass() {
  static const TClassInfo info = TClassBuilder<THolder>("THolder", &TComponent::StaticClass())
                                     .Creatable()
                                     .Property("Caption", &THolder::caption, &THolder::caption)
                                     .Property("Shape", &THolder::shape, &THolder::shape).Default(tkOne)
                                     .Property("Marks", &THolder::marks, &THolder::marks).Default(TKinds{})
                                     .Property("OnAsk", &THolder::OnAsk, &THolder::OnAsk)
                                     .Field("First", &THolder::First)
                                     .Field("Other", &THolder::Other)
                                     .Method("Ping", &THolder::Ping)
                                     .Method("Answer", &THolder::Answer)
                                     .Build();
  return info;
}

namespace {

std::string RoundTrip(TComponent* root) { return WriteComponentToBytes(root); }

std::unique_ptr<THolder> Load(const std::string& data) {
  auto h = std::make_unique<THolder>(nullptr);
  TReader(data).ReadRootComponent(h.get());
  return h;
}

bool Contains(const std::string& data, const std::string& needle) { return data.find(needle) != std::string::npos; }

}  // namespace

TEST(FormStream, DefaultsDecideWhatIsStored) {
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
  THolder h(nullptr);
  h.SetName("Holder");
  h.caption = "「Norvex」アップデート";
  h.shape = tkThree;
  h.marks = {tkTwo};
  h.OnAsk = TAskEvent([](TObject*, int&) {}, "Answer");
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
  auto* o = new TOther(&h);
  o->SetName("Other");
  std::string data = RoundTrip(&h);

  auto back = Load(data);
  EXPECT_EQ(back->Name(), "Holder");
  EXPECT_EQ(back->caption, "「Norvex」アップデート");
  EXPECT_EQ(back->shape, tkThree);
  EXPECT_EQ(back->marks, TKinds{tkTwo});
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
  ASSERT_NE(back->Other, nullptr);
  EXPECT_EQ(back->Other->Owner(), back.get());
  // Events are bound to the root's published methods, which then really run.
  t.OnPing(&t);
  EXPECT_EQ(back->pings, 1);
  EXPECT_EQ(back->lastSender, &t);
  int answer = 0;
  back->OnAsk(back.get(), answer);
  EXPECT_EQ(answer, 42);
  // Loaded ran once per component, after everything was read, with csLoading cleared.
  EXPECT_EQ(t.loadedLog, std::vector<std::string>{s->title});
  EXPECT_FALSE(t.ComponentState().Contains(csLoading));
  // Writing what was read gives the same bytes.
  EXPECT_EQ(RoundTrip(back.get()), data);
}

TEST(FormStream, StringsAreCodePage932WithTheRightValueType) {
  THolder f(nullptr);
  f.SetName("F");
  f.caption = "アップデート";
  std::string data = RoundTrip(&f);
  std::string sjis = *text::FromUtf8("アップデート");
  EXPECT_TRUE(Contains(data, std::string("\x07" "Caption" "\x06", 9) + static_cast<char>(sjis.size()) + sjis));
  // A character code page 932 lacks keeps the text exactly, as a wide string.
  f.caption = "Ω€ü";
  data = RoundTrip(&f);
  EXPECT_TRUE(Contains(data, std::string("\x07" "Caption" "\x12\x03\x00\x00\x00", 13)));
  EXPECT_EQ(Load(data)->caption, "Ω€ü");
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
  std::string utf8 = "名前";
  float single = 2.5f;
  double dbl = -0.75;
  std::int64_t currency = 123456;  // 12.3456
  Raw r;
  r.Str("THolder").Str("Holder");
  r.Str("Caption").B(0x14).U32(static_cast<std::uint32_t>(utf8.size())).Bytes(utf8);        // vaUTF8String
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
  EXPECT_EQ(h->caption, "名前");
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

TEST(FormStream, MissingMethodOrWrongFieldClassIsAnError) {
  Raw a;
  a.Str("THolder").Str("H").B(0).Str("TSample").Str("First").Str("OnPing").B(0x07).Str("Nope").B(0).B(0).B(0);
  try {
    Load(a.s);
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("Nope"), std::string::npos) << e.what();
    EXPECT_TRUE(e.Offset().has_value());
  }
  // Other is a TOther field: a TSample named Other does not fit it.
  Raw b;
  b.Str("THolder").Str("H").B(0).Str("TSample").Str("Other").B(0).B(0).B(0);
  EXPECT_THROW(Load(b.s), EReadError);
  // OnAsk wants (Sender, int&): Ping does not fit it.
  Raw c;
  c.Str("THolder").Str("H").Str("OnAsk").B(0x07).Str("Ping").B(0).B(0);
  EXPECT_THROW(Load(c.s), EReadError);
  Raw d;
  d.Str("THolder").Str("H").Str("OnAsk").B(0x07).Str("Answer").B(0).B(0);
  auto h = Load(d.s);
  int answer = 0;
  h->OnAsk(h.get(), answer);
  EXPECT_EQ(answer, 42);
}

TEST(FormStream, MalformedDataNamesTheOffset) {
  struct Case {
    std::string name;
    std::string data;
    std::uint64_t offset;
    const char* words;
  };
  std::vector<Case> cases = {
      {"signature", "TPF1", 0, "TPF0"},
      {"empty", "", 0, "TPF0"},
      {"wrong root class", Raw().Str("TOther").Str("X").B(0).B(0).s, 4, "class"},
      {"unknown property", Raw().Str("THolder").Str("H").Str("Bogus").B(0x08).B(0).B(0).s, 14, "Bogus"},
      {"unknown value type", Raw().Str("THolder").Str("H").Str("Caption").B(0x7E).B(0).B(0).s, 22, "value type"},
      {"wrong value kind", Raw().Str("THolder").Str("H").Str("Caption").B(0x02).B(0x05).B(0).B(0).s, 22, "String"},
      {"unknown enumeration", Raw().Str("THolder").Str("H").Str("Shape").B(0x07).Str("tkNowhere").B(0).B(0).s, 20,
       "tkNowhere"},
      {"unknown class", Raw().Str("THolder").Str("H").B(0).Str("TNoSuchThing").Str("A").B(0).B(0).B(0).s, 15,
       "TNoSuchThing"},
      {"truncated string", Raw().Str("THolder").Str("H").Str("Caption").B(0x06).B(50).Bytes("ab").s, 24, "end"},
      {"huge binary length", Raw().Str("THolder").Str("H").B(0).Str("TSample").Str("First").Str("Data").B(0x0A)
                                 .U32(0xFFFFFFF0).s, 39, "end"},
      {"unknown element", Raw().Str("THolder").Str("H").Str("Marks").B(0x0B).Str("tkNope").B(0).B(0).B(0).s, 21,
       "tkNope"},
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

// A class name's length byte of F0 or more is where a reader expects an object prefix, so the
// writer once wrote form data for such a name that no reader could read back.
TEST(FormStream, ClassNamesThatWouldReadAsAPrefixAreRefusedByTheWriter) {
  const std::string longest(239, 'T');
  TPosing fits(nullptr, longest);
  const std::string written = WriteComponentToBytes(&fits);
  EXPECT_EQ(TReader::ReadRootClassName(written), longest);
  TPosing back(nullptr, longest);
  EXPECT_NO_THROW(TReader(written).ReadRootComponent(&back));

  for (std::size_t size : {240, 255}) {
    TPosing tooLong(nullptr, std::string(size, 'T'));
    try {
      WriteComponentToBytes(&tooLong);
      ADD_FAILURE() << size << " bytes: written";
    } catch (const EWriteError& e) {
      EXPECT_NE(std::string(e.what()).find(std::to_string(size) + " bytes"), std::string::npos) << e.what();
    }
  }
}

TEST(FormStream, EveryTruncationAndRandomDamageFailsCleanly) {
  THolder h(nullptr);
  h.SetName("Holder");
  h.caption = "テスト";
  h.marks = {tkOne, tkThree};
  auto* s = new TSample(&h);
  s->SetName("First");
  s->title = "abc";
  s->kinds = {tkTwo};
  s->ratio = 2.0;
  s->hasBlock = true;
  s->block = "xyz";
  s->buddy = new TOther(&h);
  s->buddy->SetName("Other");
  std::string good = RoundTrip(&h);
  ASSERT_NO_THROW(Load(good));
  ExpectDamageFailsCleanly(good, [](const std::string& data) { Load(data); });
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
    auto* s = new TSample(&h);
    s->SetName("First");
    h.First = s;
    delete s;
    EXPECT_EQ(h.First, nullptr);
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
  THolder f(nullptr);
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
  auto g = Load(data);
  auto* back = dynamic_cast<TBandHolder*>(g->FindComponent("Holder1"));
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->bands.Count(), 2);
  EXPECT_EQ(static_cast<TBand*>(back->bands.Items(0))->text, "一");
  EXPECT_EQ(static_cast<TBand*>(back->bands.Items(1))->width, 75);
  // A writer that numbers its items (an integer before each item's list) is read too.
  Raw r;
  r.Str("THolder").Str("G").B(0).Str("TBandHolder").Str("H2").Str("Bands").B(0x0E);
  r.B(0x02).B(0x00).B(0x01).Str("Width").B(0x02).B(0x07).B(0);
  r.B(0x02).B(0x01).B(0x01).B(0);
  r.B(0).B(0).B(0).B(0);
  auto k = Load(r.s);
  auto* h2 = dynamic_cast<TBandHolder*>(k->FindComponent("H2"));
  ASSERT_NE(h2, nullptr);
  ASSERT_EQ(h2->bands.Count(), 2);
  EXPECT_EQ(static_cast<TBand*>(h2->bands.Items(0))->width, 7);
}

TEST(FormStream, AReadOnlyPropertyAnotherWriterStoredIsPassedOver) {
  Raw r;
  r.Str("THolder").Str("H").B(0).Str("TSample").Str("First").Str("ReadOnly").B(0x02).B(0x05).Str("Always").B(0x02).B(9);
  r.B(0).B(0).B(0);
  auto h = Load(r.s);
  ASSERT_NE(h->First, nullptr);
  EXPECT_EQ(h->First->always, 9) << "reading went on after the read-only property";
}
