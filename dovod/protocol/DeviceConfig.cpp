// Configuration ownership: the first feature that changes a setting makes the library write its own
// cookie to feature 0x0020, so that a later connection can tell whether the device kept the settings.

#include "dovod/IFeature0020ConfigChange.h"
#include "dovod/LastError.h"
#include "protocol/Device.h"
#include "protocol/DeviceLog.h"
#include "protocol/IReceiverLink.h"

namespace dovod {
namespace {

constexpr int kConfigChangeId = 0x0020;

}  // namespace

std::shared_ptr<IFeature0020ConfigChange> Device::config_feature() {
  return std::dynamic_pointer_cast<IFeature0020ConfigChange>(feature_by_id(kConfigChangeId));
}

bool Device::prepare_receiver_for_configuration() {
  auto* link = dynamic_cast<IReceiverLink*>(hwdev_.get());
  return link == nullptr || link->set_software_present();
}

bool Device::prepare_receiver_for_pending_change() {
  auto* link = dynamic_cast<IReceiverLink*>(hwdev_.get());
  return link == nullptr || link->set_configuration_complete();
}

void Device::release_receiver() {
  if (auto* link = dynamic_cast<IReceiverLink*>(hwdev_.get())) link->release_receiver();
}

bool Device::configured() {
  std::lock_guard<std::mutex> lock(config_mutex_);
  return !configured_features_.empty();
}

bool Device::has_pending_changes() {
  std::lock_guard<std::mutex> lock(config_mutex_);
  return !pending_changes_.empty();
}

bool Device::set_configured(std::shared_ptr<IFeature> feature) {
  bool first;
  bool delay_cookie;
  {
    std::lock_guard<std::mutex> lock(config_mutex_);
    if (suppress_configuration_) return true;
    first = configured_features_.empty();
    if (!first) {
      configured_features_.push_back(feature);
      device_unowned_but_dirty_ = false;
      return true;
    }
    delay_cookie = !pending_changes_.empty();
  }
  if (bus_type() == 1 && !receiver_prepared_) {
    if (!prepare_receiver_for_configuration()) return false;
    receiver_prepared_ = true;
  }
  if (auto config = config_feature()) {
    std::uint16_t existing = 0;
    if (!config->GetCookie(&existing)) return false;
    DEV_LOG(LOG_INFO, "set_configured", "set_configured read existing cookie from device: 0x%04x", existing);
    if (existing != 0) {
      foreign_cookie_ = existing;
      DEV_LOG(LOG_INFO, "set_configured", "set_configured is writing 0 cookie to 0x0020 feature to reset device");
      if (!config->SetCookie(0)) return false;
    }
    int picked = random(1, 0xFFFE);
    if (picked >= foreign_cookie_) ++picked;
    cookie_ = static_cast<std::uint16_t>(picked);
    DEV_LOG(LOG_INFO, "set_configured", "set_configured picked a new cookie 0x%04x", picked);
    if (delay_cookie) {
      DEV_LOG(LOG_INFO, "set_configured", "set_configured delaying writing of new cookie because we are processing a pending change");
    } else {
      DEV_LOG(LOG_INFO, "set_configured", "set_configured is writing new cookie to 0x0020 feature");
      if (!config->SetCookie(cookie_)) return false;
    }
  }
  DEV_LOG(LOG_INFO, "set_configured", "-api- set_configured produuing onConfigChange");
  Producer<IDevice::ConfigChange>::produce([](IDevice::ConfigChange* s) { s->onConfigChange(); },
                                           "Device::Report::onConfigChange");
  std::lock_guard<std::mutex> lock(config_mutex_);
  configured_features_.push_back(std::move(feature));
  device_unowned_but_dirty_ = false;
  return true;
}

bool Device::add_pending_change(std::shared_ptr<IFeature> feature) {
  bool first;
  {
    std::lock_guard<std::mutex> lock(config_mutex_);
    if (suppress_configuration_) return true;
    first = pending_changes_.empty();
  }
  if (bus_type() == 1 && first) {
    if (!receiver_prepared_) {
      if (!prepare_receiver_for_configuration()) return false;
      receiver_prepared_ = true;
    }
    if (!prepare_receiver_for_pending_change()) return false;
  }
  std::lock_guard<std::mutex> lock(config_mutex_);
  pending_changes_.push_back(std::move(feature));
  return true;
}

}  // namespace dovod
