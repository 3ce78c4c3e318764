#include "app/LogLine.h"

#include <cwchar>
#include <vector>

#include "app/WideText.h"

namespace vorn {
namespace {

// The C libraries disagree on what "%s" means in a wide format (Windows: a wide string, ISO: a
// narrow one); "%ls" means a wide string to both, so plain "%s" and "%c" gain the 'l'.
std::wstring portable_format(const wchar_t* format) {
  std::wstring out;
  for (const wchar_t* p = format; *p;) {
    if (*p != L'%') {
      out.push_back(*p++);
      continue;
    }
    out.push_back(*p++);
    if (*p == L'%') {
      out.push_back(*p++);
      continue;
    }
    while (*p && std::wcschr(L"-+ #0123456789.*", *p)) out.push_back(*p++);
    bool sized = false;
    while (*p && std::wcschr(L"hlLqjzt", *p)) {
      out.push_back(*p++);
      sized = true;
    }
    if (!sized && (*p == L's' || *p == L'c')) out.push_back(L'l');
  }
  return out;
}

// The whole message, however long.
std::wstring format_message(const wchar_t* format, std::va_list args) {
  std::wstring fmt = portable_format(format);
  for (std::size_t size = kLogMessageRoom + 1; size <= (1u << 20); size *= 8) {
    std::vector<wchar_t> buffer(size);
    std::va_list copy;
    va_copy(copy, args);
    int n = std::vswprintf(buffer.data(), buffer.size(), fmt.c_str(), copy);
    va_end(copy);
    // Some C libraries report a cut text as -1, others as the length it would have needed.
    if (n >= 0 && static_cast<std::size_t>(n) < size) return std::wstring(buffer.data(), static_cast<std::size_t>(n));
  }
  return L"(log message could not be formatted)\n";
}

}  // namespace

std::wstring FormatLogLine(double seconds, const wchar_t* format, std::va_list args) {
  wchar_t stamp[64];
  int n = std::swprintf(stamp, 64, L"%09.3f: ", seconds);
  std::wstring line(stamp, n > 0 ? static_cast<std::size_t>(n) : 0);
  std::wstring message = format ? format_message(format, args) : std::wstring();
  if (message.size() > kLogMessageRoom) {
    bool ended_line = message.back() == L'\n';
    message.resize(kLogMessageRoom);
    if (ended_line) message.back() = L'\n';
  }
  return line + message;
}

std::string EncodeLogLine(std::wstring_view line) {
  std::u16string units = Utf16FromWide(line);
  std::string bytes;
  bytes.reserve(units.size() * 2 + 8);
  auto put = [&bytes](char16_t unit) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  };
  for (char16_t unit : units) {
    if (unit == u'\n') put(u'\r');
    put(unit);
  }
  return bytes;
}

}  // namespace vorn
