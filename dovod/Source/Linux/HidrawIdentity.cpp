#include "Source/Linux/HidrawDeviceSource.h"

#include "dovod/MakerValues.h"

namespace dovod {
namespace {

// One hexadecimal field of at most eight digits; false when it is empty, too long or not hex.
bool parse_hex(std::string_view text, unsigned long& value) {
  if (text.empty() || text.size() > 8) return false;
  value = 0;
  for (char c : text) {
    int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned long>(digit);
  }
  return true;
}

}  // namespace

bool is_maker_hid_id(std::string_view hid_id) {
  const std::size_t first = hid_id.find(':');
  if (first == std::string_view::npos) return false;
  const std::size_t second = hid_id.find(':', first + 1);
  if (second == std::string_view::npos) return false;
  unsigned long bus = 0, vendor = 0, product = 0;
  if (!parse_hex(hid_id.substr(0, first), bus) || !parse_hex(hid_id.substr(first + 1, second - first - 1), vendor) ||
      !parse_hex(hid_id.substr(second + 1), product)) {
    return false;
  }
  return vendor == maker::kVendorId && maker::known_product(static_cast<unsigned>(product));
}

}  // namespace dovod
