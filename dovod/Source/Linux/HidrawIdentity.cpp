#include "Source/Linux/HidId.h"
#include "Source/Linux/HidrawDeviceSource.h"
#include "dovod/MakerValues.h"

namespace dovod {
namespace {

bool is_maker_product(std::uint16_t vendor_id, std::uint16_t product_id) {
  return vendor_id == maker::kVendorId && maker::known_product(product_id);
}

}  // namespace

bool is_maker_hid_id(std::string_view hid_id) {
  const std::optional<HidId> id = parse_hid_id(hid_id);
  return id && is_maker_product(id->vendor_id, id->product_id);
}

bool is_maker_node(const HidrawNode& node) { return is_maker_product(node.vendor_id, node.product_id); }

}  // namespace dovod
