#pragma once
// One line of the application log: a timestamp, the formatted message, and its bytes in the file.

#include <cstdarg>
#include <string>
#include <string_view>

namespace vorn {

// Room for the message in the line buffer of 1 024 characters, after the 11 of the timestamp and
// its separator and before the terminating zero.
inline constexpr std::size_t kLogMessageRoom = 1012;

// "%09.3f: " with the seconds, then the message formatted printf-style. "%s" and "%c" take wide
// arguments on every platform. A longer message is cut to kLogMessageRoom characters and keeps its
// final line feed, so the file stays one entry per line.
std::wstring FormatLogLine(double seconds, const wchar_t* format, std::va_list args);

// The line as the log file stores it: UTF-16 little-endian, every line feed written as carriage
// return and line feed.
std::string EncodeLogLine(std::wstring_view line);

// The byte-order mark at the start of a new log file.
inline constexpr std::string_view kLogFileBom{"\xFF\xFE", 2};

}  // namespace vorn
