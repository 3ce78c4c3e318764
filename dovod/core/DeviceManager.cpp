// Construction and destruction of the device manager, its switches, configuration items and error
// forwarding.
#include "core/DeviceManager.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "core/DeviceManagerLog.h"

namespace dovod {
namespace {

// Item 6 is shared by every manager of the process; the GATT transport reads it.
std::atomic<bool> g_gatt_process_wide{false};

constexpr bool default_of(unsigned item) {
  return item == IDeviceManager::ble_monitor || item == IDeviceManager::brb_workaround;
}

}  // namespace

DeviceManager::DeviceManager() {
  DM_LOG(LOG_INFO, "DeviceManager", "-api- %p", static_cast<void*>(this));
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const long long hundred_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
  const int seed = static_cast<int>(hundred_ns / 10);
  DM_LOG(LOG_INFO, "DeviceManager", "using seed %d for random", seed);
  std::srand(static_cast<unsigned>(seed));
  for (unsigned item = 0; item < kConfigItemCount; ++item) config_[item] = default_of(item);
}

DeviceManager::~DeviceManager() {
  DM_LOG(LOG_INFO, "~DeviceManager", "-api- %p", static_cast<void*>(this));
  destroying_ = true;
  for (auto& [hwdev, device] : deviceList_) device->shutdown();
  const auto top = topBuses_;
  for (const auto& bus : top) removeBus(bus);
  DM_LOG(LOG_INFO, "~DeviceManager", "DeviceManager::~DeviceManager() ... end.");
}

int DeviceManager::swid(int value) {
  swid_ = value & 0x0F;
  return swid_;
}

int DeviceManager::swid() {
  if (swid_ == 0) swid_ = 10 + std::rand() % 5;
  return swid_;
}

bool DeviceManager::is_active() { return active_; }

void DeviceManager::set_active(bool active) {
  DM_LOG(LOG_INFO, "set_active", "-api- %d", active ? 1 : 0);
  if (!subscribed_to_active_) {
    subscribed_to_active_ = true;
    if (!Subscriber<IDeviceManager::ActiveChanged>::subscribe(shared_from_this(), RunLoop)) {
      report_unreported_error("DeviceManager::set_active subscribe(IDeviceManager::ActiveChanged)");
    }
  }
  const bool changed = active_.exchange(active) != active;
  if (changed || active) {
    Producer<IDeviceManager::ActiveChanged>::produce(
        [active](IDeviceManager::ActiveChanged* s) { s->onActiveChanged(active); },
        "DeviceManager::ActiveChanged::onActiveChanged");
  }
}

void DeviceManager::onActiveChanged(bool active) {
  DM_LOG(LOG_INFO, "onActiveChanged", "DeviceManager::onActiveChanged(active = %d)", active ? 1 : 0);
  if (!active) return;
  // Buses report what they find through onPlug; the lists themselves are not needed here.
  const auto buses = allBuses_;
  for (const auto& bus : buses) bus->devices();
}

void DeviceManager::report_unreported_error(const char* where) {
  const LastError error = last_error();
  if (error.code == ErrorCode::None || destroying_) return;
  const std::string place = where ? where : "";
  DM_LOG(LOG_ERROR, "report_unreported_error", "-api- Reporting unreported error: %s, err=%d, str=%d, sys=0x%x",
         place.c_str(), to_int(error.code), static_cast<int>(reinterpret_cast<std::uintptr_t>(error.message)),
         static_cast<unsigned>(error.system_error));
  // The text is copied: a run-loop subscriber reads it after the caller's buffer may be gone.
  Producer<IDeviceManager::UnreportedError>::produce(
      [place, error](IDeviceManager::UnreportedError* s) {
        s->onUnreportedError(place.c_str(), error.code, error.message, error.system_error);
      },
      "DeviceManager::UnreportedError::onUnreportedError");
}

void DeviceManager::persistent_data_directory(std::string directory) {
  if (!directory.empty() && directory.back() != '\\' && directory.back() != '/') directory += '/';
  DM_LOG(LOG_INFO, "persistent_data_directory", "-api- persistent_data_directory %s", directory.c_str());
  persistent_dir_ = directory;
  for (auto& [hwdev, device] : deviceList_) {
    DM_LOG(LOG_INFO, "persistent_data_directory", "Device::persistent_data_directory(%s)", directory.c_str());
    if (!directory.empty()) device->persistent_data_directory(directory);
  }
  for (const auto& bus : allBuses_) bus->persistent_data_directory(directory);
}

bool DeviceManager::flag(unsigned item) const {
  return item == gatt_process_wide ? g_gatt_process_wide.load() : config_[item].load();
}

bool DeviceManager::config_default(unsigned item, bool* out) {
  DM_LOG(LOG_INFO, "config_default", "DeviceManager::config_default %d", static_cast<int>(item));
  if (item >= kConfigItemCount) {
    DM_LOG(LOG_ERROR, "config_default", "DeviceManager::config_default exit, invalid config item %d",
           static_cast<int>(item));
    set_last_error(ErrorCode::InvalidConfigItem);
    return false;
  }
  if (out) *out = default_of(item);
  return true;
}

bool DeviceManager::config_get(unsigned item, bool* out) {
  DM_LOG(LOG_INFO, "config_get", "DeviceManager::config_get %d", static_cast<int>(item));
  if (item >= kConfigItemCount) {
    DM_LOG(LOG_ERROR, "config_get", "DeviceManager::config_get exit, invalid config item %d",
           static_cast<int>(item));
    set_last_error(ErrorCode::InvalidConfigItem);
    return false;
  }
  if (out) *out = flag(item);
  return true;
}

bool DeviceManager::config_set(unsigned item, bool value) {
  DM_LOG(LOG_INFO, "config_set", "-api- %d = %d", static_cast<int>(item), value ? 1 : 0);
  if (item >= kConfigItemCount) {
    DM_LOG(LOG_ERROR, "config_set", "DeviceManager::config_set exit, invalid config item %d = %d",
           static_cast<int>(item), value ? 1 : 0);
    set_last_error(ErrorCode::InvalidConfigItem);
    return false;
  }
  std::atomic<bool>& stored = item == gatt_process_wide ? g_gatt_process_wide : config_[item];
  if (stored.exchange(value) != value && initialized_) {
    DM_LOG(LOG_INFO, "config_set", "DeviceManager::config_set removing busses");
    const auto top = topBuses_;
    for (const auto& bus : top) removeBus(bus);
    topBuses_.clear();
    DM_LOG(LOG_INFO, "config_set", "DeviceManager::config_set creating busses");
    connectToHardwareBusses();
  }
  DM_LOG(LOG_INFO, "config_set", "DeviceManager::config_set exit, %d = %d", static_cast<int>(item), value ? 1 : 0);
  return true;
}

}  // namespace dovod
