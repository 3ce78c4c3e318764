// The device's side of its command engine: the command operations of IDevice, handed to the engine,
// and the answers the engine asks of the device.

#include "core/Timer.h"
#include "protocol/Device.h"
#include "protocol/DeviceTuning.h"
#include "protocol/Feature.h"

namespace dovod {

int Device::swid() { return engine_.swid(); }

bool Device::sendCommand(const Bytes& request, bool subscribe_first) { return engine_.send(request, subscribe_first); }

bool Device::sendSynchronousCommandWithoutRetry(const Bytes& request, Bytes& reply,
                                                const std::vector<int>& echo_positions, bool) {
  return engine_.send_once(request, reply, echo_positions);
}

bool Device::sendSynchronousCommand(const Bytes& request, Bytes& reply, int cache_mode,
                                    const std::vector<int>& echo_positions) {
  return engine_.send_synchronous(request, reply, cache_mode, echo_positions);
}

void Device::abandon() { engine_.abandon(); }

bool Device::has_features() {
  std::lock_guard<std::mutex> lock(features_mutex_);
  return !features_.empty();
}

std::shared_ptr<Feature> Device::feature_at(Byte index) {
  std::lock_guard<std::mutex> lock(features_mutex_);
  auto it = features_.find(index);
  return it == features_.end() ? nullptr : it->second;
}

bool Device::EngineHost::feature_based() { return device_.has_features(); }

bool Device::EngineHost::removed() { return device_.removed_; }

bool Device::EngineHost::ensure_subscribed() { return device_.ensure_hw_subscription(); }

void Device::EngineHost::report_write_failure(ErrorCode code, unsigned third) { device_.onWrite({}, code, third); }

void Device::EngineHost::quarantine() { device_.handle_hw_disconnect(); }

bool Device::EngineHost::check_firmware() { return device_.do_fwcheck(); }

void Device::EngineHost::command_failed() { device_.clear_cookie(); }

void Device::EngineHost::cache_changed() {
  if (device_.cache_write_timer_) device_.cache_write_timer_->arm(device_tuning().cache_write_delay_ms);
}

int Device::EngineHost::manager_swid() {
  auto manager = device_.manager_.lock();
  return manager ? manager->swid() : 0;
}

}  // namespace dovod
