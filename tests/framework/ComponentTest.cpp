// The component model's portable parts: string lists, events and sets.
#include <gtest/gtest.h>

#include "framework/Classes.h"

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

namespace {
enum TKey { kShift, kAlt, kCtrl, kLeft, kRight, kLast = 31 };
using TKeys = TSet<TKey>;
}  // namespace

TEST(Sets, BehaveAsTheLibrarySets) {
  TKeys s{kShift, kLeft};
  EXPECT_TRUE(s.Contains(kLeft));
  EXPECT_FALSE(s.Contains(kCtrl));
  s << kCtrl >> kShift;
  EXPECT_EQ(s, (TKeys{kCtrl, kLeft}));
  EXPECT_EQ((s - TKeys{kLeft}), TKeys{kCtrl});
  EXPECT_TRUE(TKeys{}.Empty());
  // The 32nd element is the top bit; it must not spill into or out of the others.
  TKeys top{kLast};
  EXPECT_EQ(top.Bits(), 0x80000000u);
  EXPECT_FALSE(top.Contains(kShift));
  EXPECT_EQ((top | TKeys{kShift}).Bits(), 0x80000001u);
}
