#include "tools/formc/FormText.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "framework/Filer.h"
#include "text/CodePage.h"
#include "text/Utf8Path.h"

int FormBinary::LineAt(std::uint64_t offset) const {
  int line = lines.empty() ? 0 : lines.front().second;
  for (const auto& [off, l] : lines) {
    if (off > offset) break;
    line = l;
  }
  return line;
}

namespace {

enum class Tok { kEnd, kIdent, kInt, kFloat, kString, kSymbol, kFile };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // identifier, symbol, UTF-8 string, file name
  std::int64_t integer = 0;
  double real = 0;
  int line = 1;
};

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  Token Next() {
    SkipSpace();
    Token t;
    t.line = line_;
    if (p_ >= s_.size()) return t;
    char c = s_[p_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t b = p_;
      while (p_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[p_])) || s_[p_] == '_' || s_[p_] == '.')) ++p_;
      t.kind = Tok::kIdent;
      t.text = std::string(s_.substr(b, p_ - b));
      return t;
    }
    if (c == '\'' || c == '#') {
      t.kind = Tok::kString;
      t.text = ReadStringPieces();
      return t;
    }
    if (c == '@') {
      ++p_;
      SkipSpace();
      if (p_ >= s_.size() || s_[p_] != '\'') throw FormTextError(line_, "a file reference is @'file name'");
      t.kind = Tok::kFile;
      t.text = ReadStringPieces();
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
        ((c == '-' || c == '+') && p_ + 1 < s_.size() &&
         (std::isdigit(static_cast<unsigned char>(s_[p_ + 1])) || s_[p_ + 1] == '$'))) {
      return ReadNumber(t);
    }
    t.kind = Tok::kSymbol;
    t.text = std::string(1, c);
    ++p_;
    return t;
  }

  // Raw hex digits up to '}' (the '{' already taken).
  std::string ReadHex() {
    std::string bytes;
    int nibble = -1;
    while (p_ < s_.size() && s_[p_] != '}') {
      char c = s_[p_++];
      if (c == '\n') ++line_;
      if (std::isspace(static_cast<unsigned char>(c))) continue;
      int v;
      if (c >= '0' && c <= '9') v = c - '0';
      else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
      else throw FormTextError(line_, std::string("not a hex digit in binary data: '") + c + "'");
      if (nibble < 0) {
        nibble = v;
      } else {
        bytes += static_cast<char>(nibble * 16 + v);
        nibble = -1;
      }
    }
    if (p_ >= s_.size()) throw FormTextError(line_, "binary data without its closing }");
    if (nibble >= 0) throw FormTextError(line_, "odd number of hex digits in binary data");
    ++p_;
    return bytes;
  }

  int Line() const { return line_; }

 private:
  void SkipSpace() {
    for (;;) {
      while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_]))) {
        if (s_[p_] == '\n') ++line_;
        ++p_;
      }
      if (p_ + 1 < s_.size() && s_[p_] == '/' && s_[p_ + 1] == '/') {
        while (p_ < s_.size() && s_[p_] != '\n') ++p_;
        continue;
      }
      return;
    }
  }

  std::string ReadStringPieces() {
    std::string out;
    for (;;) {
      if (p_ < s_.size() && s_[p_] == '\'') {
        ++p_;
        for (;;) {
          if (p_ >= s_.size() || s_[p_] == '\n') throw FormTextError(line_, "string without its closing quote");
          if (s_[p_] == '\'') {
            if (p_ + 1 < s_.size() && s_[p_ + 1] == '\'') {
              out += '\'';
              p_ += 2;
              continue;
            }
            ++p_;
            break;
          }
          out += s_[p_++];
        }
      } else if (p_ < s_.size() && s_[p_] == '#') {
        ++p_;
        // A character code: decimal, or hexadecimal after $; anything past U+10FFFF is an error.
        std::uint64_t cp = 0;
        bool hex = p_ < s_.size() && s_[p_] == '$';
        if (hex) ++p_;
        std::size_t b = p_;
        while (p_ < s_.size() && (hex ? std::isxdigit(static_cast<unsigned char>(s_[p_]))
                                      : std::isdigit(static_cast<unsigned char>(s_[p_])))) {
          char d = s_[p_++];
          int v = d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10;
          cp = cp * (hex ? 16 : 10) + static_cast<std::uint64_t>(v);
          if (cp > 0x10FFFF) throw FormTextError(line_, "invalid character code");
        }
        if (p_ == b) throw FormTextError(line_, "# without a character code");
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) throw FormTextError(line_, "invalid character code");
        AppendUtf8(out, static_cast<std::uint32_t>(cp));
      } else {
        // "+" joins the pieces of one string across lines.
        std::size_t save = p_;
        int saveLine = line_;
        SkipSpace();
        if (p_ < s_.size() && s_[p_] == '+') {
          ++p_;
          SkipSpace();
          if (p_ < s_.size() && (s_[p_] == '\'' || s_[p_] == '#')) continue;
          throw FormTextError(line_, "+ must be followed by a string");
        }
        p_ = save;
        line_ = saveLine;
        return out;
      }
    }
  }

  Token ReadNumber(Token& t) {
    std::size_t b = p_;
    bool neg = false;
    if (s_[p_] == '-' || s_[p_] == '+') {
      neg = s_[p_] == '-';
      ++p_;
    }
    if (p_ < s_.size() && s_[p_] == '$') {
      ++p_;
      std::size_t h = p_;
      while (p_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
      if (h == p_ || p_ - h > 16) throw FormTextError(line_, "bad hexadecimal number");
      std::uint64_t v = 0;
      for (std::size_t k = h; k < p_; ++k) {
        char d = s_[k];
        v = v * 16 + static_cast<std::uint64_t>(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
      }
      t.kind = Tok::kInt;
      // $FF00000F is a 32-bit pattern (a TColor), as the class library reads it.
      t.integer = p_ - h <= 8 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(v)) : static_cast<std::int64_t>(v);
      if (neg) t.integer = -t.integer;
      return t;
    }
    while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
    bool isFloat = false;
    if (p_ < s_.size() && s_[p_] == '.' && p_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_ + 1]))) {
      isFloat = true;
      ++p_;
      while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
    }
    if (p_ < s_.size() && (s_[p_] == 'e' || s_[p_] == 'E')) {
      isFloat = true;
      ++p_;
      if (p_ < s_.size() && (s_[p_] == '+' || s_[p_] == '-')) ++p_;
      while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
    }
    std::string num(s_.substr(b, p_ - b));
    try {
      if (isFloat) {
        t.kind = Tok::kFloat;
        t.real = std::stod(num);
      } else {
        t.kind = Tok::kInt;
        t.integer = std::stoll(num);
      }
    } catch (const std::exception&) {
      throw FormTextError(line_, "number out of range: " + num);
    }
    return t;
  }

  std::string_view s_;
  std::size_t p_ = 0;
  int line_ = 1;
};

class Converter {
 public:
  Converter(std::string_view text, std::filesystem::path baseDir) : lex_(text), base_(std::move(baseDir)) { Advance(); }

  FormBinary Run() {
    out_.data.append("TPF0", 4);
    out_.root = Object(0);
    if (tok_.kind != Tok::kEnd) throw FormTextError(tok_.line, "text after the last end");
    return std::move(out_);
  }

 private:
  void Advance() { tok_ = lex_.Next(); }
  bool IsSym(char c) const { return tok_.kind == Tok::kSymbol && tok_.text.size() == 1 && tok_.text[0] == c; }
  bool IsWord(const char* w) const { return tok_.kind == Tok::kIdent && SameText(tok_.text, w); }
  void Expect(char c) {
    if (!IsSym(c)) throw FormTextError(tok_.line, std::string("'") + c + "' expected");
    Advance();
  }
  void Byte(std::uint8_t b) { out_.data += static_cast<char>(b); }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Short(const std::string& s, int line) {
    if (s.size() > 255) throw FormTextError(line, "name longer than 255 bytes");
    Byte(static_cast<std::uint8_t>(s.size()));
    out_.data += s;
  }
  void Mark(int line) { out_.lines.emplace_back(out_.data.size(), line); }

  FormObject Object(int depth) {
    if (depth > 60) throw FormTextError(tok_.line, "objects nested too deeply");
    FormObject obj;
    obj.line = tok_.line;
    std::uint8_t flags = 0;
    if (IsWord("inherited")) flags = kPrefixInherited;
    else if (IsWord("inline")) flags = kPrefixInline;
    else if (!IsWord("object")) throw FormTextError(obj.line, "'object' expected");
    Advance();
    if (tok_.kind != Tok::kIdent) throw FormTextError(tok_.line, "object name or class expected");
    obj.name = tok_.text;
    Advance();
    if (IsSym(':')) {
      Advance();
      if (tok_.kind != Tok::kIdent) throw FormTextError(tok_.line, "class name expected");
      obj.className = tok_.text;
      Advance();
    } else {
      obj.className = obj.name;
      obj.name.clear();
    }
    Mark(obj.line);
    if (flags) Byte(kPrefixMask | flags);
    obj.header = out_.data.size();
    Short(obj.className, obj.line);
    Short(obj.name, obj.line);
    obj.properties = out_.data.size();
    while (!IsWord("end") && !IsWord("object") && !IsWord("inherited") && !IsWord("inline")) {
      if (tok_.kind != Tok::kIdent) throw FormTextError(tok_.line, "property name, object or end expected");
      Property();
    }
    obj.propertiesEnd = out_.data.size();
    Byte(0);
    while (!IsWord("end")) obj.children.push_back(Object(depth + 1));
    Advance();
    Byte(0);
    return obj;
  }

  void Property() {
    int line = tok_.line;
    std::string name = tok_.text;
    Advance();
    Mark(line);
    Short(name, line);
    Expect('=');
    Value(0);
  }

  void Integer(std::int64_t v) {
    if (v >= -128 && v <= 127) {
      Byte(static_cast<std::uint8_t>(TValueType::vaInt8));
      Byte(static_cast<std::uint8_t>(v));
    } else if (v >= -32768 && v <= 32767) {
      Byte(static_cast<std::uint8_t>(TValueType::vaInt16));
      Byte(static_cast<std::uint8_t>(v));
      Byte(static_cast<std::uint8_t>(v >> 8));
    } else if (v >= INT32_MIN && v <= INT32_MAX) {
      Byte(static_cast<std::uint8_t>(TValueType::vaInt32));
      U32(static_cast<std::uint32_t>(v));
    } else {
      Byte(static_cast<std::uint8_t>(TValueType::vaInt64));
      for (int i = 0; i < 8; ++i) Byte(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
    }
  }

  void String(const std::string& utf8) {
    TMemoryStream s;
    TWriter w(s);
    w.WriteString(utf8);
    out_.data += s.Bytes();
  }

  void Value(int depth) {
    if (depth > 60) throw FormTextError(tok_.line, "values nested too deeply");
    int line = tok_.line;
    switch (tok_.kind) {
      case Tok::kInt: Integer(tok_.integer); Advance(); return;
      case Tok::kFloat: {
        Byte(static_cast<std::uint8_t>(TValueType::vaExtended));
        unsigned char b[10];
        DoubleToExtended(tok_.real, b);
        out_.data.append(reinterpret_cast<char*>(b), 10);
        Advance();
        return;
      }
      case Tok::kString: String(tok_.text); Advance(); return;
      case Tok::kFile: Binary(FileValue(tok_.text, line)); Advance(); return;
      case Tok::kIdent: {
        if (SameText(tok_.text, "True")) Byte(static_cast<std::uint8_t>(TValueType::vaTrue));
        else if (SameText(tok_.text, "False")) Byte(static_cast<std::uint8_t>(TValueType::vaFalse));
        else if (SameText(tok_.text, "nil")) Byte(static_cast<std::uint8_t>(TValueType::vaNil));
        else {
          Byte(static_cast<std::uint8_t>(TValueType::vaIdent));
          Short(tok_.text, line);
        }
        Advance();
        return;
      }
      case Tok::kSymbol: break;
      case Tok::kEnd: throw FormTextError(line, "value expected at the end of the text");
    }
    if (IsSym('[')) {
      Advance();
      Byte(static_cast<std::uint8_t>(TValueType::vaSet));
      while (!IsSym(']')) {
        if (tok_.kind != Tok::kIdent) throw FormTextError(tok_.line, "set element expected");
        Short(tok_.text, tok_.line);
        Advance();
        if (IsSym(',')) Advance();
        else if (!IsSym(']')) throw FormTextError(tok_.line, "',' or ']' expected");
      }
      Advance();
      Byte(0);
    } else if (IsSym('(')) {
      Advance();
      Byte(static_cast<std::uint8_t>(TValueType::vaList));
      while (!IsSym(')')) {
        if (tok_.kind == Tok::kEnd) throw FormTextError(line, "list without its closing )");
        Value(depth + 1);
      }
      Advance();
      Byte(0);
    } else if (IsSym('{')) {
      std::string bytes = lex_.ReadHex();
      Binary(bytes);
      Advance();
    } else if (IsSym('<')) {
      Advance();
      Byte(static_cast<std::uint8_t>(TValueType::vaCollection));
      while (!IsSym('>')) {
        if (!IsWord("item")) throw FormTextError(tok_.line, "'item' or '>' expected");
        Advance();
        if (IsSym('[')) {
          Advance();
          if (tok_.kind != Tok::kInt) throw FormTextError(tok_.line, "item order expected");
          Integer(tok_.integer);
          Advance();
          Expect(']');
        }
        Byte(static_cast<std::uint8_t>(TValueType::vaList));
        while (!IsWord("end")) {
          if (tok_.kind != Tok::kIdent) throw FormTextError(tok_.line, "property name or end expected");
          Property();
        }
        Advance();
        Byte(0);
      }
      Advance();
      Byte(0);
    } else {
      throw FormTextError(line, "value expected, found '" + tok_.text + "'");
    }
  }

  void Binary(const std::string& bytes) {
    Byte(static_cast<std::uint8_t>(TValueType::vaBinary));
    U32(static_cast<std::uint32_t>(bytes.size()));
    out_.data += bytes;
  }

  std::string FileValue(const std::string& name, int line) {
    std::filesystem::path p = text::PathFromUtf8(name);
    if (p.is_relative()) p = base_ / p;
    std::ifstream in(p, std::ios::binary);
    if (!in) throw FormTextError(line, "cannot read file " + p.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    std::string bytes = ss.str();
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".jpg" || ext == ".jpeg") {
      // The picture is decoded only when the program loads the form, so a file that is not
      // even framed as a JPEG (start of image FF D8 FF, end of image FF D9) is refused here.
      if (bytes.size() < 5 || bytes.compare(0, 3, "\xFF\xD8\xFF") != 0 ||
          bytes.compare(bytes.size() - 2, 2, "\xFF\xD9") != 0)
        throw FormTextError(line, p.string() + " is not a JPEG file");
      std::string block;
      block += static_cast<char>(10);
      block += "TJPEGImage";
      std::uint32_t n = static_cast<std::uint32_t>(bytes.size());
      for (int i = 0; i < 4; ++i) block += static_cast<char>(n >> (8 * i));
      return block + bytes;
    }
    return bytes;
  }

  Lexer lex_;
  Token tok_;
  std::filesystem::path base_;
  FormBinary out_;
};

}  // namespace

FormBinary ObjectTextToBinary(std::string_view text, const std::filesystem::path& baseDir) {
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
      static_cast<unsigned char>(text[2]) == 0xBF)
    text.remove_prefix(3);
  return Converter(text, baseDir).Run();
}

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Writes the compiled form of one object and, recursively, its children.
class Designer {
 public:
  explicit Designer(const FormBinary& raw) : raw_(raw) {}

  std::string Run() {
    out_.assign(kFormSignature, 4);
    Emit(raw_.root, true);
    return std::move(out_);
  }

 private:
  void Emit(const FormObject& obj, bool isRoot) {
    // Every component of a form belongs to the form, so no two may share a name.
    if (!isRoot && !obj.name.empty() && !names_.insert(Upper(obj.name)).second)
      throw FormTextError(obj.line, "A component named " + obj.name + " already exists");
    const TClassInfo* info = GetClass(obj.className);
    if (info && !info->factory)
      throw FormTextError(obj.line, "Class " + obj.className + " cannot be created from form data");
    if (info) {
      out_ += Design(obj, *info);
    } else {
      // Header and properties as the text gives them, without the prefix (never written).
      out_.append(raw_.data, obj.header, obj.propertiesEnd + 1 - obj.header);
    }
    for (const FormObject& child : obj.children) Emit(child, false);
    out_ += '\0';
  }

  // The object alone as the root of its own form data, read as the designer assigns it and
  // written back: header and properties, with the properties' end marker.
  std::string Design(const FormObject& obj, const TClassInfo& info) {
    std::string alone(kFormSignature, 4);
    alone.append(raw_.data, obj.header, obj.propertiesEnd + 1 - obj.header);
    alone += '\0';
    std::unique_ptr<TComponent> instance;
    try {
      instance.reset(info.factory(nullptr));
      instance->SetDesigning(true);
      TReader reader(alone, TReader::Mode::kDesign);
      reader.ReadRootComponent(instance.get());
      std::string written = WriteComponentToBytes(instance.get());
      return written.substr(4, written.size() - 5);
    } catch (const EFilerError& e) {
      std::string msg = e.what();
      // The offset means nothing to the author of the text; the line does.
      std::size_t cut = msg.rfind(" (form data offset ");
      if (cut != std::string::npos) msg.erase(cut);
      std::uint64_t at = e.Offset().value_or(4);
      std::uint64_t rawAt = obj.header + (at >= 4 ? at - 4 : 0);
      throw FormTextError(rawAt > obj.propertiesEnd ? obj.line : raw_.LineAt(rawAt), msg);
    } catch (const std::exception& e) {
      throw FormTextError(obj.line, e.what());
    }
  }

  const FormBinary& raw_;
  std::string out_;
  std::set<std::string> names_;
};

}  // namespace

std::string CompileForm(std::string_view text, const FormCompileOptions& options) {
  FormBinary raw = ObjectTextToBinary(text, options.baseDir);
  std::map<std::string, std::string> upperMap;
  for (const auto& [k, v] : options.designFileMap) upperMap[Upper(k)] = v;
  SetDesignFileResolver([&](const std::string& stored) {
    auto it = upperMap.find(Upper(stored));
    if (it != upperMap.end()) return it->second;
    std::filesystem::path p = text::PathFromUtf8(stored);
    if (p.is_relative()) return (options.baseDir / p).string();
    return stored;
  });
  struct ResetResolver {
    ~ResetResolver() { SetDesignFileResolver(nullptr); }
  } reset;
  return Designer(raw).Run();
}
