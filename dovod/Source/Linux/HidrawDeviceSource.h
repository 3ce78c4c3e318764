#pragma once
// Where the hidraw bus learns which nodes exist and which come and go: udev on a real system, a
// scripted source in tests.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dovod {

struct HidrawNode {
  std::string path;    // the device node, such as /dev/hidraw3
  std::string parent;  // the physical device the node belongs to; groups an interface's pieces
  // The HID device's ids as udev knows them, read without opening the node; zero when unknown
  // (always so in a removal, whose device is already gone).
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
};

struct HidrawNodeEvent {
  bool added = false;  // false: removed
  HidrawNode node;
};

class IHidrawDeviceSource {
 public:
  virtual ~IHidrawDeviceSource() = default;

  // The hidraw nodes present now; false with errno set when they cannot be listed.
  virtual bool enumerate(std::vector<HidrawNode>& nodes) = 0;
  // Starts watching; the answer is a descriptor that polls readable while an event waits, or -1
  // with errno set. Called once, before any next_event.
  virtual int start_monitor() = 0;
  // The next waiting event, without blocking; nothing when none waits or it was not for a node.
  virtual std::optional<HidrawNodeEvent> next_event() = 0;
};

// True for the HID_ID property udev gives a HID device ("bus:vendor:product" in hexadecimal) of a
// product the library knows. Nodes of anything else (keyboards, security keys) are never opened.
bool is_maker_hid_id(std::string_view hid_id);
// The same judgement on the ids a source put into the node; unknown ids (zero) are no product.
bool is_maker_node(const HidrawNode& node);

// Enumeration and monitor through libudev; it lists and announces only the nodes whose HID device
// passes is_maker_hid_id (removals are passed on whatever they are).
std::shared_ptr<IHidrawDeviceSource> make_udev_device_source();

}  // namespace dovod
