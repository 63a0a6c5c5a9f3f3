#include "paradox/EngineConfig.h"

#include <fstream>
#include <iterator>

#include "paradox/DurableFile.h"
#include "paradox/EngineError.h"
#include "os/LittleEndian.h"
#include "os/FaultInjection.h"
#include "text/Ascii.h"
#include "text/Utf8Path.h"

namespace paradox {
namespace {

template <typename Node>
Node* FindChild(Node& node, std::string_view name, bool section) {
  for (auto& child : node.children)
    if (child.isSection == section && text::SameTextAscii(child.name, name)) return &child;
  return nullptr;
}

class Reader {
 public:
  Reader(std::string_view bytes, const std::string& fileName) : bytes_(bytes), fileName_(fileName) {}

  ConfigNode Run() {
    ConfigNode root{{}, true, {}, {}};
    std::vector<ConfigNode*> open{&root};
    std::vector<std::size_t> openedAt{0};
    while (pos_ < bytes_.size()) {
      std::size_t at = pos_;
      std::uint16_t code = Code("an item or section end");
      if (code == kConfigEndCode) {
        if (open.size() == 1) Fail(at, "section end without an open section");
        open.pop_back();
        openedAt.pop_back();
        continue;
      }
      if (code != kConfigItemCode) Fail(at, "unknown code " + Hex(code));
      std::size_t kindAt = pos_;
      std::uint16_t kind = Code("an item kind");
      if (kind != kConfigSectionKind && kind != kConfigParamKind) Fail(kindAt, "unknown item kind " + Hex(kind));
      ConfigNode node;
      node.name = String("an item name");
      if (kind == kConfigSectionKind) {
        std::size_t bodyAt = pos_;
        if (Code("a section body mark") != kConfigSectionBody) Fail(bodyAt, "section name not followed by 01 00");
        node.isSection = true;
        if (open.size() > kMaxConfigDepth)
          Fail(at, "sections nested deeper than " + std::to_string(kMaxConfigDepth));
        open.back()->children.push_back(std::move(node));
        open.push_back(&open.back()->children.back());
        openedAt.push_back(at);
      } else {
        std::size_t valueAt = pos_;
        if (Code("a value mark") != kConfigValueCode) Fail(valueAt, "parameter name not followed by 04 00");
        node.value = String("a parameter value");
        open.back()->children.push_back(std::move(node));
      }
    }
    if (open.size() > 1) Fail(openedAt.back(), "section \"" + open.back()->name + "\" not closed before the end of the file");
    return root;
  }

 private:
  std::uint16_t Code(const char* what) {
    if (bytes_.size() - pos_ < 2) Fail(pos_, std::string("file ends where ") + what + " should be");
    const std::uint16_t v = le::Get16(bytes_.data() + pos_);
    pos_ += 2;
    return v;
  }

  std::string String(const char* what) {
    std::size_t end = bytes_.find('\0', pos_);
    if (end == std::string_view::npos) Fail(pos_, std::string("unterminated string in ") + what);
    std::string s(bytes_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return s;
  }

  static std::string Hex(std::uint16_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xF];
    return s;
  }

  [[noreturn]] void Fail(std::size_t offset, const std::string& why) const {
    RaiseEngineError(EngineMessage::kCorruptConfig, why, fileName_, offset);
  }

  std::string_view bytes_;
  const std::string& fileName_;
  std::size_t pos_ = 0;
};

void PutCode(std::string& out, std::uint16_t code) {
  char bytes[2];
  le::Put16(bytes, code);
  out.append(bytes, 2);
}

void PutString(std::string& out, const std::string& s) {
  // An embedded NUL would end the string early and shift everything after it.
  out.append(s.data(), s.find('\0') == std::string::npos ? s.size() : s.find('\0'));
  out += '\0';
}

void WriteItems(std::string& out, const ConfigNode& node) {
  for (const ConfigNode& child : node.children) {
    PutCode(out, kConfigItemCode);
    if (child.isSection) {
      PutCode(out, kConfigSectionKind);
      PutString(out, child.name);
      PutCode(out, kConfigSectionBody);
      WriteItems(out, child);
      PutCode(out, kConfigEndCode);
    } else {
      PutCode(out, kConfigParamKind);
      PutString(out, child.name);
      PutCode(out, kConfigValueCode);
      PutString(out, child.value);
    }
  }
}

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    std::string_view part = path.substr(0, cut);
    if (!part.empty()) parts.push_back(part);
    if (cut == std::string_view::npos) break;
    path.remove_prefix(cut + 1);
  }
  return parts;
}

constexpr std::string_view kDatabases = "DATABASES";
constexpr std::string_view kDbInfo = "DB INFO";
constexpr std::string_view kDbOpen = "DB OPEN";
constexpr std::string_view kParadoxInit = "DRIVERS\\PARADOX\\INIT";
constexpr std::string_view kParadoxTableCreate = "DRIVERS\\PARADOX\\TABLE CREATE";

}  // namespace

const ConfigNode* ConfigNode::FindSection(std::string_view childName) const { return FindChild(*this, childName, true); }
const ConfigNode* ConfigNode::FindParam(std::string_view childName) const { return FindChild(*this, childName, false); }
ConfigNode* ConfigNode::FindSection(std::string_view childName) { return FindChild(*this, childName, true); }
ConfigNode* ConfigNode::FindParam(std::string_view childName) { return FindChild(*this, childName, false); }

ConfigNode& ConfigNode::Section(std::string_view childName) {
  if (ConfigNode* found = FindSection(childName)) return *found;
  children.push_back(ConfigNode{std::string(childName), true, {}, {}});
  return children.back();
}

void ConfigNode::SetParam(std::string_view paramName, std::string_view paramValue) {
  if (ConfigNode* found = FindParam(paramName)) {
    found->value = std::string(paramValue);
    return;
  }
  children.push_back(ConfigNode{std::string(paramName), false, std::string(paramValue), {}});
}

EngineConfig EngineConfig::Parse(std::string_view bytes, const std::string& fileName) {
  EngineConfig config;
  config.root_ = Reader(bytes, fileName).Run();
  return config;
}

EngineConfig EngineConfig::Load(const std::filesystem::path& file) {
  std::string name = text::PathToUtf8(file);
  std::ifstream in;
  if (!os::FaultGate(os::FileOperation::kOpen)) in.open(file, std::ios::binary);
  if (!in.is_open())
    RaiseEngineError(EngineMessage::kConfigNotFound, {}, name);
  std::string bytes;
  if (!os::FaultGate(os::FileOperation::kRead)) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  else in.setstate(std::ios::badbit);
  if (in.bad()) RaiseEngineError(EngineMessage::kCannotReadConfig, {}, name);
  return Parse(bytes, name);
}

std::string EngineConfig::Serialize() const {
  std::string out;
  WriteItems(out, root_);
  return out;
}

void EngineConfig::Save(const std::filesystem::path& file) const {
  // The aliases of every program on the machine live here: a write that fails half way must
  // leave the old file, not a truncated one.
  WriteFileDurably(file, Serialize());
}

const ConfigNode* EngineConfig::FindSectionPath(std::string_view path) const {
  const ConfigNode* node = &root_;
  for (std::string_view part : SplitPath(path)) {
    node = node->FindSection(part);
    if (!node) return nullptr;
  }
  return node;
}

ConfigNode& EngineConfig::SectionPath(std::string_view path) {
  ConfigNode* node = &root_;
  for (std::string_view part : SplitPath(path)) node = &node->Section(part);
  return *node;
}

std::vector<std::string> EngineConfig::AliasNames() const {
  std::vector<std::string> names;
  if (const ConfigNode* databases = root_.FindSection(kDatabases))
    for (const ConfigNode& alias : databases->children)
      if (alias.isSection) names.push_back(alias.name);
  return names;
}

std::optional<std::vector<std::string>> EngineConfig::AliasParams(std::string_view alias) const {
  const ConfigNode* databases = root_.FindSection(kDatabases);
  const ConfigNode* entry = databases ? databases->FindSection(alias) : nullptr;
  if (!entry) return std::nullopt;
  std::vector<std::string> lines;
  const ConfigNode* info = entry->FindSection(kDbInfo);
  const ConfigNode* type = info ? info->FindParam("TYPE") : nullptr;
  if (!type || text::SameTextAscii(type->value, "STANDARD")) {
    const ConfigNode* path = info ? info->FindParam("PATH") : nullptr;
    lines.push_back("PATH=" + (path ? path->value : std::string()));
    if (info)
      for (const ConfigNode& p : info->children)
        if (!p.isSection && !text::SameTextAscii(p.name, "TYPE") && !text::SameTextAscii(p.name, "PATH"))
          lines.push_back(p.name + "=" + p.value);
    return lines;
  }
  if (const ConfigNode* open = entry->FindSection(kDbOpen))
    for (const ConfigNode& p : open->children)
      if (!p.isSection) lines.push_back(p.name + "=" + p.value);
  return lines;
}

void EngineConfig::SetStandardAlias(std::string_view alias, std::string_view path) {
  ConfigNode& entry = root_.Section(kDatabases).Section(alias);
  entry.children.clear();
  ConfigNode& info = entry.Section(kDbInfo);
  info.SetParam("TYPE", "STANDARD");
  info.SetParam("PATH", path);
  info.SetParam("ENABLE BCD", "FALSE");
  info.SetParam("DEFAULT DRIVER", "PARADOX");
}

std::optional<std::string> EngineConfig::ParadoxLangDriver() const {
  const ConfigNode* init = FindSectionPath(kParadoxInit);
  const ConfigNode* param = init ? init->FindParam("LANGDRIVER") : nullptr;
  if (!param || param->value.empty()) return std::nullopt;
  return param->value;
}

void EngineConfig::SetParadoxLangDriver(std::string_view name) { SectionPath(kParadoxInit).SetParam("LANGDRIVER", name); }

std::optional<unsigned> EngineConfig::ParadoxBlockSize() const {
  const ConfigNode* create = FindSectionPath(kParadoxTableCreate);
  const ConfigNode* param = create ? create->FindParam("BLOCK SIZE") : nullptr;
  if (!param || param->value.empty() || param->value.size() > 6) return std::nullopt;
  unsigned v = 0;
  for (char c : param->value) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  return v;
}

}  // namespace paradox
