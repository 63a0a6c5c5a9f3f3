// libFuzzer target: binary form data ("TPF0"), read into components as the program reads its
// forms at start-up. The input is the form data. The root is built as the form compiler
// builds it: the registered class the data names, else a form posing as that class. What
// the reader accepted is written back; what the writer then gives must read again.
// A framework exception (EReadError above all) is the expected answer to bad data.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "framework/Classes.h"
#include "framework/Controls.h"
#include "framework/Filer.h"
#include "framework/Forms.h"
#include "framework/SysUtils.h"
#include "framework/TypInfo.h"

namespace {

std::unique_ptr<TComponent> MakeRoot(const std::string& className) {
  const TClassInfo* info = GetClass(className);
  if (info && info->factory &&
      (info->InheritsFrom(TCustomForm::StaticClass()) || !info->InheritsFrom(TControl::StaticClass())))
    return std::unique_ptr<TComponent>(info->factory(nullptr));
  auto form = std::make_unique<TForm>(nullptr);
  form->PoseAsClass(className);
  return form;
}

std::unique_ptr<TComponent> Read(std::string_view data) {
  std::unique_ptr<TComponent> root = MakeRoot(TReader::ReadRootClassName(data));
  TReader reader(data, TReader::Mode::kRunTime);
  reader.ReadRootComponent(root.get());
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = [] {
    RegisterFrameworkClasses();
    return true;
  }();
  (void)registered;
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
