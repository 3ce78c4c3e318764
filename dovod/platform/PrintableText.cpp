#include "dovod/PrintableText.h"

namespace dovod {
namespace {

void escape(std::string& out, unsigned char byte) {
  static const char hex[] = "0123456789abcdef";
  out += "\\x";
  out += hex[byte >> 4];
  out += hex[byte & 15];
}

// The length of the well-formed UTF-8 sequence of two or more bytes at the start of `text`, or 0:
// no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t sequence_length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || text.size() < length) return 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  // U+0080 to U+009F are control characters too.
  if (lead == 0xC2 && byte(1) <= 0x9F) return 0;
  return length;
}

}  // namespace

std::string printable_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
      ++i;
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++i;
    } else if (std::size_t length = c >= 0x80 ? sequence_length(text.substr(i)) : 0; length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      escape(out, c);
      ++i;
    }
  }
  return out;
}

}  // namespace dovod
