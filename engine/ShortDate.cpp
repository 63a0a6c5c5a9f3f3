#include "engine/ShortDate.h"

#include <cmath>
#include <ctime>
#include <vector>

namespace engine {
namespace {

// Days from 1970-01-01 of a civil date and back (H. Hinnant's algorithms).
long long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

CivilDate CivilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

const long long kEpochOffset = DaysFromCivil(1899, 12, 30);

enum class Part { kYear, kMonth, kDay };

std::vector<Part> FieldOrder(std::string_view format) {
  std::vector<Part> order;
  bool quoted = false;
  for (char c : format) {
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    Part p;
    if (c == 'y' || c == 'Y') p = Part::kYear;
    else if (c == 'M') p = Part::kMonth;
    else if (c == 'd' || c == 'D') p = Part::kDay;
    else continue;
    bool seen = false;
    for (Part q : order) seen = seen || q == p;
    if (!seen) order.push_back(p);
  }
  if (order.size() != 3) order = {Part::kYear, Part::kMonth, Part::kDay};
  return order;
}

int ThisYear() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
#ifdef _WIN32
  localtime_s(&parts, &now);
#else
  localtime_r(&now, &parts);
#endif
  return parts.tm_year + 1900;
}

std::string Padded(int value, std::size_t width) {
  std::string s = std::to_string(value < 0 ? -value : value);
  while (s.size() < width) s.insert(s.begin(), '0');
  return value < 0 ? "-" + s : s;
}

}  // namespace

CivilDate DateTimeToCivil(TDateTime value) {
  return CivilFromDays(static_cast<long long>(std::floor(value)) + kEpochOffset);
}

TDateTime CivilToDateTime(const CivilDate& date) {
  return static_cast<TDateTime>(DaysFromCivil(date.year, date.month, date.day) - kEpochOffset);
}

bool IsValidCivil(const CivilDate& date) {
  if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1) return false;
  CivilDate back = CivilFromDays(DaysFromCivil(date.year, date.month, date.day));
  return back.year == date.year && back.month == date.month && back.day == date.day;
}

std::string FormatShortDate(TDateTime value, std::string_view format) {
  CivilDate date = DateTimeToCivil(value);
  std::string out;
  for (std::size_t i = 0; i < format.size();) {
    char c = format[i];
    if (c == '\'') {
      std::size_t end = format.find('\'', i + 1);
      if (end == std::string_view::npos) end = format.size();
      if (end == i + 1 && end < format.size()) out += '\'';  // '' is a quote
      else out.append(format.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < format.size() && format[i + run] == c) ++run;
    if (c == 'y') {
      out += run <= 2 ? Padded(date.year % 100, run == 2 ? 2 : 1) : Padded(date.year, 4);
    } else if (c == 'M') {
      out += Padded(date.month, run >= 2 ? 2 : 1);
    } else if (c == 'd') {
      out += Padded(date.day, run >= 2 ? 2 : 1);
    } else if (c == 'g') {
      // The era name has no place in a numeric short date of the Gregorian calendar.
    } else {
      out.append(format.substr(i, run));
    }
    i += run;
  }
  return out;
}

std::optional<TDateTime> ParseShortDate(std::string_view textValue, std::string_view format) {
  std::vector<std::string_view> numbers;
  for (std::size_t i = 0; i < textValue.size();) {
    if (textValue[i] >= '0' && textValue[i] <= '9') {
      std::size_t start = i;
      while (i < textValue.size() && textValue[i] >= '0' && textValue[i] <= '9') ++i;
      numbers.push_back(textValue.substr(start, i - start));
    } else if (textValue[i] == ' ' || textValue[i] == '/' || textValue[i] == '-' || textValue[i] == '.') {
      ++i;
    } else {
      return std::nullopt;
    }
  }
  std::vector<Part> order = FieldOrder(format);
  if (numbers.size() == 2) {
    std::vector<Part> withoutYear;
    for (Part p : order)
      if (p != Part::kYear) withoutYear.push_back(p);
    order = withoutYear;
  } else if (numbers.size() != 3) {
    return std::nullopt;
  }
  CivilDate date{ThisYear(), 0, 0};
  for (std::size_t k = 0; k < numbers.size(); ++k) {
    if (numbers[k].size() > 4) return std::nullopt;
    int v = std::stoi(std::string(numbers[k]));
    switch (order[k]) {
      case Part::kYear:
        if (numbers[k].size() <= 2) v += v < 50 ? 2000 : 1900;
        date.year = v;
        break;
      case Part::kMonth: date.month = v; break;
      case Part::kDay: date.day = v; break;
    }
  }
  if (!IsValidCivil(date)) return std::nullopt;
  return CivilToDateTime(date);
}

}  // namespace engine
