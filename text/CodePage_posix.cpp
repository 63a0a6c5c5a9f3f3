// Code-page conversions of the native build, through glibc's iconv.
#include <iconv.h>

#include <cerrno>
#include <map>
#include <string>
#include <utility>

#include "text/CodePage.h"
#include "text/CodePageSystem.h"

namespace text {
namespace {

std::string IconvName(unsigned codePage) {
  switch (codePage) {
    case 932: return "CP932";
    case 936: return "CP936";
    case 1252: return "CP1252";
    case 437: return "CP437";
    case 850: return "CP850";
    case 65001: return "UTF-8";
    default: return "CP" + std::to_string(codePage);
  }
}

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Opening a conversion costs more than converting a field: each thread keeps the ones it opened.
// Every use starts by resetting the shift state, so one left mid-character does no harm.
enum class Direction { kToUtf8, kFromUtf8 };
const Iconv& Converter(unsigned codePage, Direction direction) {
  thread_local std::map<std::pair<unsigned, Direction>, Iconv> open;
  auto it = open.find({codePage, direction});
  if (it != open.end()) return it->second;
  const std::string name = IconvName(codePage);
  return open
      .try_emplace({codePage, direction}, direction == Direction::kToUtf8 ? "UTF-8" : name,
                   direction == Direction::kToUtf8 ? name : "UTF-8")
      .first->second;
}

}  // namespace

namespace os {

std::string ToUtf8(std::string_view bytes, unsigned codePage) {
  const Iconv& cd = Converter(codePage, Direction::kToUtf8);
  std::string out;
  if (!cd.ok()) {
    for (unsigned char c : bytes) out += c < 0x80 ? std::string(1, static_cast<char>(c)) : "\xEF\xBF\xBD";
    return out;
  }
  std::size_t i = 0;
  char buf[64];
  while (i < bytes.size()) {
    // One character at a time keeps an invalid byte from swallowing its neighbours.
    std::size_t len = (codePage == kShiftJis && IsShiftJisLeadByte(static_cast<unsigned char>(bytes[i])) &&
                       i + 1 < bytes.size())
                          ? 2
                          : 1;
    char* in = const_cast<char*>(bytes.data() + i);
    std::size_t inLeft = len;
    char* o = buf;
    std::size_t outLeft = sizeof buf;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd.get(), &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
      out += "\xEF\xBF\xBD";
      i += 1;
      continue;
    }
    out.append(buf, o - buf);
    i += len;
  }
  return out;
}

std::optional<std::string> FromUtf8(std::string_view utf8, unsigned codePage) {
  if (Utf16ToUtf8(Utf8ToUtf16(utf8)) != utf8) return std::nullopt;
  const Iconv& cd = Converter(codePage, Direction::kFromUtf8);
  if (!cd.ok()) return std::nullopt;
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* o = out.data();
  std::size_t outLeft = out.size();
  if (iconv(cd.get(), &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - outLeft);
  if (ToUtf8(out, codePage) != utf8) return std::nullopt;  // no best-fit substitutes
  return out;
}

}  // namespace os
}  // namespace text
