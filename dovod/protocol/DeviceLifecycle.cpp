// The device's life: set-up by the device manager, the hardware subscription, connection and
// disconnection, the library's active state, the three timers and deactivation.

#include <cstdio>

#include "core/Timer.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "protocol/Device.h"
#include "protocol/DeviceLog.h"
#include "protocol/DeviceTuning.h"

namespace dovod {
namespace {

bool shares_receiver_mutex(unsigned pid) {
  const maker::ReceiverRow* row = maker::receiver_row(pid);
  return row != nullptr && row->shared_mutex;
}

}  // namespace

bool Device::initDevice(std::shared_ptr<IDeviceManager> manager) {
  DEV_LOG(LOG_INFO, "initDevice", "Device::initDevice() enter");
  manager_ = manager;
  std::string mutex_name = "CorvTandem";
  if (!shares_receiver_mutex(pid()) && bus_type() != 1) {
    char text[32];
    std::snprintf(text, sizeof text, "dovod_0x%x", pid());
    mutex_name = text;
  }
  if (!engine_.open_named_mutex(mutex_name)) {
    DEV_LOG(LOG_ERROR, "initDevice", "Device::initDevice could not open the named mutex %s", mutex_name.c_str());
  }

  DEV_LOG(LOG_INFO, "initDevice", "Device::initDevice enter, pid=0x%x", pid());
  if (manager) {
    if (!Subscriber<IDeviceManager::ActiveChanged>::subscribe(manager, RunLoop)) {
      manager->report_unreported_error("Device::initDevice subscribe(IDeviceManager::ActiveChanged)");
    }
    active_ = manager->is_active();
  }
  DEV_LOG(LOG_INFO, "initDevice", "Device::initDevice exit");

  struct TimerSlot {
    std::shared_ptr<Timer>& timer;
    int id;
    const char* where;
  };
  for (const TimerSlot& slot : {TimerSlot{deactivation_timer_, kDeactivationTimer, "Device::initDevice subscribe(deactivation_timer)"},
                                TimerSlot{cache_write_timer_, kCacheWriteTimer, "Device::initDevice subscribe(cache_write_timer)"},
                                TimerSlot{fw_check_timer_, kFwCheckTimer, "Device::initDevice subscribe(fw_check_timer)"}}) {
    slot.timer = std::make_shared<Timer>(slot.id);
    if (!Subscriber<ITimer::TimerEvent>::subscribe(slot.timer, RunLoop) && manager) {
      manager->report_unreported_error(slot.where);
    }
  }

  if (bus_type() == 1) {
    bool brb = false;
    if (manager && manager->config_get(IDeviceManager::brb_workaround, &brb) && brb) {
      engine_.enable_brb_workaround();
      DEV_LOG(LOG_INFO, "initDevice", "This tandem device enabling the brb workaround, pid=0x%x", pid());
    } else {
      DEV_LOG(LOG_INFO, "initDevice", "Tandem device but brb workaround disabled, pid=0x%x", pid());
    }
  }
  bool generic = false;
  if (manager && manager->config_get(IDeviceManager::generic_cache, &generic) && generic) {
    DEV_LOG(LOG_INFO, "initDevice", "Enabled generic cache, pid=0x%x", pid());
    generic_cache_enabled_ = true;
  } else {
    DEV_LOG(LOG_INFO, "initDevice", "Not enabling generic cache, pid=0x%x", pid());
  }
  DEV_LOG(LOG_INFO, "initDevice", "Device::initDevice() exit");
  return true;
}

void Device::uninitDevice() {
  DEV_LOG(LOG_INFO, "uninitDevice", "Device::uninitDevice() enter");
  removed_ = true;
  {
    std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
    Subscriber<IHardwareDevice::Read>::unsubscribe(hwdev_);
    Subscriber<IHardwareDevice::Write>::unsubscribe(hwdev_);
    Subscriber<IHardwareDevice::Connect>::unsubscribe(hwdev_);
    if (auto manager = manager_.lock()) Subscriber<IDeviceManager::ActiveChanged>::unsubscribe(manager);
    hw_subscribed_ = false;
  }
  for (const auto& timer : {deactivation_timer_, fw_check_timer_}) {
    if (!timer) continue;
    timer->stop();
    Subscriber<ITimer::TimerEvent>::unsubscribe(timer);
  }
  DEV_LOG(LOG_INFO, "uninitDevice", "Device::uninitDevice() exit");
}

bool Device::ensure_hw_subscription() {
  // The fast path takes no lock: commands call this with the command mutex held.
  if (hw_subscribed_) return true;
  std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
  if (hw_subscribed_) return true;
  if (removed_) {
    set_last_error(ErrorCode::DeviceRemoved);
    return false;
  }
  if (!Subscriber<IHardwareDevice::Connect>::subscribe(hwdev_, RunLoop)) {
    if (auto manager = manager_.lock()) manager->report_unreported_error("Device::initDevice subscribe(IHardwareDevice::Connect)");
    return false;
  }
  const bool is_connected = hwdev_->connected();
  if (is_connected && !Subscriber<IHardwareDevice::Read>::subscribe(hwdev_, Direct)) {
    if (auto manager = manager_.lock()) manager->report_unreported_error("Device::initDevice subscribe(IHardwareDevice::Read)");
    hwdev_->open();
  }
  hw_connected_ = is_connected;
  hw_subscribed_ = true;
  return true;
}

bool Device::connected() {
  ensure_hw_subscription();
  std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
  if (connection_state_ == 0) connection_state_ = hw_connected_ ? 2 : 1;
  return hw_connected_;
}

bool Device::on_subscribe(Subscriber<IDevice::Connect>*) {
  DEV_LOG(LOG_DEBUG, "on_subscribe", "subscribing to connect");
  ensure_hw_subscription();
  return true;
}

bool Device::on_subscribe(Subscriber<IDevice::WriteReport>*) {
  std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
  if (Subscriber<IHardwareDevice::Write>::subscribe(hwdev_, Direct)) {
    DEV_LOG(LOG_DEBUG, "on_subscribe", "subscribed to write reports");
  } else {
    DEV_LOG(LOG_WARNING, "on_subscribe", "could not subscribe to write reports, err=%d", to_int(last_error().code));
  }
  return true;
}

void Device::onConnect(std::shared_ptr<IHardwareDevice>) { handle_hw_connect(); }

void Device::onDisconnect(std::shared_ptr<IHardwareDevice>) { handle_hw_disconnect(); }

void Device::handle_hw_disconnect() {
  DEV_LOG(LOG_INFO, "onDisconnect", "Device::onDisconnect enter, pid = 0x%x", pid());
  if (deactivation_timer_) deactivation_timer_->stop();
  if (fw_check_timer_) fw_check_timer_->stop();
  {
    std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
    hw_connected_ = false;
    connection_state_ = 1;
  }
  std::shared_ptr<IDevice> self = shared_from_this();
  Producer<IDevice::Connect>::produce([self](IDevice::Connect* s) { s->onDisconnect(self); },
                                      "Device::Connect::onDisconnect");
  DEV_LOG(LOG_INFO, "onDisconnect", "Device::onDisconnect exit, pid = 0x%x", pid());
}

void Device::onActiveChanged(bool active) {
  DEV_LOG(LOG_INFO, "onActiveChanged", "Device::onActiveChanged(active = %d)", active ? 1 : 0);
  if (active_ == active) return;
  active_ = active;
  DEV_LOG(LOG_INFO, "onActiveChanged", "Changed active state to %d", active ? 1 : 0);
  bool subscribed;
  {
    std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
    subscribed = hw_subscribed_;
  }
  if (!subscribed || !hwdev_->connected()) return;
  if (active) {
    DEV_LOG(LOG_INFO, "onActiveChanged", "Going active while device %04x is connected", pid());
    deactivation_timer_->stop();
    handle_hw_connect();
  } else {
    DEV_LOG(LOG_INFO, "onActiveChanged", "Going inactive while device %04x is connected", pid());
    handle_hw_disconnect();
    if (configured()) deactivation_timer_->start(device_tuning().deactivation_delay_ms);
  }
}

void Device::onTimerEvent(int timer_id) {
  switch (timer_id) {
    case kDeactivationTimer:
      perform_deactivate();
      break;
    case kCacheWriteTimer:
      perform_cache_write();
      break;
    case kFwCheckTimer:
      handle_hw_connect();
      break;
    default:
      break;
  }
}

void Device::confirm_configuration() {
  DEV_LOG(LOG_INFO, "confirm_configuration", "Device::confirm_configuration(pid = 0x%04x) begin...", pid());
  bool subscribed;
  {
    std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
    subscribed = hw_subscribed_;
  }
  if (subscribed && hwdev_->connected()) handle_hw_connect();
  DEV_LOG(LOG_INFO, "confirm_configuration", "Device::confirm_configuration(pid = 0x%04x) ...end", pid());
}

}  // namespace dovod
