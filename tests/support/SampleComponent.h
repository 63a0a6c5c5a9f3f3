#pragma once
// A component with one published property of each kind, for the form-stream tests, a writer
// of raw form data that does not go through TWriter, and the damage check every reader of
// form data must pass.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "framework/ClassBuilder.h"
#include "framework/Filer.h"

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

inline const TClassInfo& SampleInfo() {
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

}  // namespace

inline const TClassInfo& TSample::StaticClass() { return SampleInfo(); }

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

// Every truncation of `good` is an EReadError at or before the cut; random damage is mostly
// noticed and never crashes (ASan watches the native run).
inline void ExpectDamageFailsCleanly(const std::string& good, const std::function<void(const std::string&)>& load) {
  for (std::size_t n = 0; n < good.size(); ++n) {
    try {
      load(good.substr(0, n));
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
      load(bad);
    } catch (const EReadError&) {
      ++rejected;
    }
  }
  EXPECT_GT(rejected, 1000);
}

}  // namespace
