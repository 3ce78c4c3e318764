#include "core/LogFormat.h"

#include <cstdio>
#include <cstring>

namespace dovod::log {
namespace {

constexpr char kTruncated[] = " (truncated)";
constexpr char kFormatError[] = " (vsnprintf error)";
constexpr std::size_t kKeptBeforeError = 1004;

bool ends_with_newline(const char* format) {
  std::size_t n = std::strlen(format);
  return n > 0 && format[n - 1] == '\n';
}

bool starts_with_word(std::string_view text, std::string_view word) {
  if (word.empty() || text.substr(0, word.size()) != word) return false;
  return text.size() == word.size() || text[word.size()] == ' ';
}

std::string_view drop_word(std::string_view text, std::string_view word) {
  text.remove_prefix(word.size());
  if (!text.empty()) text.remove_prefix(1);
  return text;
}

}  // namespace

std::size_t format_into(char* out, const char* format, va_list args) {
  out[0] = '\0';
  int n = std::vsnprintf(out, kLineBytes, format, args);
  if (n < 0) {
    std::size_t kept = strnlen(out, kKeptBeforeError);
    std::memcpy(out + kept, kFormatError, sizeof kFormatError);
    return kept + sizeof kFormatError - 1;
  }
  if (static_cast<std::size_t>(n) < kLineBytes) return static_cast<std::size_t>(n);
  // 1 023 characters in all: the kept text, the mark, and a line feed or blank.
  std::size_t kept = kLineBytes - 1 - (sizeof kTruncated - 1) - 1;
  std::memcpy(out + kept, kTruncated, sizeof kTruncated - 1);
  out[kLineBytes - 2] = ends_with_newline(format) ? '\n' : ' ';
  out[kLineBytes - 1] = '\0';
  return kLineBytes - 1;
}

std::size_t format_line(char* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::size_t n = format_into(out, format, args);
  va_end(args);
  return n;
}

std::string_view tag_prefix(std::string_view text) {
  if (text.size() < 4 || text[0] != '-') return {};
  std::size_t end = 1;
  while (end < text.size() && text[end] != '-' && text[end] != ' ' && text[end] != '%') ++end;
  if (end == 1 || end + 1 >= text.size() || text[end] != '-' || text[end + 1] != ' ') return {};
  return text.substr(1, end - 1);
}

ShortName shorten(std::string_view function, std::string_view message) {
  std::string_view name = function;
  if (!name.empty() && name.back() == ')') {
    int depth = 0;
    for (std::size_t i = name.size(); i-- > 0;) {
      if (name[i] == ')') ++depth;
      else if (name[i] == '(' && --depth == 0) {
        name = name.substr(0, i);
        break;
      }
    }
  }
  std::size_t cut = name.find_last_of(" *");
  if (cut != std::string_view::npos) name.remove_prefix(cut + 1);
  if (name.substr(0, 7) == "dovod::") name.remove_prefix(7);
  std::size_t colons = name.find("::");
  std::string_view method = colons == std::string_view::npos ? name : name.substr(colons + 2);
  if (starts_with_word(message, method)) message = drop_word(message, method);
  if (starts_with_word(message, name)) message = drop_word(message, name);
  return ShortName{name, message};
}

std::string_view level_name(unsigned level, char (&scratch)[12]) {
  static constexpr std::string_view names[] = {"ERROR", "WARNING", "INFO", "DEBUG", "VERBOSE"};
  if (level < 5) return names[level];
  int n = std::snprintf(scratch, sizeof scratch, "%u", level);
  return std::string_view(scratch, static_cast<std::size_t>(n));
}

}  // namespace dovod::log
