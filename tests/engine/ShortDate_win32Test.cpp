// The short date as Windows itself writes it for the user's locale.

#include <windows.h>

#include <gtest/gtest.h>

#include "engine/ShortDate.h"
#include "text/CodePage.h"

namespace {

TEST(ShortDateLocale, MatchesWhatWindowsWrites) {
  for (engine::CivilDate c : {engine::CivilDate{2023, 4, 5}, engine::CivilDate{1999, 12, 31},
                               engine::CivilDate{2010, 10, 1}}) {
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(c.year);
    st.wMonth = static_cast<WORD>(c.month);
    st.wDay = static_cast<WORD>(c.day);
    wchar_t buffer[128] = {};
    ASSERT_GT(GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 128, nullptr), 0);
    std::string windows = text::Narrow(buffer);
    EXPECT_EQ(engine::FormatShortDate(engine::CivilToDateTime(c), engine::UserShortDateFormat()), windows);
    EXPECT_EQ(engine::ParseShortDate(windows, engine::UserShortDateFormat()), engine::CivilToDateTime(c)) << windows;
  }
}

}  // namespace
