#include "LogText.h"

#include <fstream>
#include <iterator>

namespace vorn::testing {

std::wstring ReadApplicationLog(const std::filesystem::path& path, bool* bom, bool* crlf) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bom) *bom = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  std::wstring text;
  char32_t high = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char32_t unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (unit >= 0xD800 && unit < 0xDC00) {
      high = unit;
      continue;
    }
    if (unit >= 0xDC00 && unit < 0xE000 && high) {
      text.push_back(static_cast<wchar_t>(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00)));
    } else {
      text.push_back(static_cast<wchar_t>(unit));
    }
    high = 0;
  }
  // Lines end in carriage return and line feed; the tests compare with plain line feeds.
  std::wstring lines;
  bool every_feed_after_return = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) every_feed_after_return = false;
    lines.push_back(text[i]);
  }
  if (crlf) *crlf = every_feed_after_return;
  return lines;
}

bool InOrder(const std::wstring& text, const std::vector<std::wstring>& parts, std::wstring* missing) {
  std::size_t from = 0;
  for (const std::wstring& part : parts) {
    const std::size_t at = text.find(part, from);
    if (at == std::wstring::npos) {
      if (missing) *missing = part;
      return false;
    }
    from = at + part.size();
  }
  return true;
}

}  // namespace vorn::testing
