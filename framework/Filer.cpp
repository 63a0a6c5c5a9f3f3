#include "framework/Filer.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "os/LittleEndian.h"
#include "text/CodePage.h"

namespace {

constexpr int kMaxDepth = 64;          // nesting of objects and lists in trusted-looking data
constexpr std::size_t kMaxNameLength = 255;

std::string Hex(std::uint8_t b) {
  const char* d = "0123456789ABCDEF";
  return std::string{d[b >> 4], d[b & 15]};
}

const TPropInfo* FindPublished(const TObject& o, std::string_view name) {
  return o.ClassInfo().FindProperty(name);
}

}  // namespace

// --- 80-bit extended -------------------------------------------------------------------

void DoubleToExtended(double v, unsigned char out[10]) {
  std::memset(out, 0, 10);
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  bool neg = bits >> 63;
  int exp = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t frac = bits & ((std::uint64_t{1} << 52) - 1);
  std::uint64_t mant = 0;
  int e = 0;
  if (exp == 0 && frac == 0) {
    e = 0;
  } else if (exp == 0x7FF) {
    e = 0x7FFF;
    mant = (std::uint64_t{1} << 63) | (frac << 11);
  } else if (exp == 0) {  // subnormal double: normal in extended
    int shift = 0;
    while (!(frac & (std::uint64_t{1} << 52))) {
      frac <<= 1;
      ++shift;
    }
    e = 1 - 1023 - shift + 16383;
    mant = frac << 11;
  } else {
    e = exp - 1023 + 16383;
    mant = (std::uint64_t{1} << 63) | (frac << 11);
  }
  le::Put64(out, mant);
  le::Put16(out + 8, static_cast<std::uint16_t>(e | (neg ? 0x8000 : 0)));
}

double ExtendedToDouble(const unsigned char in[10]) {
  std::uint64_t mant = le::Get64(in);
  int se = le::Get16(in + 8);
  bool neg = se & 0x8000;
  int e = se & 0x7FFF;
  double r;
  if (e == 0 && mant == 0) {
    r = 0.0;
  } else if (e == 0x7FFF) {
    r = (mant << 1) ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
  } else {
    r = std::ldexp(static_cast<double>(mant), e - 16383 - 63);
  }
  return neg ? -r : r;
}

// --- TReader ---------------------------------------------------------------------------

TReader::TReader(std::string_view data, Mode mode) : data_(data), mode_(mode) {}

void TReader::Error(const std::string& message, std::uint64_t offset) const {
  throw EReadError(message, offset);
}

const char* TReader::Need(std::uint64_t count) {
  if (count > data_.size() - pos_) Error("Unexpected end of form data", pos_);
  const char* p = data_.data() + pos_;
  pos_ += count;
  return p;
}

std::uint8_t TReader::ReadByte() { return static_cast<std::uint8_t>(*Need(1)); }

std::uint32_t TReader::ReadU32() {
  return le::Get32(Need(4));
}

std::string TReader::ReadShortString() {
  std::uint8_t n = ReadByte();
  return std::string(Need(n), n);
}

TValueType TReader::NextValue() const {
  if (pos_ >= data_.size()) Error("Unexpected end of form data", pos_);
  return static_cast<TValueType>(data_[pos_]);
}

TValueType TReader::ReadValue() {
  std::uint64_t at = pos_;
  std::uint8_t b = ReadByte();
  if (b > static_cast<std::uint8_t>(TValueType::vaDouble)) Error("Unknown value type 0x" + Hex(b), at);
  return static_cast<TValueType>(b);
}

std::int64_t TReader::ReadInteger() {
  std::uint64_t at = pos_;
  TValueType t = ReadValue();
  switch (t) {
    case TValueType::vaInt8: return static_cast<std::int8_t>(ReadByte());
    case TValueType::vaInt16: return static_cast<std::int16_t>(le::Get16(Need(2)));
    case TValueType::vaInt32: return static_cast<std::int32_t>(ReadU32());
    case TValueType::vaInt64: return static_cast<std::int64_t>(le::Get64(Need(8)));
    default: Error("Integer value expected", at);
  }
}

bool TReader::ReadBoolean() {
  std::uint64_t at = pos_;
  TValueType t = ReadValue();
  if (t == TValueType::vaTrue) return true;
  if (t == TValueType::vaFalse) return false;
  Error("Boolean value expected", at);
}

std::string TReader::StringPayload(TValueType t, std::uint64_t at) {
  switch (t) {
    case TValueType::vaString: {
      std::uint8_t n = ReadByte();
      return text::ToUtf8(std::string_view(Need(n), n), text::kShiftJis);
    }
    case TValueType::vaLString: {
      std::uint32_t n = ReadU32();
      return text::ToUtf8(std::string_view(Need(n), n), text::kShiftJis);
    }
    case TValueType::vaWString: {
      std::uint32_t n = ReadU32();
      if (n > (data_.size() - pos_) / 2) Error("Unexpected end of form data", pos_);
      const char* p = Need(std::uint64_t{n} * 2);
      std::u16string w(n, u'\0');
      for (std::uint32_t i = 0; i < n; ++i) w[i] = static_cast<char16_t>(le::Get16(p + 2 * i));
      return text::Utf16ToUtf8(w);
    }
    case TValueType::vaUTF8String: {
      std::uint32_t n = ReadU32();
      // Invalid UTF-8 is made valid the same way everywhere: through UTF-16 with U+FFFD.
      return text::Utf16ToUtf8(text::Utf8ToUtf16(std::string_view(Need(n), n)));
    }
    default: Error("String value expected", at);
  }
}

std::string TReader::ReadString() {
  std::uint64_t at = pos_;
  TValueType t = ReadValue();
  return StringPayload(t, at);
}

std::string TReader::ReadIdent() {
  std::uint64_t at = pos_;
  TValueType t = ReadValue();
  switch (t) {
    case TValueType::vaIdent: return ReadShortString();
    case TValueType::vaFalse: return "False";
    case TValueType::vaTrue: return "True";
    case TValueType::vaNil: return "nil";
    case TValueType::vaNull: return "Null";
    default: Error("Identifier expected", at);
  }
}

double TReader::ReadFloat() {
  std::uint64_t at = pos_;
  TValueType t = NextValue();
  switch (t) {
    case TValueType::vaInt8:
    case TValueType::vaInt16:
    case TValueType::vaInt32:
    case TValueType::vaInt64: return static_cast<double>(ReadInteger());
    default: break;
  }
  ReadValue();
  switch (t) {
    case TValueType::vaExtended: return ExtendedToDouble(reinterpret_cast<const unsigned char*>(Need(10)));
    case TValueType::vaSingle: {
      float f;
      std::memcpy(&f, Need(4), 4);
      return f;
    }
    case TValueType::vaDate:
    case TValueType::vaDouble: {
      double d;
      std::memcpy(&d, Need(8), 8);
      return d;
    }
    case TValueType::vaCurrency: {
      std::int64_t c;
      std::memcpy(&c, Need(8), 8);
      return static_cast<double>(c) / 10000.0;
    }
    default: Error("Floating-point value expected", at);
  }
}

std::string TReader::ReadBinary() {
  std::uint64_t at = pos_;
  if (ReadValue() != TValueType::vaBinary) Error("Binary value expected", at);
  std::uint32_t n = ReadU32();
  return std::string(Need(n), n);
}

void TReader::ReadListBegin() {
  std::uint64_t at = pos_;
  if (ReadValue() != TValueType::vaList) Error("List expected", at);
  if (++listDepth_ > kMaxDepth) Error("Lists nested too deeply", at);
}

bool TReader::EndOfList() const { return NextValue() == TValueType::vaNull; }

void TReader::ReadListEnd() {
  std::uint64_t at = pos_;
  if (ReadValue() != TValueType::vaNull) Error("End of list expected", at);
  --listDepth_;
}

void TReader::SkipValue(int depth) {
  std::uint64_t at = pos_;
  if (depth > kMaxDepth) Error("Values nested too deeply", at);
  TValueType t = ReadValue();
  switch (t) {
    case TValueType::vaNull:
    case TValueType::vaFalse:
    case TValueType::vaTrue:
    case TValueType::vaNil: return;
    case TValueType::vaList:
      while (NextValue() != TValueType::vaNull) SkipValue(depth + 1);
      ReadByte();
      return;
    case TValueType::vaInt8: Need(1); return;
    case TValueType::vaInt16: Need(2); return;
    case TValueType::vaInt32:
    case TValueType::vaSingle: Need(4); return;
    case TValueType::vaExtended: Need(10); return;
    case TValueType::vaString:
    case TValueType::vaIdent: Need(ReadByte()); return;
    case TValueType::vaBinary:
    case TValueType::vaLString:
    case TValueType::vaUTF8String: Need(ReadU32()); return;
    case TValueType::vaWString: Need(std::uint64_t{ReadU32()} * 2); return;
    case TValueType::vaSet:
      for (;;) {
        std::uint8_t n = ReadByte();
        if (n == 0) return;
        Need(n);
      }
    case TValueType::vaCollection:
      while (NextValue() != TValueType::vaNull) {
        TValueType it = NextValue();
        if (it == TValueType::vaInt8 || it == TValueType::vaInt16 || it == TValueType::vaInt32) ReadInteger();
        std::uint64_t la = pos_;
        if (ReadValue() != TValueType::vaList) Error("Collection item expected", la);
        while (NextValue() != TValueType::vaNull) {
          ReadShortString();
          SkipValue(depth + 1);
        }
        ReadByte();
      }
      ReadByte();
      return;
    case TValueType::vaCurrency:
    case TValueType::vaDate:
    case TValueType::vaInt64:
    case TValueType::vaDouble: Need(8); return;
  }
}

std::string TReader::ReadRootClassName(std::string_view data) {
  TReader r(data);
  if (data.size() < 4 || std::memcmp(data.data(), kFormSignature, 4) != 0)
    r.Error("Form data does not start with TPF0", 0);
  r.pos_ = 4;
  r.ReadPrefix();
  std::uint64_t at = r.pos_;
  std::string name = r.ReadShortString();
  if (name.empty()) r.Error("Empty class name", at);
  return name;
}

void TReader::ReadPrefix() {
  if (pos_ < data_.size() && (static_cast<std::uint8_t>(data_[pos_]) & kPrefixMask) == kPrefixMask) {
    std::uint8_t flags = ReadByte() & 0x0F;
    if (flags & kPrefixChildPos) ReadInteger();
  }
}

void TReader::ReadRootComponent(TComponent* root) {
  if (data_.size() < 4 || std::memcmp(data_.data(), kFormSignature, 4) != 0)
    Error("Form data does not start with TPF0", 0);
  pos_ = 4;
  root_ = root;
  ReadPrefix();
  std::uint64_t at = pos_;
  std::string className = ReadShortString();
  if (!SameText(className, root->ClassName()))
    Error("Form data is for class " + className + ", not " + root->ClassName(), at);
  at = pos_;
  std::string name = ReadShortString();
  auto setState = [&](TComponent* c) {
    if (mode_ == Mode::kDesign)
      c->SetDesigning(true, false);
    else
      c->SetLoadingState(true);
    c->SetReadingState(true);
  };
  setState(root);
  loaded_.push_back(root);
  try {
    try {
      root->SetName(name);
    } catch (const EFilerError&) {
      throw;
    } catch (const std::exception& e) {
      Error(e.what(), at);
    }
    ReadProperties(root);
    while (NextValue() != TValueType::vaNull) ReadComponent(root, 1);
    ReadByte();
    Finish();
  } catch (...) {
    for (TComponent* c : loaded_) {
      c->SetReadingState(false);
      c->SetLoadingState(false);
    }
    throw;
  }
}

void TReader::Finish() {
  for (const Fixup& f : fixups_) {
    TComponent* target = nullptr;
    if (SameText(f.name, root_->Name()))
      target = root_;
    else
      target = root_->FindComponent(f.name);
    if (!target) Error("Component " + f.name + " referred to by " + f.prop->name + " not found", f.offset);
    try {
      f.prop->setObj(*f.instance, target);
    } catch (const EFilerError&) {
      throw;
    } catch (const std::exception& e) {
      Error(e.what(), f.offset);
    }
  }
  for (TComponent* c : loaded_) c->SetReadingState(false);
  if (mode_ == Mode::kRunTime)
    for (TComponent* c : loaded_) c->Loaded();
}

TComponent* TReader::ReadComponent(TComponent* parent, int depth) {
  if (depth > kMaxDepth) Error("Objects nested too deeply", pos_);
  ReadPrefix();
  std::uint64_t at = pos_;
  std::string className = ReadShortString();
  std::uint64_t nameAt = pos_;
  std::string name = ReadShortString();
  if (className.empty()) Error("Empty class name", at);
  const TClassInfo* info = root_->ClassInfo().FindFieldClass(className);
  if (!info) info = GetClass(className);
  if (!info) throw EClassNotFound("Class " + className + " not found", at);
  if (!info->factory) Error("Class " + className + " cannot be created from form data", at);
  TComponent* c = nullptr;
  try {
    c = info->factory(root_);
  } catch (const EFilerError&) {
    throw;
  } catch (const std::exception& e) {
    Error(std::string("Creating ") + className + ": " + e.what(), at);
  }
  if (mode_ == Mode::kDesign)
    c->SetDesigning(true, false);
  else
    c->SetLoadingState(true);
  c->SetReadingState(true);
  loaded_.push_back(c);
  try {
    c->SetParentComponent(parent);
    c->SetName(name);
  } catch (const EFilerError&) {
    throw;
  } catch (const std::exception& e) {
    Error(e.what(), nameAt);
  }
  if (const TFieldInfo* f = root_->ClassInfo().FindField(name)) {
    if (!f->bind(*root_, c))
      Error("Field " + name + " is a " + f->classType->name + ", not a " + className, at);
  }
  ReadProperties(c);
  while (NextValue() != TValueType::vaNull) ReadComponent(c, depth + 1);
  ReadByte();
  return c;
}

void TReader::ReadProperties(TComponent* instance) {
  while (NextValue() != TValueType::vaNull) ReadProperty(instance);
  ReadByte();
}

void TReader::ReadProperty(TComponent* instance) {
  std::uint64_t at = pos_;
  std::string path = ReadShortString();
  if (path.empty()) Error("Empty property name", at);
  // Walk the dotted path through sub-objects.
  TObject* obj = instance;
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = path.find('.', start);
    std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (dot == std::string::npos) {
      const TPropInfo* p = FindPublished(*obj, part);
      if (p) {
        ReadPropValue(*obj, *p, at);
        return;
      }
      auto* pers = dynamic_cast<TPersistent*>(obj);
      if (!pers) Error("Property " + path + " does not exist", at);
      ReadDefined(*pers, part, at);
      return;
    }
    const TPropInfo* p = FindPublished(*obj, part);
    if (!p || p->kind != TPropKind::Class) Error("Property " + path + " does not exist", at);
    obj = p->getObj(*obj);
    if (!obj) Error("Property " + path + ": " + part + " is nil", at);
    start = dot + 1;
  }
}

void TReader::ReadDefined(TPersistent& instance, const std::string& propName, std::uint64_t at) {
  const std::string* saved = seeking_;
  seeking_ = &propName;
  found_ = false;
  try {
    instance.DefineProperties(*this);
  } catch (const EFilerError& e) {
    seeking_ = saved;
    if (e.Offset()) throw;
    Error(e.what(), at);
  } catch (const std::exception& e) {
    seeking_ = saved;
    Error(e.what(), at);
  }
  bool found = found_;
  seeking_ = saved;
  if (!found) Error("Property " + propName + " does not exist in " + instance.ClassName(), at);
}

void TReader::DefineProperty(const std::string& name, ReaderProc read, WriterProc, bool) {
  if (!seeking_ || found_ || !SameText(name, *seeking_)) return;
  found_ = true;
  read(*this);
}

void TReader::DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc, bool) {
  if (!seeking_ || found_ || !SameText(name, *seeking_)) return;
  found_ = true;
  std::uint64_t at = pos_;
  std::string bytes = ReadBinary();
  TMemoryStream block(std::move(bytes));
  try {
    read(block);
  } catch (const EFilerError& e) {
    if (e.Offset()) throw;
    Error(std::string(e.what()) + " in the " + name + " block", at);
  } catch (const std::exception& e) {
    Error(std::string(e.what()) + " in the " + name + " block", at);
  }
}

void TReader::ReadCollection(TCollection& collection, std::uint64_t at) {
  if (ReadValue() != TValueType::vaCollection) Error("Collection expected", at);
  collection.Clear();
  while (NextValue() != TValueType::vaNull) {
    TValueType t = NextValue();
    if (t == TValueType::vaInt8 || t == TValueType::vaInt16 || t == TValueType::vaInt32) ReadInteger();
    std::uint64_t la = pos_;
    if (ReadValue() != TValueType::vaList) Error("Collection item expected", la);
    TCollectionItem* item = collection.Add();
    while (NextValue() != TValueType::vaNull) {
      std::uint64_t pa = pos_;
      std::string name = ReadShortString();
      const TPropInfo* p = FindPublished(*item, name);
      if (!p) Error("Property " + name + " does not exist", pa);
      ReadPropValue(*item, *p, pa);
    }
    ReadByte();
  }
  ReadByte();
}

void TReader::ReadPropValue(TObject& instance, const TPropInfo& prop, std::uint64_t at) {
  std::uint64_t vat = pos_;
  auto bad = [&](const std::string& why) -> void { Error("Invalid value for property " + prop.name + ": " + why, vat); };
  try {
    if (prop.readOnly && prop.kind != TPropKind::Class) {
      // Read-only properties are never written by a designer; skip what a foreign one wrote.
      SkipValue(0);
      return;
    }
    switch (prop.kind) {
      case TPropKind::Integer: {
        if (NextValue() == TValueType::vaIdent) {
          std::string id = ReadIdent();
          std::optional<std::int64_t> v = prop.identToInt ? prop.identToInt(id) : std::nullopt;
          if (!v) bad("unknown identifier " + id);
          prop.setOrd(instance, *v);
        } else {
          std::int64_t v = ReadInteger();
          prop.setOrd(instance, v);
        }
        return;
      }
      case TPropKind::Boolean: prop.setOrd(instance, ReadBoolean() ? 1 : 0); return;
      case TPropKind::Enumeration: {
        if (NextValue() != TValueType::vaIdent) bad("identifier expected");
        std::string id = ReadIdent();
        for (std::size_t i = 0; i < prop.enumNames.size(); ++i)
          if (SameText(prop.enumNames[i], id)) {
            prop.setOrd(instance, static_cast<std::int64_t>(i));
            return;
          }
        bad("unknown identifier " + id);
        return;
      }
      case TPropKind::Set: {
        if (ReadValue() != TValueType::vaSet) bad("set expected");
        std::uint32_t bits = 0;
        for (;;) {
          std::uint64_t ea = pos_;
          std::string e = ReadShortString();
          if (e.empty()) break;
          bool ok = false;
          for (std::size_t i = 0; i < prop.enumNames.size() && i < 32; ++i)
            if (SameText(prop.enumNames[i], e)) {
              bits |= std::uint32_t{1} << i;
              ok = true;
            }
          if (!ok) Error("Invalid value for property " + prop.name + ": unknown element " + e, ea);
        }
        prop.setOrd(instance, bits);
        return;
      }
      case TPropKind::Color: {
        if (NextValue() == TValueType::vaIdent) {
          std::string id = ReadIdent();
          std::optional<std::int32_t> v = IdentToColor(id);
          if (!v) bad("unknown colour " + id);
          prop.setOrd(instance, *v);
        } else {
          std::int64_t v = ReadInteger();
          if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::uint32_t>::max())
            bad("colour out of range");
          prop.setOrd(instance, static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
        }
        return;
      }
      case TPropKind::String: prop.setStr(instance, ReadString()); return;
      case TPropKind::Float: prop.setFloat(instance, ReadFloat()); return;
      case TPropKind::Method: {
        TValueType t = NextValue();
        if (t == TValueType::vaNil) {
          ReadValue();
          prop.setMethod(instance, "", root_);
          return;
        }
        if (t != TValueType::vaIdent) bad("method name expected");
        prop.setMethod(instance, ReadIdent(), root_);
        return;
      }
      case TPropKind::Component: {
        TValueType t = NextValue();
        if (t == TValueType::vaNil) {
          ReadValue();
          prop.setObj(instance, nullptr);
          return;
        }
        if (t != TValueType::vaIdent) bad("component name expected");
        fixups_.push_back({&instance, &prop, ReadIdent(), vat});
        return;
      }
      case TPropKind::Class: {
        TObject* sub = prop.getObj(instance);
        if (auto* coll = dynamic_cast<TCollection*>(sub)) {
          ReadCollection(*coll, vat);
          return;
        }
        if (NextValue() == TValueType::vaNil) {
          ReadValue();
          return;
        }
        bad("sub-object properties go by dotted names");
        return;
      }
    }
  } catch (const EFilerError& e) {
    if (e.Offset()) throw;
    Error(e.what(), vat);
  } catch (const std::exception& e) {
    Error("Property " + prop.name + ": " + e.what(), at);
  }
}

// --- TWriter ---------------------------------------------------------------------------

TWriter::TWriter(TStream& out) : out_(out) {}

void TWriter::WriteValue(TValueType t) {
  std::uint8_t b = static_cast<std::uint8_t>(t);
  out_.WriteBuffer(&b, 1);
}

void TWriter::WriteU32(std::uint32_t v) {
  unsigned char b[4];
  le::Put32(b, v);
  out_.WriteBuffer(b, 4);
}

void TWriter::WriteShortString(std::string_view s) {
  if (s.size() > kMaxNameLength) throw EWriteError("Name longer than 255 bytes: " + std::string(s.substr(0, 40)));
  std::uint8_t n = static_cast<std::uint8_t>(s.size());
  out_.WriteBuffer(&n, 1);
  out_.WriteBytes(s);
}

void TWriter::WriteInteger(std::int64_t v) {
  if (v >= -128 && v <= 127) {
    WriteValue(TValueType::vaInt8);
    std::int8_t b = static_cast<std::int8_t>(v);
    out_.WriteBuffer(&b, 1);
  } else if (v >= -32768 && v <= 32767) {
    WriteValue(TValueType::vaInt16);
    unsigned char b[2];
    le::Put16(b, static_cast<std::uint16_t>(v));
    out_.WriteBuffer(b, 2);
  } else if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max()) {
    WriteValue(TValueType::vaInt32);
    WriteU32(static_cast<std::uint32_t>(v));
  } else {
    WriteValue(TValueType::vaInt64);
    unsigned char b[8];
    le::Put64(b, static_cast<std::uint64_t>(v));
    out_.WriteBuffer(b, 8);
  }
}

void TWriter::WriteBoolean(bool v) { WriteValue(v ? TValueType::vaTrue : TValueType::vaFalse); }

void TWriter::WriteString(std::string_view utf8) {
  std::optional<std::string> ansi = text::FromUtf8(utf8, text::kShiftJis);
  if (!ansi) {
    // No code-page form exists: keep the text exactly, as later form data does.
    std::u16string w = text::Utf8ToUtf16(utf8);
    WriteValue(TValueType::vaWString);
    WriteU32(static_cast<std::uint32_t>(w.size()));
    for (char16_t c : w) {
      unsigned char b[2];
      le::Put16(b, c);
      out_.WriteBuffer(b, 2);
    }
    return;
  }
  if (ansi->size() <= 255) {
    WriteValue(TValueType::vaString);
    std::uint8_t n = static_cast<std::uint8_t>(ansi->size());
    out_.WriteBuffer(&n, 1);
  } else {
    WriteValue(TValueType::vaLString);
    WriteU32(static_cast<std::uint32_t>(ansi->size()));
  }
  out_.WriteBytes(*ansi);
}

void TWriter::WriteIdent(std::string_view ident) {
  if (SameText(ident, "False")) return WriteValue(TValueType::vaFalse);
  if (SameText(ident, "True")) return WriteValue(TValueType::vaTrue);
  if (SameText(ident, "nil")) return WriteValue(TValueType::vaNil);
  if (SameText(ident, "Null")) return WriteValue(TValueType::vaNull);
  WriteValue(TValueType::vaIdent);
  WriteShortString(ident);
}

void TWriter::WriteFloat(double v) {
  WriteValue(TValueType::vaExtended);
  unsigned char b[10];
  DoubleToExtended(v, b);
  out_.WriteBuffer(b, 10);
}

void TWriter::WriteBinary(std::string_view bytes) {
  WriteValue(TValueType::vaBinary);
  WriteU32(static_cast<std::uint32_t>(bytes.size()));
  out_.WriteBytes(bytes);
}

void TWriter::WriteListBegin() { WriteValue(TValueType::vaList); }
void TWriter::WriteListEnd() { WriteValue(TValueType::vaNull); }

void TWriter::WritePropName(const std::string& name) { WriteShortString(prefix_ + name); }

void TWriter::DefineProperty(const std::string& name, ReaderProc, WriterProc write, bool hasData) {
  if (!hasData) return;
  WritePropName(name);
  write(*this);
}

void TWriter::DefineBinaryProperty(const std::string& name, StreamProc, StreamProc write, bool hasData) {
  if (!hasData) return;
  TMemoryStream block;
  write(block);
  WritePropName(name);
  WriteBinary(block.Bytes());
}

void TWriter::WriteRootComponent(TComponent* root) {
  root_ = root;
  out_.WriteBytes(std::string_view(kFormSignature, 4));
  WriteComponent(root);
}

void TWriter::WriteComponent(TComponent* c) {
  c->SetReadingState(false);
  // A length byte of F0 or more reads as the prefix of an inherited or inline object.
  if (c->ClassName().size() >= kPrefixMask)
    throw EWriteError("Class name of " + std::to_string(c->ClassName().size()) +
                      " bytes: form data holds class names of at most 239 bytes");
  WriteShortString(c->ClassName());
  WriteShortString(c->Name());
  WriteProperties(*c, "");
  WriteValue(TValueType::vaNull);
  c->GetChildren([this](TComponent* child) { WriteComponent(child); }, root_);
  WriteValue(TValueType::vaNull);
}

void TWriter::WriteProperties(TPersistent& instance, const std::string& prefix) {
  for (const TPropInfo& p : instance.ClassInfo().properties) WriteProperty(instance, p, prefix);
  std::string saved = prefix_;
  prefix_ = prefix;
  instance.DefineProperties(*this);
  prefix_ = saved;
}

void TWriter::WriteProperty(TPersistent& instance, const TPropInfo& p, const std::string& prefix) {
  if (p.stored && !p.stored(instance)) return;
  if (p.readOnly && p.kind != TPropKind::Class) return;
  std::string saved = prefix_;
  prefix_ = prefix;
  struct Restore {
    std::string& target;
    std::string value;
    ~Restore() { target = value; }
  } restore{prefix_, saved};
  switch (p.kind) {
    case TPropKind::Integer:
    case TPropKind::Boolean:
    case TPropKind::Enumeration:
    case TPropKind::Set:
    case TPropKind::Color: {
      std::int64_t v = p.getOrd(instance);
      if (p.defaultValue && *p.defaultValue == v) return;
      WritePropName(p.name);
      if (p.kind == TPropKind::Integer) {
        if (p.intToIdent)
          if (std::optional<std::string> id = p.intToIdent(v)) return WriteIdent(*id);
        return WriteInteger(v);
      }
      if (p.kind == TPropKind::Boolean) return WriteBoolean(v != 0);
      if (p.kind == TPropKind::Enumeration) {
        if (v < 0 || static_cast<std::size_t>(v) >= p.enumNames.size())
          throw EWriteError("Property " + p.name + " holds " + std::to_string(v) + ", outside its type");
        return WriteIdent(p.enumNames[static_cast<std::size_t>(v)]);
      }
      if (p.kind == TPropKind::Set) {
        WriteValue(TValueType::vaSet);
        for (std::size_t i = 0; i < p.enumNames.size() && i < 32; ++i)
          if (v & (std::int64_t{1} << i)) WriteShortString(p.enumNames[i]);
        WriteShortString("");
        return;
      }
      std::int32_t c = static_cast<std::int32_t>(v);
      if (std::optional<std::string> id = ColorToIdent(c)) return WriteIdent(*id);
      return WriteInteger(c);
    }
    case TPropKind::String: {
      std::string s = p.getStr(instance);
      if (s.empty()) return;
      WritePropName(p.name);
      return WriteString(s);
    }
    case TPropKind::Float: {
      double d = p.getFloat(instance);
      if (d == 0.0) return;
      WritePropName(p.name);
      return WriteFloat(d);
    }
    case TPropKind::Method: {
      std::string m = p.getMethodName(instance);
      if (m.empty()) return;
      WritePropName(p.name);
      return WriteIdent(m);
    }
    case TPropKind::Component: {
      auto* c = dynamic_cast<TComponent*>(p.getObj(instance));
      if (!c) return;
      WritePropName(p.name);
      if (c->Name().empty()) throw EWriteError("Property " + p.name + " refers to an unnamed component");
      return WriteIdent(c == root_ || c->Owner() == root_ ? c->Name()
                                                          : (c->Owner() ? c->Owner()->Name() + "." : "") + c->Name());
    }
    case TPropKind::Class: {
      TObject* sub = p.getObj(instance);
      if (auto* coll = dynamic_cast<TCollection*>(sub)) {
        if (coll->Count() == 0) return;
        WritePropName(p.name);
        WriteValue(TValueType::vaCollection);
        for (int i = 0; i < coll->Count(); ++i) {
          WriteListBegin();
          WriteProperties(*coll->Items(i), "");
          WriteListEnd();
        }
        WriteValue(TValueType::vaNull);
        return;
      }
      if (auto* pers = dynamic_cast<TPersistent*>(sub)) {
        if (dynamic_cast<TComponent*>(sub)) return;  // components stream as objects
        WriteProperties(*pers, prefix + p.name + ".");
      }
      return;
    }
  }
}

std::string WriteComponentToBytes(TComponent* root) {
  TMemoryStream s;
  TWriter w(s);
  w.WriteRootComponent(root);
  return s.Bytes();
}
