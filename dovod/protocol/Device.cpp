#include "protocol/Device.h"

#include "core/DeviceFactory.h"
#include "core/Timer.h"
#include "dovod/LastError.h"
#include "protocol/DeviceLog.h"
#include "protocol/Feature.h"

namespace dovod {

namespace {

// Registered from the unit that defines the constructor, so the registration comes with the class.
const bool plain_device_factory_registered = [] {
  set_plain_device_factory(
      [](const std::shared_ptr<IDeviceManager>& manager,
         const std::shared_ptr<IHardwareDevice>& hwdev) -> std::shared_ptr<IDevice> {
        return std::make_shared<Device>(manager, hwdev);
      });
  return true;
}();

}  // namespace

Device::Device(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hwdev)
    : manager_(manager), hwdev_(std::move(hwdev)), engine_(engine_host_, hwdev_) {
  DEV_LOG(LOG_DEBUG, "Device", "Device::Device()");
}

Device::~Device() {
  DEV_LOG(LOG_DEBUG, "~Device", "Device::~Device() enter");
  // Handlers must not run on a half-destroyed object: leave every producer before members go.
  Subscriber<IHardwareDevice::Read>::unsubscribe(hwdev_);
  Subscriber<IHardwareDevice::Write>::unsubscribe(hwdev_);
  Subscriber<IHardwareDevice::Connect>::unsubscribe(hwdev_);
  if (auto manager = manager_.lock()) Subscriber<IDeviceManager::ActiveChanged>::unsubscribe(manager);
  for (const auto& timer : {deactivation_timer_, cache_write_timer_, fw_check_timer_}) {
    if (!timer) continue;
    timer->stop();
    Subscriber<ITimer::TimerEvent>::unsubscribe(timer);
  }
  {
    std::lock_guard<std::mutex> lock(features_mutex_);
    for (const auto& [index, feature] : features_) Subscriber<IFeature1D4BWirelessStatus::Report>::unsubscribe(feature);
  }
  if (engine_.cache_dirty()) perform_cache_write();
  DEV_LOG(LOG_DEBUG, "~Device", "Device::~Device() exit");
}

bool Device::is_removed() { return removed_; }
int Device::bus_type() { return hwdev_->bus_type(); }
int Device::device_index() { return hwdev_->device_index(); }
int Device::transport_detail() { return hwdev_->transport_detail(); }
std::string Device::name() { return hwdev_->path(); }
unsigned Device::pid() { return hwdev_->pid(); }
std::string Device::product_name() { return hwdev_->product_name(); }
std::shared_ptr<IHardwareDevice> Device::hardware_device() { return hwdev_; }

int Device::random(int lo, int hi) { return CommandEngine::random(lo, hi); }

std::string Device::fwinfo() {
  std::lock_guard<std::mutex> lock(fwinfo_mutex_);
  return fwinfo_;
}

void Device::set_fwinfo(const std::string& value) {
  std::lock_guard<std::mutex> lock(fwinfo_mutex_);
  fwinfo_ = value;
}

}  // namespace dovod
