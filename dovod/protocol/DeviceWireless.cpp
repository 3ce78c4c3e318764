// Wireless status of a receiver-paired device: a link that came back asking for configuration may
// have lost our settings; the cookie tells, and a loss is announced as a disconnect and reconnect.

#include "dovod/IFeature0020ConfigChange.h"
#include "dovod/LastError.h"
#include "protocol/Device.h"
#include "protocol/DeviceLog.h"

namespace dovod {

void Device::onWirelessStatusEvent(bool reconnect, bool config_needed, bool powerswitch) {
  DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "enter, reconnect=%d, config_needed=%d, powerswitch=%d", reconnect ? 1 : 0,
          config_needed ? 1 : 0, powerswitch ? 1 : 0);
  if (!config_needed) {
    DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "exit, no config needed");
    return;
  }
  if (!configured()) {
    DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "exit, no features configured");
    return;
  }
  auto config = config_feature();
  bool read_failed = false;
  if (!config) {
    DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "feature 0020 missing");
    read_failed = true;
  } else {
    DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "reading 0020 cookie");
    std::uint16_t read = 0;
    if (config->GetCookie(&read)) {
      DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "OnConnect: read cookie %04x", read);
      if (read == cookie_) {
        DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "Not reporting lost settings due to cookie matching");
        return;
      }
      DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "cookie did not match");
    } else {
      DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "failed to get 0020 cookie");
      read_failed = true;
    }
  }
  if (read_failed && last_error().code == ErrorCode::NotConnected) {
    DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "Not reporting lost settings due to NotConnected");
    return;
  }
  int state;
  {
    std::lock_guard<std::recursive_mutex> lock(hw_mutex_);
    state = connection_state_;
  }
  if (state == 2) {
    DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "reporting settings lost via an onDisconnect/onConnect sequence");
    std::shared_ptr<IDevice> self = shared_from_this();
    Producer<IDevice::Connect>::produce([self](IDevice::Connect* s) { s->onDisconnect(self); },
                                        "Device::Connect::onDisconnect");
    Producer<IDevice::Connect>::produce([self](IDevice::Connect* s) { s->onConnect(self, false); },
                                        "Device::Connect::onConnect");
  } else {
    DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "Not reporting lost settings due to latest reported connected state being other than connected");
  }
  DEV_LOG(LOG_INFO, "onWirelessStatusEvent", "exit");
}

}  // namespace dovod
