#pragma once
// Device paths and instance identifiers as the transport keeps them: the system's UTF-16 turned into
// UTF-8 and lower-cased one character at a time, so that two spellings Windows treats as one path
// compare equal as plain strings.

#include <string>
#include <string_view>

namespace dovod {

std::string path_text(std::wstring_view system_text);

}  // namespace dovod
