#include "paradox/ParadoxFormat.h"

#include <cstring>

#include "os/LittleEndian.h"

namespace paradox {

bool IsBlobType(FieldType t) {
  switch (t) {
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kFormattedMemo:
    case FieldType::kOle:
    case FieldType::kGraphic:
      return true;
    default:
      return false;
  }
}

std::optional<unsigned> StoredFieldSize(std::uint8_t typeCode, std::uint8_t sizeByte) {
  switch (static_cast<FieldType>(typeCode)) {
    case FieldType::kAlpha:
    case FieldType::kBytes:
      if (sizeByte == 0) return std::nullopt;
      return sizeByte;
    case FieldType::kDate:
    case FieldType::kLong:
    case FieldType::kTime:
    case FieldType::kAutoIncrement:
      if (sizeByte != 4) return std::nullopt;
      return 4u;
    case FieldType::kShort:
      if (sizeByte != 2) return std::nullopt;
      return 2u;
    case FieldType::kMoney:
    case FieldType::kNumber:
    case FieldType::kTimestamp:
      if (sizeByte != 8) return std::nullopt;
      return 8u;
    case FieldType::kLogical:
      if (sizeByte != 1) return std::nullopt;
      return 1u;
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kFormattedMemo:
    case FieldType::kOle:
    case FieldType::kGraphic:
      if (sizeByte < format::kBlobTailSize) return std::nullopt;
      return sizeByte;
    case FieldType::kBcd:
      if (sizeByte > 32) return std::nullopt;
      return static_cast<unsigned>(format::kBcdSize);
  }
  return std::nullopt;
}

unsigned MinimumLevel(FieldType t) {
  switch (t) {
    case FieldType::kAlpha:
    case FieldType::kDate:
    case FieldType::kShort:
    case FieldType::kNumber:
    case FieldType::kMoney:
      return 3;
    case FieldType::kMemo:
    case FieldType::kBinary:
    case FieldType::kFormattedMemo:
    case FieldType::kOle:
    case FieldType::kGraphic:
      return 4;
    default:
      return 5;
  }
}

std::string_view FieldTypeName(FieldType t) {
  switch (t) {
    case FieldType::kAlpha: return "Alpha";
    case FieldType::kDate: return "Date";
    case FieldType::kShort: return "Short";
    case FieldType::kLong: return "Long";
    case FieldType::kMoney: return "Money";
    case FieldType::kNumber: return "Number";
    case FieldType::kLogical: return "Logical";
    case FieldType::kMemo: return "Memo";
    case FieldType::kBinary: return "Binary";
    case FieldType::kFormattedMemo: return "FmtMemo";
    case FieldType::kOle: return "OLE";
    case FieldType::kGraphic: return "Graphic";
    case FieldType::kTime: return "Time";
    case FieldType::kTimestamp: return "Timestamp";
    case FieldType::kAutoIncrement: return "AutoInc";
    case FieldType::kBcd: return "BCD";
    case FieldType::kBytes: return "Bytes";
  }
  return "?";
}

std::uint16_t GetU16(std::string_view b, std::size_t at) { return le::Get16(b.data() + at); }
std::uint32_t GetU32(std::string_view b, std::size_t at) { return le::Get32(b.data() + at); }
void PutU16(std::string& b, std::size_t at, std::uint16_t v) { le::Put16(b.data() + at, v); }
void PutU32(std::string& b, std::size_t at, std::uint32_t v) { le::Put32(b.data() + at, v); }

BlobTail BlobTail::Decode(std::string_view field) {
  const char* tail = field.data() + LeaderSize(field.size());
  return {le::Get32(tail + format::kBlobTailPointer), le::Get32(tail + format::kBlobTailLength),
          le::Get16(tail + format::kBlobTailModification)};
}

void BlobTail::Encode(std::string& field) const {
  char* tail = field.data() + LeaderSize(field.size());
  le::Put32(tail + format::kBlobTailPointer, pointer);
  le::Put32(tail + format::kBlobTailLength, length);
  le::Put16(tail + format::kBlobTailModification, modification);
}

namespace {

bool AllZero(std::string_view b) {
  for (char c : b)
    if (c != 0) return false;
  return true;
}

std::uint64_t BigEndian(std::string_view b) {
  std::uint64_t v = 0;
  for (char c : b) v = (v << 8) | static_cast<unsigned char>(c);
  return v;
}

std::string ToBigEndian(std::uint64_t v, std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = n; i-- > 0;) {
    s[i] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
  return s;
}

}  // namespace

std::optional<std::int16_t> DecodeShort(std::string_view b) {
  if (b.size() != 2 || AllZero(b)) return std::nullopt;
  auto u = static_cast<std::uint16_t>(BigEndian(b) ^ 0x8000u);
  return static_cast<std::int16_t>(u);
}

std::optional<std::int32_t> DecodeLong(std::string_view b) {
  if (b.size() != 4 || AllZero(b)) return std::nullopt;
  auto u = static_cast<std::uint32_t>(BigEndian(b) ^ 0x80000000u);
  return static_cast<std::int32_t>(u);
}

std::optional<double> DecodeDouble(std::string_view b) {
  if (b.size() != 8 || AllZero(b)) return std::nullopt;
  std::uint64_t u = BigEndian(b);
  if (u & 0x8000000000000000ull)
    u &= ~0x8000000000000000ull;
  else
    u = ~u;
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

std::optional<bool> DecodeLogical(std::string_view b) {
  if (b.size() != 1 || b[0] == 0) return std::nullopt;
  return (static_cast<unsigned char>(b[0]) & 0x7F) != 0;
}

std::optional<std::string> DecodeBcd(std::string_view b, unsigned decimals) {
  if (b.size() != format::kBcdSize || AllZero(b)) return std::nullopt;
  auto first = static_cast<unsigned char>(b[0]);
  bool positive = (first & 0x80) != 0;
  // 32 digits in nibbles after the first byte; negative values are stored inverted.
  std::string digits;
  for (std::size_t i = 1; i < b.size(); ++i) {
    auto c = static_cast<unsigned char>(b[i]);
    if (!positive) c = static_cast<unsigned char>(~c);
    unsigned hi = c >> 4, lo = c & 0x0F;
    if (hi > 9 || lo > 9) return std::nullopt;
    digits += static_cast<char>('0' + hi);
    digits += static_cast<char>('0' + lo);
  }
  if (decimals > 32) return std::nullopt;
  std::string intPart = digits.substr(0, 32 - decimals);
  std::string frac = digits.substr(32 - decimals);
  std::size_t nz = intPart.find_first_not_of('0');
  intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
  std::string s = intPart;
  if (!frac.empty()) s += "." + frac;
  bool zero = s.find_first_not_of("0.") == std::string::npos;
  if (!positive && !zero) s = "-" + s;
  return s;
}

std::string EncodeShort(std::int16_t v) {
  return ToBigEndian(static_cast<std::uint16_t>(v) ^ 0x8000u, 2);
}

std::string EncodeLong(std::int32_t v) {
  return ToBigEndian(static_cast<std::uint32_t>(v) ^ 0x80000000u, 4);
}

std::string EncodeDouble(double d) {
  std::uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  if (u & 0x8000000000000000ull)
    u = ~u;
  else
    u |= 0x8000000000000000ull;
  return ToBigEndian(u, 8);
}

std::string EncodeLogical(bool v) { return std::string(1, static_cast<char>(v ? 0x81 : 0x80)); }

// Howard Hinnant's days-from-civil, shifted so that 0001-01-01 is day 1.
std::int32_t DayNumberFromCivil(const CivilDate& d) {
  int y = d.year - (d.month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned mp = (d.month + 9) % 12;
  const unsigned doy = (153 * mp + 2) / 5 + d.day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t daysFrom1970 = static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
  return static_cast<std::int32_t>(daysFrom1970 + 719163);
}

CivilDate CivilFromDayNumber(std::int32_t dayNumber) {
  std::int64_t z = static_cast<std::int64_t>(dayNumber) - 719163 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned dd = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return CivilDate{static_cast<int>(y + (m <= 2 ? 1 : 0)), m, dd};
}

}  // namespace paradox
