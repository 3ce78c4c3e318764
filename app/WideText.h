#pragma once
// The application works in wide strings (UTF-16 on Windows, UTF-32 on Linux) while the library and
// the Linux system speak UTF-8. Invalid input becomes U+FFFD rather than being dropped silently.

#include <string>
#include <string_view>

namespace vorn {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The text as UTF-16 code units, whatever the width of wchar_t.
std::u16string Utf16FromWide(std::wstring_view text);

}  // namespace vorn
