#include "protocol/Device.h"

#include "core/DeviceFactory.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"

#define DEV_LOG(level, fn, ...) ::dovod::xLog("Device", level, "dovod::Device::" fn, __VA_ARGS__)

namespace dovod {

std::shared_ptr<IDevice> make_plain_device(const std::shared_ptr<IDeviceManager>& manager,
                                           const std::shared_ptr<IHardwareDevice>& hwdev) {
  return std::make_shared<Device>(manager, hwdev);
}

Device::Device(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hwdev)
    : manager_(manager), hwdev_(std::move(hwdev)) {
  DEV_LOG(LOG_DEBUG, "Device", "Device::Device()");
}

Device::~Device() {
  DEV_LOG(LOG_DEBUG, "~Device", "Device::~Device() enter");
  DEV_LOG(LOG_DEBUG, "~Device", "Device::~Device() exit");
}

bool Device::initDevice(std::shared_ptr<IDeviceManager> manager) {
  DEV_LOG(LOG_INFO, "initDevice", "Device::initDevice() enter");
  manager_ = manager;
  DEV_LOG(LOG_INFO, "initDevice", "Device::initDevice enter, pid=0x%x", pid());
  DEV_LOG(LOG_INFO, "initDevice", "Device::initDevice() exit");
  return true;
}

void Device::uninitDevice() {
  DEV_LOG(LOG_INFO, "uninitDevice", "Device::uninitDevice() enter");
  DEV_LOG(LOG_INFO, "uninitDevice", "Device::uninitDevice() exit");
}

bool Device::connected() { return hwdev_->connected(); }

int Device::bus_type() { return hwdev_->bus_type(); }

std::string Device::name() { return hwdev_->path(); }

unsigned Device::pid() { return hwdev_->pid(); }

std::string Device::product_name() { return hwdev_->product_name(); }

std::shared_ptr<IHardwareDevice> Device::hardware_device() { return hwdev_; }

void Device::shutdown() { DEV_LOG(LOG_INFO, "shutdown", "Device::shutdown"); }

void Device::confirm_configuration() {
  DEV_LOG(LOG_INFO, "confirm_configuration", "Device::confirm_configuration(pid = 0x%04x) begin...", pid());
  DEV_LOG(LOG_INFO, "confirm_configuration", "Device::confirm_configuration(pid = 0x%04x) ...end", pid());
}

void Device::persistent_data_directory(const std::string& directory) { persistent_dir_ = directory; }

bool Device::is_removed() { return false; }
int Device::device_index() { return hwdev_->device_index(); }
int Device::transport_detail() { return hwdev_->transport_detail(); }
int Device::swid() { return 15; }
bool Device::set_configured(std::shared_ptr<IFeature>) { return false; }
bool Device::configured() { return false; }
bool Device::add_pending_change(std::shared_ptr<IFeature>) { return false; }
bool Device::has_pending_changes() { return false; }
void Device::forget() {}
std::shared_ptr<IFeature> Device::feature_by_id(int) {
  set_last_error(ErrorCode::NotPresent);
  return {};
}
std::vector<std::shared_ptr<IFeature>> Device::features() { return {}; }
bool Device::sendCommand(const Bytes&, bool) { return false; }
bool Device::sendSynchronousCommand(const Bytes&, Bytes&, int, const std::vector<int>&) { return false; }
void Device::abandon() {}
bool Device::retry_load_feature_root() { return false; }
std::string Device::fwinfo() { return {}; }

std::string Device::persistent_dir() const { return persistent_dir_; }

}  // namespace dovod
