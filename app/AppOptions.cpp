#include "app/AppOptions.h"

#include <cwchar>
#include <limits>
#include <string_view>

namespace vorn {
namespace {

constexpr std::wstring_view kForce = L"/FORCE";
constexpr std::wstring_view kSkipDevice = L"/SKIPDEVICE";
constexpr std::wstring_view kLog = L"/LOG";
constexpr std::wstring_view kForceDir = L"/FORCEDIR=";
constexpr std::wstring_view kFailDevice = L"/FAILDEVICE=";

wchar_t ascii_upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// Only ASCII letters fold: the options are ASCII, and folding other scripts could match a token
// that merely looks alike.
bool equals_ignoring_case(std::wstring_view token, std::wstring_view option) {
  if (token.size() != option.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i)
    if (ascii_upper(token[i]) != option[i]) return false;
  return true;
}

// A signed decimal number after optional blanks, read up to the first other character. Text
// without digits, or a number outside 32 bits, reads as nothing rather than as 0 or a cut value.
bool read_decimal(std::wstring_view text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  std::int64_t magnitude = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++digits) {
    magnitude = magnitude * 10 + (text[i] - L'0');
    if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
  }
  if (digits == 0) return false;
  std::int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(result);
  return true;
}

void apply(std::wstring_view token, AppOptions& options) {
  if (equals_ignoring_case(token, kForce)) {
    options.force = true;
    return;
  }
  if (equals_ignoring_case(token, kSkipDevice)) {
    options.skip_device = true;
    return;
  }
  if (equals_ignoring_case(token, kLog)) {
    options.log = true;
    return;
  }
  if (std::size_t at = token.find(kForceDir); at != std::wstring_view::npos) {
    std::wstring_view rest = token.substr(at + kForceDir.size());
    if (rest.empty()) return;
    options.force_directory.assign(rest);
    options.force = true;
  }
  if (std::size_t at = token.find(kFailDevice); at != std::wstring_view::npos) {
    std::wstring_view rest = token.substr(at + kFailDevice.size());
    if (!rest.empty()) read_decimal(rest, options.fail_device);
  }
}

}  // namespace

AppOptions& Options() {
  static AppOptions options;
  return options;
}

bool ParseCommandLine(int count, const wchar_t* const* tokens, AppOptions& options) {
  if (count <= 0 || !tokens) return false;
  for (int i = 0; i < count; ++i)
    if (tokens[i]) apply(tokens[i], options);
  return true;
}

}  // namespace vorn
