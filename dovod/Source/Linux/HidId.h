#pragma once
// The ids of a HID device as the kernel reports them in its HID_ID property, "bus:vendor:product"
// in hexadecimal, such as "0003:00003A7C:0000C510".

#include <cstdint>
#include <optional>
#include <string_view>

namespace dovod {

struct HidId {
  std::uint32_t bus_type = 0;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
};

// Nothing when the text is not three hexadecimal fields or a vendor or product id does not fit in
// 16 bits: a wider id cut down could pass for the maker's.
std::optional<HidId> parse_hid_id(std::string_view text);

}  // namespace dovod
