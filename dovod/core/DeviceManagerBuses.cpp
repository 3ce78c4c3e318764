// The device manager's buses and devices: starting the buses, following their plug and unplug
// events, the acceptance filter, and the retry of receiver buses that could not be added.
#include <utility>

#include "core/DeviceFactory.h"
#include "core/DeviceManager.h"
#include "core/DeviceManagerLog.h"
#include "core/FilterBusFactory.h"
#include "core/Timer.h"
#include "dovod/HardwareBusFactory.h"
#include "dovod/IHardwareSecondaryBus.h"
#include "dovod/MakerValues.h"

namespace dovod {

bool DeviceManager::on_subscribe(Subscriber<IDeviceManager::ArrivalRemoval>* s) {
  DM_LOG(LOG_INFO, "on_subscribe", "-api- ArrivalRemoval");
  return lazyInitializeHardwareBusses();
}

bool DeviceManager::lazyInitializeHardwareBusses() {
  if (initialized_) return true;
  auto timer = std::make_shared<Timer>(kAddbusRetryTimerId);
  addbusRetryTimer_ = timer;
  if (!Subscriber<ITimer::TimerEvent>::subscribe(timer, RunLoop)) {
    DM_LOG(LOG_ERROR, "lazyInitializeHardwareBusses", "DeviceManager::lazyInit failed at subscribe");
    return false;
  }
  DM_LOG(LOG_INFO, "lazyInitializeHardwareBusses", "DeviceManager::lazyInit connecting to hardware busses");
  if (!connectToHardwareBusses()) {
    DM_LOG(LOG_ERROR, "lazyInitializeHardwareBusses", "DeviceManager::lazyInit failed at connect");
    return false;
  }
  DM_LOG(LOG_INFO, "lazyInitializeHardwareBusses", "DeviceManager::lazyInit complete");
  initialized_ = true;
  return true;
}

bool DeviceManager::connectToHardwareBusses() {
  DM_LOG(LOG_INFO, "connectToHardwareBusses", "connectToHardwareBusses enter");
  const std::shared_ptr<IHardwareBus> platform = make_hardware_bus(shared_from_this());
  std::shared_ptr<IHardwareBus> bus = platform;
  if (bus && bus->wants_combiner()) {
    DM_LOG(LOG_INFO, "connectToHardwareBusses", "inserting combiner filter");
    bus = make_combiner_bus(shared_from_this(), bus);
  }
  // A pairing filter wraps the bus here once the platform bus reports Bluetooth buses.
  if (!bus || !addBus(bus)) {
    DM_LOG(LOG_ERROR, "connectToHardwareBusses", "connectToHardwareBusses exit, false");
    return false;
  }
  topBuses_.insert(bus);
  // The filter passes complete devices through unchanged, so their bus is the platform bus: it must
  // be removed with the filter, or a configuration change would leave those devices behind.
  topBuses_.insert(platform);
  for (const auto& secondary : bus->secondary_busses()) {
    DM_LOG(LOG_INFO, "connectToHardwareBusses", "DeviceManager adding a secondary bus");
    if (!secondary || !addBus(secondary)) {
      DM_LOG(LOG_ERROR, "connectToHardwareBusses", "connectToHardwareBusses exit, false");
      return false;
    }
    topBuses_.insert(secondary);
  }
  DM_LOG(LOG_INFO, "connectToHardwareBusses", "connectToHardwareBusses exit, true");
  return true;
}

bool DeviceManager::addBus(std::shared_ptr<IHardwareBus> bus) {
  DM_LOG(LOG_INFO, "addBus", "DeviceManager::addBus enter");
  if (!Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, RunLoop)) {
    DM_LOG(LOG_ERROR, "addBus", "DeviceManager::addBus exit (false, failed to subscribe to PlugUnplug, err=%d)",
           to_int(last_error().code));
    return false;
  }
  clear_last_error();
  const auto found = bus->devices();
  if (found.empty() && last_error().code != ErrorCode::None) {
    DM_LOG(LOG_ERROR, "addBus", "DeviceManager::addBus failed to enumerate devices!");
    DM_LOG(LOG_ERROR, "addBus", "addBus exit (false, error enumerating devices)");
    return false;
  }
  DM_LOG(LOG_INFO, "addBus", "DeviceManager::addBus saving bus");
  allBuses_.insert(bus);
  for (const auto& hwdev : found) {
    DM_LOG(LOG_INFO, "addBus", "DeviceManager::addBus calling onPlug(hwdev)");
    if (hwdev) onPlug(hwdev);
  }
  bus->persistent_data_directory(persistent_dir_);
  DM_LOG(LOG_INFO, "addBus", "DeviceManager::addBus exit (true, success)");
  return true;
}

void DeviceManager::removeBus(std::shared_ptr<IHardwareBus> bus) {
  DM_LOG(LOG_INFO, "removeBus", "DeviceManager::removeBus enter");
  std::vector<std::shared_ptr<IHardwareDevice>> children;
  for (const auto& [hwdev, device] : deviceList_) {
    if (hwdev->bus() == bus) children.push_back(hwdev);
  }
  for (const auto& hwdev : children) {
    DM_LOG(LOG_INFO, "removeBus", "DeviceManager::removeBus unplugging a child");
    onUnplug(hwdev);
  }
  allBuses_.erase(bus);
  pendingBuses_.erase(bus);
  // A removed bus that lives on must not plug devices into this manager any more.
  Subscriber<IHardwareBus::PlugUnplug>::unsubscribe(bus);
  DM_LOG(LOG_INFO, "removeBus", "DeviceManager::removeBus exit");
}

bool DeviceManager::accepts(IHardwareDevice& hwdev) {
  switch (hwdev.bus_type()) {
    case 0:
      if (maker::in_receiver_range(hwdev.pid()) && flag(tandem_active)) return true;
      return flag(usb_active);
    case 1:
      return flag(tandem_active);
    case 2:
      return flag(bluetooth_active);
    case 3:
      return flag(ble_active);
    default:
      return true;
  }
}

void DeviceManager::dumpDevices() {
  DM_LOG(LOG_DEBUG, "dumpDevices", "---- DeviceManager::dumpDevices() begin... ----");
  for (const auto& [hwdev, device] : deviceList_) {
    DM_LOG(LOG_DEBUG, "dumpDevices", "  -- device with pid: 0x%x", device->pid());
  }
  DM_LOG(LOG_DEBUG, "dumpDevices", "---- DeviceManager::dumpDevices() ...end ----");
}

void DeviceManager::onPlug(std::shared_ptr<IHardwareDevice> hwdev) {
  if (!hwdev) return;
  const unsigned pid = hwdev->pid();
  DM_LOG(LOG_INFO, "onPlug", "DeviceManager::onPlug(pid=0x%x) begin...", pid);
  if (!hwdev->open()) {
    DM_LOG(LOG_WARNING, "onPlug", "DeviceManager::onPlug ignoring device it could not open");
    DM_LOG(LOG_INFO, "onPlug", "DeviceManager::onPlug(pid=0x%x) end...", pid);
    return;
  }
  if (!accepts(*hwdev)) {
    DM_LOG(LOG_INFO, "onPlug", "DeviceManager::onPlug ignoring suppressed device");
    return;
  }
  if (auto existing = deviceList_.find(hwdev); existing != deviceList_.end()) {
    DM_LOG(LOG_INFO, "onPlug", "  -- there is already a device (existing count = %d) for hwdev: %p",
           static_cast<int>(deviceList_.size()), static_cast<void*>(hwdev.get()));
    dumpDevices();
  } else if (auto device = makeDevice(hwdev, 0, static_cast<int>(pid))) {
    DM_LOG(LOG_INFO, "onPlug", "   -- adding device pid=0x%x to deviceList", pid);
    deviceList_[hwdev] = device;
    DM_LOG(LOG_DEBUG, "onPlug", "   -- deviceList[%p] = %p", static_cast<void*>(hwdev.get()),
           static_cast<void*>(device.get()));
    dumpDevices();
    DM_LOG(LOG_INFO, "onPlug", "-api- pid=0x%x producing onDeviceArrival", pid);
    Producer<IDeviceManager::ArrivalRemoval>::produce(
        [device](IDeviceManager::ArrivalRemoval* s) { s->onDeviceArrival(device); },
        "DeviceManager::ArrivalRemoval::onDeviceArrival");
    if (auto receiver = std::dynamic_pointer_cast<IHardwareBus>(device)) {
      DM_LOG(LOG_INFO, "onPlug", "DeviceManager::onPlug devices is a receiver, so adding receiver bus");
      if (!addBus(receiver)) {
        DM_LOG(LOG_WARNING, "onPlug", "DeviceManager::onPlug addBus of receiver failed, will retry");
        pendingBuses_.insert(receiver);
        if (retryCount_ == 0 && addbusRetryTimer_) {
          retryCount_ = 1;
          addbusRetryTimer_->start(addbus_retry_base_ms_);
        }
      }
    }
  }
  DM_LOG(LOG_INFO, "onPlug", "DeviceManager::onPlug(pid=0x%x) ...end", pid);
}

std::shared_ptr<IDevice> DeviceManager::makeDevice(std::shared_ptr<IHardwareDevice> hwdev, int force_plain,
                                                   int pid) {
  DM_LOG(LOG_INFO, "makeDevice", "DeviceManager::makeDevice enter");
  if (!hwdev) return nullptr;
  const std::shared_ptr<IDeviceManager> self = shared_from_this();
  const maker::ReceiverRow* row = maker::receiver_row(static_cast<unsigned>(pid));
  if (flag(tandem_active) && force_plain == 0 && row) {
    if (auto bus = make_receiver_bus(self, hwdev, *row)) {
      DM_LOG(LOG_INFO, "makeDevice", "DeviceManager::makeDevice making a tandem bus");
      DM_LOG(LOG_INFO, "makeDevice", "DeviceManager::makeDevice initializing tandem bus");
      bus->initDevice(self);
      DM_LOG(LOG_INFO, "makeDevice", "DeviceManager::makeDevice exit, made bus");
      return bus;
    }
  }
  DM_LOG(LOG_INFO, "makeDevice", "DeviceManager::makeDevice making a device");
  std::shared_ptr<IDevice> device = make_plain_device(self, hwdev);
  if (!device) {
    DM_LOG(LOG_ERROR, "makeDevice", "DeviceManager::makeDevice exit, no device factory registered");
    return nullptr;
  }
  DM_LOG(LOG_INFO, "makeDevice", "DeviceManager::makeDevice initializing a device");
  device->initDevice(self);
  if (!persistent_dir_.empty()) device->persistent_data_directory(persistent_dir_);
  DM_LOG(LOG_INFO, "makeDevice", "DeviceManager::makeDevice exit, made device");
  return device;
}

void DeviceManager::onUnplug(std::shared_ptr<IHardwareDevice> hwdev) {
  if (!hwdev) return;
  const unsigned pid = hwdev->pid();
  DM_LOG(LOG_INFO, "onUnplug", "DeviceManager::onUnplug(pid=0x%x) begin...", pid);
  auto entry = deviceList_.find(hwdev);
  if (entry != deviceList_.end()) {
    const std::shared_ptr<IDevice> device = entry->second;
    if (auto receiver = std::dynamic_pointer_cast<IHardwareBus>(device)) {
      DM_LOG(LOG_INFO, "onUnplug", "DeviceManager::onUnplug receiver removing bus");
      removeBus(receiver);
    }
    device->uninitDevice();
    if (!destroying_) {
      DM_LOG(LOG_INFO, "onUnplug", "-api- pid=0x%x producing onDeviceRemoval", pid);
      Producer<IDeviceManager::ArrivalRemoval>::produce(
          [device](IDeviceManager::ArrivalRemoval* s) { s->onDeviceRemoval(device); },
          "DeviceManager::ArrivalRemoval::onDeviceRemoval");
    }
    DM_LOG(LOG_INFO, "onUnplug", "   -- removing device pid=0x%x from deviceList", pid);
    deviceList_.erase(hwdev);
    dumpDevices();
  }
  DM_LOG(LOG_INFO, "onUnplug", "DeviceManager::onUnplug(pid=0x%x) ...end", pid);
}

void DeviceManager::onTimerEvent(int timer_id) {
  if (timer_id != kAddbusRetryTimerId) return;
  DM_LOG(LOG_INFO, "onTimerEvent", "DeviceManager::onTimerEvent(addbusRetryTimerId)");
  const auto pending = pendingBuses_;
  if (pending.empty()) {
    retryCount_ = 0;
    return;
  }
  bool failed = false;
  for (const auto& bus : pending) {
    DM_LOG(LOG_INFO, "onTimerEvent", "DeviceManager::onTimerEvent(addbusRetryTimerId) attempting addbus");
    if (addBus(bus)) {
      DM_LOG(LOG_INFO, "onTimerEvent", "DeviceManager::onTimerEvent(addbusRetryTimerId) addbus successful");
      pendingBuses_.erase(bus);
    } else {
      DM_LOG(LOG_WARNING, "onTimerEvent", "DeviceManager::onTimerEvent(addbusRetryTimerId) addBus returned error %d",
             to_int(last_error().code));
      failed = true;
    }
  }
  if (!failed) {
    retryCount_ = 0;
    return;
  }
  DM_LOG(LOG_WARNING, "onTimerEvent", "DeviceManager::onTimerEvent(addbusRetryTimerId) retry %d failed", retryCount_);
  ++retryCount_;
  if (retryCount_ > kMaxAddbusRetries) {
    set_last_error(ErrorCode::ReceiverRetriesExhausted, 0, "Tandem device enumeration failed after max retry attempts");
    report_unreported_error("TandemBus");
    retryCount_ = 0;
    pendingBuses_.clear();
    report_unreported_error("DeviceManager::addBus retry failed all attempts");
    return;
  }
  DM_LOG(LOG_INFO, "onTimerEvent", "DeviceManager::onTimerEvent(addbusRetryTimerId) starting retry timer");
  addbusRetryTimer_->start(addbus_retry_base_ms_ << retryCount_);
}

std::vector<std::shared_ptr<IDevice>> DeviceManager::devices() {
  DM_LOG(LOG_INFO, "devices", "-api- enter");
  if (!lazyInitializeHardwareBusses()) {
    DM_LOG(LOG_ERROR, "devices", "DeviceManager::devices() exit (false, lazyInit failed)");
    return {};
  }
  for (const auto& bus : topBuses_) bus->refresh();
  std::vector<std::shared_ptr<IDevice>> result;
  for (const auto& [hwdev, device] : deviceList_) result.push_back(device);
  if (result.empty()) clear_last_error();
  DM_LOG(LOG_INFO, "devices", "-api- exit, returned %d devices", static_cast<int>(result.size()));
  return result;
}

std::vector<std::shared_ptr<IDevice>> DeviceManager::devices_on_bus(std::shared_ptr<IDevice> x) {
  std::vector<std::shared_ptr<IDevice>> result;
  const auto bus = std::dynamic_pointer_cast<IHardwareBus>(x);
  if (!bus) return result;
  for (const auto& [hwdev, device] : deviceList_) {
    if (hwdev->bus() == bus) result.push_back(device);
  }
  return result;
}

void DeviceManager::onPowerChange(bool standBy) {
  DM_LOG(LOG_INFO, "onPowerChange", "DeviceManager::onPowerChange(standBy=%d)", standBy ? 1 : 0);
  if (standBy) return;
  const auto buses = allBuses_;
  for (const auto& bus : buses) {
    if (std::dynamic_pointer_cast<IDevice>(bus)) bus->devices();
  }
  const auto listed = deviceList_;
  for (const auto& [hwdev, device] : listed) device->confirm_configuration();
}

}  // namespace dovod
