#pragma once
// UTF-8 <-> UTF-16 for the wide Win32 functions; the library itself speaks UTF-8.

#include <string>
#include <string_view>

namespace dovod::platform {

std::wstring to_wide(std::string_view text);
std::string to_utf8(std::wstring_view text);

}  // namespace dovod::platform
