#include <windows.h>

#include "engine/ShortDate.h"
#include "text/CodePage.h"

namespace engine {

std::string UserShortDateFormat() {
  wchar_t buffer[LOCALE_NAME_MAX_LENGTH * 2] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, buffer, static_cast<int>(std::size(buffer))) == 0)
    return "yyyy/MM/dd";
  return text::Narrow(buffer);
}

}  // namespace engine
