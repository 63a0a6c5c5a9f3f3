#include "paradox/LanguageDriver.h"

#include <array>
#include <cctype>

namespace paradox {

namespace {

struct KnownDriver {
  const char* name;
  std::uint8_t sortOrder;
  std::uint16_t codePage;
  bool bytewise;
};

constexpr std::array<KnownDriver, 8> kDrivers{{
    {"japan", 0x0A, 932, true},
    {"ascii", 0x00, 850, true},
    {"DBWINUS0", 0x4C, 1252, true},
    {"intl", 0xB7, 437, false},
    {"DBWINWE0", 0x40, 1252, false},
    {"ANSII850", 0x11, 1252, false},
    {"ANSIINTL", 0x62, 1252, false},
    {"china", 0x03, 936, false},
}};

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

LanguageDriver FromKnown(const KnownDriver& k) {
  LanguageDriver d;
  d.sortOrder = k.sortOrder;
  d.codePage = k.codePage;
  d.sortOrderName = k.name;
  d.bytewiseOrder = k.bytewise;
  return d;
}

}  // namespace

LanguageDriver JapaneseDriver() { return FromKnown(kDrivers[0]); }

std::optional<LanguageDriver> DriverByName(std::string_view langDriver) {
  for (const auto& k : kDrivers)
    if (SameNoCase(k.name, langDriver)) return FromKnown(k);
  return std::nullopt;
}

LanguageDriver DriverFromHeader(std::uint8_t sortOrder, std::uint16_t codePage, std::string_view sortOrderName) {
  LanguageDriver d;
  d.sortOrder = sortOrder;
  d.codePage = codePage;
  d.sortOrderName = std::string(sortOrderName);
  d.bytewiseOrder = false;
  for (const auto& k : kDrivers)
    if (SameNoCase(k.name, sortOrderName)) d.bytewiseOrder = k.bytewise;
  if (sortOrderName.empty()) d.bytewiseOrder = sortOrder == 0x00 || sortOrder == 0x4C;
  return d;
}

}  // namespace paradox
