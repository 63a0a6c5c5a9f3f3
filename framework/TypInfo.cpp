#include "framework/TypInfo.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "framework/Classes.h"
#include "text/Ascii.h"

bool SameText(std::string_view a, std::string_view b) { return text::SameTextAscii(a, b); }

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
  for (const TClassInfo* c = this; c; c = c->parent)
    if (c == &other) return true;
  return false;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view propName) const {
  for (const TPropInfo& p : properties)
    if (SameText(p.name, propName)) return &p;
  return nullptr;
}

const TFieldInfo* TClassInfo::FindField(std::string_view fieldName) const {
  for (const TClassInfo* c = this; c; c = c->parent)
    for (const TFieldInfo& f : c->fields)
      if (SameText(f.name, fieldName)) return &f;
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::string_view methodName) const {
  for (const TClassInfo* c = this; c; c = c->parent)
    for (const TMethodInfo& m : c->methods)
      if (SameText(m.name, methodName)) return &m;
  return nullptr;
}

const TClassInfo* TClassInfo::FindFieldClass(std::string_view className) const {
  for (const TClassInfo* c = this; c; c = c->parent)
    for (const TFieldInfo& f : c->fields)
      if (f.classType && SameText(f.classType->name, className)) return f.classType;
  return nullptr;
}

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<const TClassInfo*> classes;
};

Registry& TheRegistry() {
  static Registry r;
  return r;
}

struct ColorIdent {
  std::int32_t value;
  const char* name;
};

constexpr ColorIdent kColors[] = {
    {0x000000, "clBlack"}, {0x000080, "clMaroon"}, {0x008000, "clGreen"}, {0x008080, "clOlive"},
    {0x800000, "clNavy"}, {0x800080, "clPurple"}, {0x808000, "clTeal"}, {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"}, {0x0000FF, "clRed"}, {0x00FF00, "clLime"}, {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"}, {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"}, {0xFFFFFF, "clWhite"},
    {0x1FFFFFFF, "clNone"}, {0x20000000, "clDefault"},
    {static_cast<std::int32_t>(0xFF000000), "clScrollBar"},
    {static_cast<std::int32_t>(0xFF000001), "clBackground"},
    {static_cast<std::int32_t>(0xFF000002), "clActiveCaption"},
    {static_cast<std::int32_t>(0xFF000003), "clInactiveCaption"},
    {static_cast<std::int32_t>(0xFF000004), "clMenu"},
    {static_cast<std::int32_t>(0xFF000005), "clWindow"},
    {static_cast<std::int32_t>(0xFF000006), "clWindowFrame"},
    {static_cast<std::int32_t>(0xFF000007), "clMenuText"},
    {static_cast<std::int32_t>(0xFF000008), "clWindowText"},
    {static_cast<std::int32_t>(0xFF000009), "clCaptionText"},
    {static_cast<std::int32_t>(0xFF00000A), "clActiveBorder"},
    {static_cast<std::int32_t>(0xFF00000B), "clInactiveBorder"},
    {static_cast<std::int32_t>(0xFF00000C), "clAppWorkSpace"},
    {static_cast<std::int32_t>(0xFF00000D), "clHighlight"},
    {static_cast<std::int32_t>(0xFF00000E), "clHighlightText"},
    {static_cast<std::int32_t>(0xFF00000F), "clBtnFace"},
    {static_cast<std::int32_t>(0xFF000010), "clBtnShadow"},
    {static_cast<std::int32_t>(0xFF000011), "clGrayText"},
    {static_cast<std::int32_t>(0xFF000012), "clBtnText"},
    {static_cast<std::int32_t>(0xFF000013), "clInactiveCaptionText"},
    {static_cast<std::int32_t>(0xFF000014), "clBtnHighlight"},
    {static_cast<std::int32_t>(0xFF000015), "cl3DDkShadow"},
    {static_cast<std::int32_t>(0xFF000016), "cl3DLight"},
    {static_cast<std::int32_t>(0xFF000017), "clInfoText"},
    {static_cast<std::int32_t>(0xFF000018), "clInfoBk"},
};

std::function<std::string(const std::string&)>& Resolver() {
  static std::function<std::string(const std::string&)> r;
  return r;
}

}  // namespace

void RegisterComponentClass(const TClassInfo& info) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const TClassInfo*& c : r.classes)
    if (SameText(c->name, info.name)) {
      c = &info;
      return;
    }
  r.classes.push_back(&info);
}

const TClassInfo* GetClass(std::string_view className) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  for (const TClassInfo* c : r.classes)
    if (SameText(c->name, className)) return c;
  return nullptr;
}

std::vector<const TClassInfo*> RegisteredClasses() {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.classes;
}

std::optional<std::string> ColorToIdent(std::int32_t color) {
  for (const ColorIdent& c : kColors)
    if (c.value == color) return std::string(c.name);
  return std::nullopt;
}

std::optional<std::int32_t> IdentToColor(std::string_view ident) {
  for (const ColorIdent& c : kColors)
    if (SameText(c.name, ident)) return c.value;
  return std::nullopt;
}

void SetDesignFileResolver(std::function<std::string(const std::string&)> resolver) {
  Resolver() = std::move(resolver);
}

std::string ResolveDesignFile(const std::string& storedName) {
  return Resolver() ? Resolver()(storedName) : storedName;
}
