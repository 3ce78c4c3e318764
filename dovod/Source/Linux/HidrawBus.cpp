#include "Source/Linux/HidrawBus.h"

#include <cerrno>

#include "dovod/LastError.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "HidrawBus";

}  // namespace

HidrawBus::HidrawBus(std::shared_ptr<IHidrawDeviceSource> source, std::shared_ptr<IHidrawSystem> system,
                     std::chrono::milliseconds write_limit)
    : source_(std::move(source)), system_(std::move(system)), write_limit_(write_limit) {}

std::shared_ptr<HidrawDevice> HidrawBus::make_device(const HidrawNode& node, std::uint64_t generation) {
  std::weak_ptr<IHidBusLink> link = std::static_pointer_cast<IHidBusLink>(shared_from_this());
  return std::make_shared<HidrawDevice>(link, system_, node.path, node.parent, write_limit_, generation);
}

std::vector<std::shared_ptr<IHardwareDevice>> HidrawBus::devices() {
  static constexpr const char* kFn = "dovod::HidrawBus::devices";
  xLog(kTag, LOG_DEBUG, kFn, "HidrawBus::devices enter");
  lazy_start();
  std::vector<HidrawNode> nodes;
  if (!source_->enumerate(nodes)) {
    set_last_error(ErrorCode::EnumerationFailed, errno, "hidraw enumeration failed");
    xLog(kTag, LOG_ERROR, kFn, "HidrawBus::devices exception, err=%d", errno);
    return {};
  }
  std::vector<std::shared_ptr<IHardwareDevice>> found;
  for (const HidrawNode& node : nodes) {
    // Decided from udev's ids before anything opens the node: opening another vendor's node (a
    // security key, a keyboard) read-write already reaches that device. The bus does not count
    // on its source having left such nodes out.
    if (!is_maker_node(node)) continue;
    std::uint64_t generation = 0;
    {
      std::lock_guard<std::mutex> lock(present_mutex_);
      auto it = present_.find(node.path);
      generation = it != present_.end() ? it->second : ++last_generation_;
    }
    auto device = make_device(node, generation);
    // The device's own open decides which of the maker's nodes speak its protocol.
    if (!device->open()) {
      xLog(kTag, LOG_DEBUG, kFn, "HidrawBus::devices ignoring device it could not open: %s", node.path.c_str());
      continue;
    }
    device->close();
    {
      std::lock_guard<std::mutex> lock(present_mutex_);
      present_.emplace(node.path, generation);
    }
    xLog(kTag, LOG_DEBUG, kFn, "HidrawBus::devices adding device to list: %s", node.path.c_str());
    found.push_back(std::move(device));
  }
  clear_last_error();
  xLog(kTag, LOG_DEBUG, kFn, "HidrawBus::devices exit, returning %d devices", static_cast<int>(found.size()));
  return found;
}

void HidrawBus::node_added(const HidrawNode& node) {
  if (!is_maker_node(node)) return;
  std::uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(present_mutex_);
    generation = ++last_generation_;
    present_[node.path] = generation;
  }
  xLog(kTag, LOG_INFO, "dovod::HidrawBus::node_added", "-hid- arrive HID interface, path=%s", node.path.c_str());
  auto device = make_device(node, generation);
  produce([device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); }, "HidrawBus::PlugUnplug::onPlug");
}

bool HidrawBus::unplug(const std::string& path, std::optional<std::uint64_t> generation) {
  {
    std::lock_guard<std::mutex> lock(present_mutex_);
    auto it = present_.find(path);
    if (it == present_.end() || (generation && it->second != *generation)) return false;
    present_.erase(it);
  }
  xLog(kTag, LOG_INFO, "dovod::HidrawBus::unplug", "-hid- remove HID interface, path=%s", path.c_str());
  std::shared_ptr<IHardwareDevice> departed = make_device({path, {}}, 0);
  produce([departed](IHardwareBus::PlugUnplug* s) { s->onUnplug(departed); }, "HidrawBus::PlugUnplug::onUnplug");
  return true;
}

void HidrawBus::read_failed_with_disconnect_error(const std::string& path, std::uint64_t generation) {
  if (unplug(path, generation)) {
    xLog(kTag, LOG_INFO, "dovod::HidrawBus::read_failed_with_disconnect_error",
         "HidrawBus::read_failed_with_disconnect_error producing onUnPlug event");
  }
}

bool HidrawBus::verify_device_exists(const std::string& path) {
  static constexpr const char* kFn = "dovod::HidrawBus::verify_device_exists";
  std::vector<HidrawNode> nodes;
  if (!source_->enumerate(nodes)) {
    // Nothing is known either way; dropping a device on a failed listing would be worse.
    xLog(kTag, LOG_WARNING, kFn, "HidrawBus::verify_device_exists cannot list nodes, err=%d", errno);
    return true;
  }
  for (const HidrawNode& node : nodes) {
    if (node.path == path) {
      xLog(kTag, LOG_DEBUG, kFn, "HidrawBus::verify_device_exists - device is present: %s", path.c_str());
      return true;
    }
  }
  xLog(kTag, LOG_WARNING, kFn, "HidrawBus::verify_device_exists - device was lost: %s", path.c_str());
  unplug(path, std::nullopt);
  return false;
}

std::shared_ptr<HidrawBus> make_hidraw_bus() {
  return std::make_shared<HidrawBus>(make_udev_device_source(), make_hidraw_system());
}

}  // namespace dovod
