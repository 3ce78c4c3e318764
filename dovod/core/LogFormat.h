#pragma once
// Text handling of the log: printf into fixed 1 024-byte buffers with a visible truncation mark,
// the "-Name- " tag prefix, and the shortening of compiler-style function names.

#include <cstdarg>
#include <cstddef>
#include <string_view>

namespace dovod::log {

constexpr std::size_t kLineBytes = 1024;

// Formats into `out` (kLineBytes). A text that does not fit ends in " (truncated)" followed by a
// line feed when `format` ends with one, else a blank; a formatting error appends
// " (vsnprintf error)". Returns the length of the text in `out`.
std::size_t format_into(char* out, const char* format, va_list args);
std::size_t format_line(char* out, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The name of a "-Name- " prefix at the start of `text` (at least one character, no blanks,
// minus signs or '%'), or empty when there is none. The prefix is name.size() + 3 bytes long.
std::string_view tag_prefix(std::string_view text);

struct ShortName {
  std::string_view function;  // without parameters, return type and leading "dovod::"
  std::string_view message;   // without a leading copy of the function's name
};

// Shortens `function` and drops a repeat of its name (method, then qualified) from the message.
ShortName shorten(std::string_view function, std::string_view message);

// "ERROR" ... "VERBOSE"; levels beyond have no name and show as their number.
std::string_view level_name(unsigned level, char (&scratch)[12]);

}  // namespace dovod::log
