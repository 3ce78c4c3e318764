#include "Source/Linux/HidId.h"

#include <charconv>

namespace dovod {
namespace {

// One hexadecimal field of at most eight digits, ending at `end` or at a colon; advances `text`.
bool take_field(std::string_view& text, bool last, std::uint32_t& value) {
  const std::size_t colon = text.find(':');
  const std::string_view field = last ? text : text.substr(0, colon);
  if ((!last && colon == std::string_view::npos) || field.empty() || field.size() > 8) return false;
  const auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), value, 16);
  if (ec != std::errc() || ptr != field.data() + field.size()) return false;
  text.remove_prefix(last ? text.size() : colon + 1);
  return true;
}

}  // namespace

std::optional<HidId> parse_hid_id(std::string_view text) {
  std::uint32_t bus = 0;
  std::uint32_t vendor = 0;
  std::uint32_t product = 0;
  if (!take_field(text, false, bus) || !take_field(text, false, vendor) || !take_field(text, true, product)) {
    return std::nullopt;
  }
  if (vendor > 0xFFFF || product > 0xFFFF) return std::nullopt;
  return HidId{bus, static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product)};
}

}  // namespace dovod
