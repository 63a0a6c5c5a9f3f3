#pragma once
// Dates as the user writes them: the short date format of the user's locale, and the day
// arithmetic between TDateTime and the calendar.

#include <optional>
#include <string>
#include <string_view>

#include "engine/DbTypes.h"

namespace engine {

struct CivilDate {
  int year = 1899, month = 12, day = 30;
};

// Proleptic Gregorian calendar; TDateTime 0 is 1899-12-30.
CivilDate DateTimeToCivil(TDateTime value);
TDateTime CivilToDateTime(const CivilDate& date);
bool IsValidCivil(const CivilDate& date);

// The user's short date format in the Windows picture syntax (d dd M MM y yy yyyy, text in
// single quotes): GetLocaleInfoEx(LOCALE_SSHORTDATE) on Windows, "yyyy/MM/dd" natively. UTF-8.
std::string UserShortDateFormat();

// The date part of `value` written in `format` (UTF-8).
std::string FormatShortDate(TDateTime value, std::string_view format);

// Reads a date written with the field order of `format`: numbers separated by any non-digits,
// year, month and day in the format's order; a missing year is this year; a two-digit year
// lies in 1950..2049. std::nullopt when it is not a valid date.
std::optional<TDateTime> ParseShortDate(std::string_view textValue, std::string_view format);

}  // namespace engine
