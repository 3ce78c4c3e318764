// Connection processing on the host thread: the firmware check, whether the device still holds the
// configuration this library wrote (the 0x0020 cookie), pending changes, and the onConnect event.

#include "core/Timer.h"
#include "dovod/IFeature0020ConfigChange.h"
#include "dovod/LastError.h"
#include "protocol/Device.h"
#include "protocol/DeviceLog.h"
#include "protocol/DeviceTuning.h"
#include "protocol/Feature.h"

namespace dovod {

void Device::handle_hw_connect() {
  DEV_LOG(LOG_INFO, "onConnect", "-connect- pid=%04x begin...", pid());
  auto log_end = [this] { DEV_LOG(LOG_INFO, "onConnect", "...Device::onConnect() pid=0x%x end.", pid()); };
  engine_.clear_quarantine();
  if (attach_on_connect() && defer_quick_reconnect()) {
    log_end();
    return;
  }
  if (!active_) {
    if (configured()) {
      DEV_LOG(LOG_INFO, "onConnect", "inactive session, device configured, connect triggering deactivation");
      deactivation_timer_->start(device_tuning().deactivation_delay_ms);
    } else {
      DEV_LOG(LOG_INFO, "onConnect", "inactive session, device not configured, connect ignored");
    }
    log_end();
    return;
  }
  engine_.end_brb_workaround();
  ConnectCheck check;
  if (!verify_configuration_on_connect(check)) return;
  if (!write_pending_changes_on_connect(check)) return;
  announce_connect(check);
  log_end();
}

bool Device::attach_on_connect() {
  std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
  ensure_hw_subscription();
  if (!Subscriber<IHardwareDevice::Read>::subscribe(hwdev_, Direct)) {
    if (auto manager = manager_.lock()) manager->report_unreported_error("Device::onConnect subscribe(IHardwareDevice::Read)");
  }
  const bool already_connected = hw_connected_;
  hw_connected_ = true;
  return already_connected;
}

bool Device::defer_quick_reconnect() {
  DEV_LOG(LOG_INFO, "onConnect", "connect of already connected device");
  const Clock::time_point last = engine_.last_report();
  const long since_ms = last == Clock::time_point{}
                            ? -1
                            : static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last).count());
  DEV_LOG(LOG_INFO, "onConnect", "its been %ld milliseconds since last report", since_ms);
  const DeviceTuning tuning = device_tuning();
  if (since_ms < 0 || since_ms >= tuning.reconnect_window_ms) return false;
  DEV_LOG(LOG_INFO, "onConnect", "time since last report less than a second, so delaying onConnect processing");
  fw_check_timer_->arm(tuning.fw_check_delay_ms);
  return true;
}

bool Device::verify_configuration_on_connect(ConnectCheck& check) {
  if (!do_fwcheck()) {
    if (last_error().code == ErrorCode::NotConnected) {
      DEV_LOG(LOG_INFO, "onConnect", "Not reporting connect due to NotConnected");
      return false;
    }
    DEV_LOG(LOG_WARNING, "onConnect", "onConnect: fw check failed, err=%d", to_int(last_error().code));
    clear_last_error();
    DEV_LOG(LOG_INFO, "onConnect", "onConnect: device not configured");
    return true;
  }
  if (!configured() || cookie_ == 0) {
    DEV_LOG(LOG_INFO, "onConnect", "onConnect: device not configured");
    // Settings whose cookie a failed command cleared cannot be verified: they count as lost, so
    // that the features write them again under a new cookie.
    if (configured()) check.lost = true;
    return true;
  }
  auto config = config_feature();
  if (!config) {
    DEV_LOG(LOG_INFO, "onConnect", "onConnect: losing configuration because no 0x0020 feature present");
    check.lost = true;
    return true;
  }
  DEV_LOG(LOG_INFO, "onConnect", "OnConnect is reading cookie");
  std::uint16_t read = 0;
  if (!config->GetCookie(&read)) {
    if (last_error().code == ErrorCode::NotConnected) {
      DEV_LOG(LOG_INFO, "onConnect", "Not reporting connect due to NotConnected");
      return false;
    }
    DEV_LOG(LOG_WARNING, "onConnect", "onConnect: could not read cookie, err=%d", to_int(last_error().code));
    DEV_LOG(LOG_INFO, "onConnect", "onConnect: losing configuration because could not get cookie");
    check.lost = true;
    return true;
  }
  DEV_LOG(LOG_INFO, "onConnect", "OnConnect: read cookie %04x", read);
  if (read == cookie_) {
    DEV_LOG(LOG_INFO, "onConnect", "onConnect: cookie matched");
    check.verified = true;
    return true;
  }
  DEV_LOG(LOG_INFO, "onConnect", "onConnect: losing configuration because cookie did not match");
  check.lost = true;
  if (read != 0) {
    foreign_cookie_ = read;
    check.foreign_found = true;
  }
  return true;
}

bool Device::write_pending_changes_on_connect(ConnectCheck& check) {
  std::vector<std::shared_ptr<IFeature>> pending;
  {
    std::lock_guard<std::mutex> lock(config_mutex_);
    pending = pending_changes_;
  }
  if (pending.empty() || check.lost) return true;
  DEV_LOG(LOG_INFO, "onConnect", "onConnect: Letting features write pending changes");
  const bool device_configured = configured();
  for (const auto& item : pending) {
    auto feature = std::dynamic_pointer_cast<Feature>(item);
    bool ok = true;
    if (feature) {
      feature->set_processing_pending(true);
      ok = feature->process_pending_changes(device_configured);
      const LastError failure = last_error();
      feature->set_processing_pending(false);
      if (ok) feature->set_pending_flag(false);
      set_last_error(failure.code, failure.system_error, failure.message);
    }
    {
      std::lock_guard<std::mutex> lock(config_mutex_);
      std::erase(pending_changes_, item);
    }
    if (!ok) {
      if (last_error().code == ErrorCode::NotConnected) {
        DEV_LOG(LOG_INFO, "onConnect", "Not reporting connect due to NotConnected");
        return false;
      }
      DEV_LOG(LOG_WARNING, "onConnect", "onConnect: losing configuration because some feature could not write pending changes, err=%d",
              to_int(last_error().code));
      check.lost = true;
      return true;
    }
  }
  DEV_LOG(LOG_INFO, "onConnect", "onConnect is writing cookie to 0x0020 feature (config complete)");
  auto config = config_feature();
  if (!config || !config->SetCookie(cookie_)) {
    DEV_LOG(LOG_WARNING, "onConnect",
            "onConnect: losing configuration because could not write configuration complete to receiver, err=%d",
            to_int(last_error().code));
    check.lost = true;
  } else {
    check.verified = true;
  }
  return true;
}

void Device::announce_connect(const ConnectCheck& check) {
  if (check.lost) {
    mark_unconfigured_and_announce("lost configuration");
    if (!check.foreign_found) {
      std::lock_guard<std::mutex> lock(config_mutex_);
      device_unowned_but_dirty_ = true;
    }
  }
  const bool retained = check.verified && !check.lost && configured();
  DEV_LOG(LOG_INFO, "onConnect", "-connect- sending connect pid %04x with device_configured_by_us = %d", pid(), retained ? 1 : 0);
  {
    std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
    connection_state_ = 2;
  }
  std::shared_ptr<IDevice> self = shared_from_this();
  Producer<IDevice::Connect>::produce([self, retained](IDevice::Connect* s) { s->onConnect(self, retained); },
                                      "Device::Connect::onConnect");
}

void Device::mark_unconfigured_and_announce(const char* cause) {
  std::vector<std::shared_ptr<IFeature>> configured_list;
  {
    std::lock_guard<std::mutex> lock(config_mutex_);
    configured_list.swap(configured_features_);
  }
  if (configured_list.empty()) return;
  Producer<IDevice::ConfigChange>::produce([](IDevice::ConfigChange* s) { s->onConfigChange(); },
                                           "Device::Report::onConfigChange");
  for (const auto& feature : configured_list) {
    DEV_LOG(LOG_INFO, "onConnect", "onConnect: telling feature 0x%04x about the %s", feature->feature_id(), cause);
    if (auto base = std::dynamic_pointer_cast<Feature>(feature)) base->set_configured_flag(false);
  }
}

void Device::perform_deactivate() {
  DEV_LOG(LOG_INFO, "perform_deactivate", "Starting deactivation of device %04x", pid());
  if (active_) {
    DEV_LOG(LOG_INFO, "perform_deactivate", "Deactivation for device %04x skipped due to active_", pid());
  } else if (!hwdev_->connected()) {
    DEV_LOG(LOG_INFO, "perform_deactivate", "Deactivation for device %04x skipped due to !hwdev->connected()", pid());
  } else if (auto config = config_feature(); !config) {
    DEV_LOG(LOG_INFO, "perform_deactivate", "Deactivation: skipping deactivation because no 0x0020 feature");
  } else {
    DEV_LOG(LOG_INFO, "perform_deactivate", "Deactivation is checking 0x0020 feature to see if we still hold the configuration");
    std::uint16_t read = 0;
    if (!config->GetCookie(&read)) {
      DEV_LOG(LOG_WARNING, "perform_deactivate", "Deactivation: skipping deactivation because could not read cookie, err=%d",
              to_int(last_error().code));
    } else if (read != cookie_) {
      DEV_LOG(LOG_INFO, "perform_deactivate", "Deactivation: skipping deactivation because cookie did not match");
      if (read != 0) foreign_cookie_ = read;
    } else {
      DEV_LOG(LOG_INFO, "perform_deactivate", "Deactivation: we still hold configuration, resetting device by clearing 0x0020 cookie");
      if (!config->SetCookie(0)) {
        DEV_LOG(LOG_WARNING, "perform_deactivate", "could not clear cookie in 0x0020 feature, errcode=%d", to_int(last_error().code));
      }
      clear_cookie();
      mark_unconfigured_and_announce("reset");
    }
  }
  DEV_LOG(LOG_INFO, "perform_deactivate", "Deactivation exit");
}

void Device::shutdown() {
  DEV_LOG(LOG_INFO, "shutdown", "Device::shutdown");
  bool dirty;
  {
    std::lock_guard<std::mutex> lock(config_mutex_);
    dirty = device_unowned_but_dirty_;
  }
  const bool is_configured = configured();
  if (is_configured || dirty) {
    DEV_LOG(LOG_INFO, "shutdown", "configured = %d, device_unowned_but_dirty = %d", is_configured ? 1 : 0, dirty ? 1 : 0);
    if (auto config = config_feature()) {
      DEV_LOG(LOG_INFO, "shutdown", "set_configured is resetting device by clearing cookie in 0x0020 feature");
      if (!config->SetCookie(0)) {
        DEV_LOG(LOG_WARNING, "shutdown", "could not clear cookie in 0x0020 feature, errcode=%d", to_int(last_error().code));
      }
    }
    std::lock_guard<std::mutex> lock(config_mutex_);
    device_unowned_but_dirty_ = false;
  }
  // The receiver learns last that no software holds its devices' settings any more.
  release_receiver();
}

}  // namespace dovod
