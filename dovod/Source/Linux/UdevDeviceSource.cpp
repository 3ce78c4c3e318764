#include <libudev.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>

#include "Source/Linux/HidId.h"
#include "Source/Linux/HidrawDeviceSource.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

std::string lower(const char* text) {
  std::string out = text ? text : "";
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The node, its HID device's ids and the physical device it belongs to: the USB device when there
// is one (so that the interfaces of one device share it), otherwise the HID device itself.
HidrawNode to_node(udev_device* device) {
  HidrawNode node;
  node.path = lower(udev_device_get_devnode(device));
  udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
  if (hid) {
    const char* hid_id = udev_device_get_property_value(hid, "HID_ID");
    if (auto id = parse_hid_id(hid_id ? hid_id : "")) {
      node.vendor_id = id->vendor_id;
      node.product_id = id->product_id;
    }
  }
  udev_device* owner = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
  if (!owner) owner = hid;
  if (owner) node.parent = lower(udev_device_get_syspath(owner));
  return node;
}

// Whether the node's HID device is a known product of the maker, from udev's record alone, so
// that no other device's node is ever opened.
bool of_maker(udev_device* device) {
  udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
  const char* id = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
  return id && is_maker_hid_id(id);
}

// libudev objects may not be used by two threads at once; one mutex serialises the enumerating
// caller and the bus's monitor thread.
class UdevDeviceSource : public IHidrawDeviceSource {
 public:
  UdevDeviceSource() : udev_(udev_new()) {}
  ~UdevDeviceSource() override {
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
  }
  UdevDeviceSource(const UdevDeviceSource&) = delete;
  UdevDeviceSource& operator=(const UdevDeviceSource&) = delete;

  bool enumerate(std::vector<HidrawNode>& nodes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!udev_) {
      errno = ENOMEM;
      return false;
    }
    udev_enumerate* list = udev_enumerate_new(udev_);
    if (!list) return false;
    const int scanned = udev_enumerate_add_match_subsystem(list, "hidraw") < 0
                            ? -1
                            : udev_enumerate_scan_devices(list);
    if (scanned < 0) {
      udev_enumerate_unref(list);
      errno = -scanned > 0 ? -scanned : EIO;
      return false;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list)) {
      udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
      if (!device) continue;
      HidrawNode node = to_node(device);
      if (!node.path.empty() && of_maker(device)) nodes.push_back(std::move(node));
      udev_device_unref(device);
    }
    udev_enumerate_unref(list);
    return true;
  }

  int start_monitor() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!udev_) {
      errno = ENOMEM;
      return -1;
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) return -1;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
      errno = EIO;
      return -1;
    }
    return udev_monitor_get_fd(monitor_);
  }

  std::optional<HidrawNodeEvent> next_event() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!monitor_) return std::nullopt;
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (!device) return std::nullopt;
    std::optional<HidrawNodeEvent> event;
    const std::string action = lower(udev_device_get_action(device));
    // A removed node's parents may be gone already; the bus ignores removals of nodes it never had.
    if ((action == "add" && of_maker(device)) || action == "remove") {
      event = HidrawNodeEvent{action == "add", to_node(device)};
      if (event->node.path.empty()) event.reset();
    }
    udev_device_unref(device);
    return event;
  }

 private:
  std::mutex mutex_;
  udev* udev_;
  udev_monitor* monitor_ = nullptr;
};

}  // namespace

std::shared_ptr<IHidrawDeviceSource> make_udev_device_source() {
  return std::make_shared<UdevDeviceSource>();
}

}  // namespace dovod
