#pragma once
// A Paradox table's language driver: stored three times in the .DB header (the sort-order byte
// at 0x29, the code page at 0x6A, the sort-order name after the field numbers) and copied
// into every index file. Text in a table is bytes in the driver's code page.
//
// Known drivers (short name as the engine configuration's LANGDRIVER holds it):
// | LANGDRIVER | sort byte | code page | sort-order name | where the pair was seen |
// |---|---|---|---|---|
// | (Paradox 'japan') | 0x0A | 932 | "japan" | a public driver table whose China entry matches real files; no real Japanese table was available to confirm it |
// | "ascii" | 0x00 | 850 (437 in older tables) | "ascii" | real tables |
// | "intl" | 0xB7 | 437 | "intl" | public driver table |
// | "DBWINUS0" ('ascii' ANSI) | 0x4C | 1252 | "DBWINUS0" | real tables |
// | "DBWINWE0" ('WEurope' ANSI) | 0x40 | 1252 | "DBWINWE0" | real tables |
// | "ANSII850" | 0x11 | 1252 | "ANSII850" | real tables |
// | "ANSIINTL" | 0x62 | 1252 | "ANSIINTL" | real tables |
// | "china" | 0x03 | 936 | "china" | real table |
//
// Text order: keys of 'ascii' and DBWINUS0 tables were seen sorted as plain unsigned bytes,
// the zero padding making a shorter value sort first. The 'japan' driver is a double-byte
// driver without case folding of Shift-JIS; this engine orders its keys as plain unsigned
// bytes as well (Shift-JIS byte order is JIS order within each lead byte). For the intl and
// ANSI drivers the exact order was not determined: their tables are read, but a table whose
// primary key holds text in such a driver is not written (the engine would misplace records).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace paradox {

struct LanguageDriver {
  std::uint8_t sortOrder = 0x0A;
  std::uint16_t codePage = 932;
  std::string sortOrderName = "japan";
  // True when text keys of this driver compare as plain unsigned bytes.
  bool bytewiseOrder = true;
};

// The Japanese driver new tables get unless the caller says otherwise.
LanguageDriver JapaneseDriver();

// The driver for a LANGDRIVER value ("DBWINUS0", "ascii", "japan", ...; matched without
// regard to case), or std::nullopt when the name is not one of the table above.
std::optional<LanguageDriver> DriverByName(std::string_view langDriver);

// The driver described by a table's header: the known driver with this sort-order name, or
// one built from the three stored values (order then assumed unknown unless the sort byte is
// 0x00 or 0x4C).
LanguageDriver DriverFromHeader(std::uint8_t sortOrder, std::uint16_t codePage, std::string_view sortOrderName);

}  // namespace paradox
