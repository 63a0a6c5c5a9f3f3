// libFuzzer target: binary form data ("TPF0") read into components of the portable core, as
// the program reads its forms at start-up. The input is the form data. The root is the
// registered class the data names, else a generic root posing as that class; its children
// are the core's registered classes (the keeper, the version reader) and a part with one
// published property of each kind. What the reader accepted is written back; what the
// writer then gives must read again. A framework exception (EReadError above all) is the
// expected answer to bad data.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "framework/ClassBuilder.h"
#include "framework/Classes.h"
#include "framework/Filer.h"
#include "framework/SysUtils.h"
#include "framework/TypInfo.h"

namespace {
enum TPartKind { pkOne, pkTwo, pkThree };
}  // namespace
FW_ENUM_NAMES(TPartKind, "pkOne", "pkTwo", "pkThree");

namespace {

class TFuzzPart : public TComponent {
  FW_CLASS(TFuzzPart, TComponent)
  explicit TFuzzPart(TComponent* owner) : TComponent(owner) {}
  int count = 3;
  bool flag = true;
  std::string text;
  TPartKind kind = pkOne;
  TSet<TPartKind> kinds;
  TColor color = clBtnFace;
  double ratio = 0;
  TComponent* buddy = nullptr;
  std::string block;
  void DefineProperties(TFiler& filer) override {
    filer.DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
          block.assign(static_cast<std::size_t>(s.Size()), '\0');
          if (!block.empty()) s.ReadBuffer(block.data(), block.size());
        },
        [this](TStream& s) { s.WriteBytes(block); }, !block.empty());
  }
};

class TFuzzRoot : public TComponent {
  FW_CLASS(TFuzzRoot, TComponent)
  explicit TFuzzRoot(std::string className) : TComponent(nullptr), className_(std::move(className)) {}
  std::string ClassName() const override { return className_; }

 private:
  std::string className_;
};

const RegisterClassOf<TFuzzPart> registerPart;

}  // namespace

const TClassInfo& TFuzzPart::StaticClass() {
  static const TClassInfo info = TClassBuilder<TFuzzPart>("TFuzzPart", &TComponent::StaticClass())
                                     .Creatable()
                                     .Property("Count", &TFuzzPart::count, &TFuzzPart::count).Default(3)
                                     .Property("Flag", &TFuzzPart::flag, &TFuzzPart::flag).Default(true)
                                     .Property("Text", &TFuzzPart::text, &TFuzzPart::text)
                                     .Property("Kind", &TFuzzPart::kind, &TFuzzPart::kind).Default(pkOne)
                                     .Property("Kinds", &TFuzzPart::kinds, &TFuzzPart::kinds)
                                     .Property("Color", &TFuzzPart::color, &TFuzzPart::color).Default(clBtnFace)
                                     .Property("Ratio", &TFuzzPart::ratio, &TFuzzPart::ratio)
                                     .Property("Buddy", &TFuzzPart::buddy, &TFuzzPart::buddy)
                                     .Build();
  return info;
}

const TClassInfo& TFuzzRoot::StaticClass() {
  static const TClassInfo info = TClassBuilder<TFuzzRoot>("TFuzzRoot", &TComponent::StaticClass()).Build();
  return info;
}

namespace {

std::unique_ptr<TComponent> MakeRoot(const std::string& className) {
  const TClassInfo* info = GetClass(className);
  if (info && info->factory) return std::unique_ptr<TComponent>(info->factory(nullptr));
  return std::make_unique<TFuzzRoot>(className);
}

std::unique_ptr<TComponent> Read(std::string_view data) {
  std::unique_ptr<TComponent> root = MakeRoot(TReader::ReadRootClassName(data));
  TReader reader(data, TReader::Mode::kRunTime);
  reader.ReadRootComponent(root.get());
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string written;
  try {
    std::unique_ptr<TComponent> root = Read(std::string_view(reinterpret_cast<const char*>(data), size));
    written = WriteComponentToBytes(root.get());
  } catch (const Exception&) {
    return 0;
  }
  try {
    (void)Read(written);
  } catch (const Exception& e) {
    std::fprintf(stderr, "form data written from what was read does not read back: %s\n", e.what());
    std::abort();
  }
  return 0;
}
