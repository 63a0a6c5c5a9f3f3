#pragma once
// The operating system's side of the code-page conversions of CodePage.h, one per platform
// (CodePage_posix.cpp, CodePage_win32.cpp); CodePage.cpp answers text that needs none.

#include <optional>
#include <string>
#include <string_view>

namespace text::os {

std::string ToUtf8(std::string_view bytes, unsigned codePage);
std::optional<std::string> FromUtf8(std::string_view utf8, unsigned codePage);

}  // namespace text::os
