// Enumeration of the paired devices: the receiver announces each of them with a connection
// notification, which the read thread turns into slots while the host thread waits for the answer.
#include "Source/TandemBus.h"
#include "Source/TandemDevice.h"
#include "Source/TandemLog.h"
#include "Source/VXP10Command.h"
#include "dovod/LastError.h"

namespace dovod {
namespace {

constexpr int kEnumerationPasses = 3;

}  // namespace

std::vector<std::shared_ptr<IHardwareDevice>> TandemBus::internal_devices() {
  TB_LOG(LOG_INFO, "devices", "TandemBus::devices enter");
  if (!library_active()) {
    TB_LOG(LOG_INFO, "devices",
           "TandemBus::devices() - device is inactive. Not enumerating devices (we will do that when we become active "
           "again).");
    return {};
  }
  if (!enable_receiver_notifications()) {
    TB_LOG(LOG_WARNING, "devices", "TandemBus::devices exit (failed to enable receiver notifications)");
    return {};
  }
  for (int pass = 0; pass < kEnumerationPasses; ++pass) {
    unsigned count = 0;
    unsigned second = 0;
    if (!VXP10Command::read_receiver_connection_state(this, count, second)) {
      TB_LOG(LOG_WARNING, "devices", "TandemBus::devices exit (failed to read receiver device count)");
      return {};
    }
    {
      std::lock_guard<std::mutex> lock(enumeration_mutex_);
      arrivals_.clear();
    }
    TB_LOG(LOG_INFO, "devices", "TandemBus::devices() - there are %d devices connected to the Tandem receiver.",
           static_cast<int>(count));
    TB_LOG(LOG_INFO, "devices", "===> Starting receiver enumeration...");
    enumerating_ = true;
    const bool announced = VXP10Command::set_receiver_connection_state(this);
    enumerating_ = false;
    if (!announced) {
      TB_LOG(LOG_WARNING, "devices", "TandemBus::devices exit (failed fake device arrival request)");
      return {};
    }
    TB_LOG(LOG_INFO, "devices", "===> ...receiver enumeration complete.");
    std::size_t arrived;
    {
      std::lock_guard<std::mutex> lock(enumeration_mutex_);
      arrived = arrivals_.size();
    }
    if (arrived == count) break;
    TB_LOG(LOG_WARNING, "devices", "TandemBus::devices() - %d devices reported by receiver but only %d arrival reports received. Retrying.",
           static_cast<int>(count), static_cast<int>(arrived));
    if (auto manager = owner_.lock()) {
      set_last_error(ErrorCode::ReceiverArrivalMismatch, 0, "Tandem device arrival unique count mismatch");
      manager->report_unreported_error("TandemBus");
    }
    if (pass == 0) {
      notifications_enabled_ = false;
      enable_receiver_notifications();
    }
  }
  std::vector<std::shared_ptr<IHardwareDevice>> result;
  for (const auto& device : occupied()) result.push_back(device);
  if (result.empty()) clear_last_error();
  TB_LOG(LOG_INFO, "devices", "TandemBus::devices exit (success, returning %d devices)", static_cast<int>(result.size()));
  return result;
}

void TandemBus::onActiveChanged(bool active) {
  TB_LOG(LOG_INFO, "onActiveChanged", "TandemBus::onActiveChanged(active = %d)", active ? 1 : 0);
  const bool was_active = library_active();
  Device::onActiveChanged(active);
  if (was_active || !active) return;

  TB_LOG(LOG_INFO, "onActiveChanged", "  -- session has become active. Enumerating receiver again.");
  std::vector<std::shared_ptr<TandemDevice>> saved;
  {
    std::lock_guard<std::mutex> lock(slot_mutex_);
    saved = slots_;
    for (auto& slot : slots_) slot.reset();
  }
  std::vector<std::shared_ptr<TandemDevice>> before;
  for (const auto& device : saved) {
    if (device) before.push_back(device);
  }
  clear_last_error();
  const auto after = internal_devices();
  if (after.empty() && last_error().code != ErrorCode::None) {
    // A failed enumeration leaves the slots as they were; nothing is unplugged on its account.
    TB_LOG(LOG_WARNING, "onActiveChanged", "  -- enumeration failed, keeping the devices paired before, err=%d",
           to_int(last_error().code));
    std::lock_guard<std::mutex> lock(slot_mutex_);
    slots_ = saved;
    return;
  }
  TB_LOG(LOG_INFO, "onActiveChanged", "  -- before session active: %d devices paired. After session active: %d devices paired.",
         static_cast<int>(before.size()), static_cast<int>(after.size()));

  bool same = before.size() == after.size();
  for (std::size_t i = 0; same && i < before.size(); ++i) same = before[i]->pid() == after[i]->pid();
  if (same) {
    TB_LOG(LOG_INFO, "onActiveChanged", "  -- No devices have changed before session became active.");
    std::lock_guard<std::mutex> lock(slot_mutex_);
    slots_ = saved;
    return;
  }
  TB_LOG(LOG_INFO, "onActiveChanged", "  -- When session became active, we had no devices enumerated on the receiver,");
  TB_LOG(LOG_INFO, "onActiveChanged", "  -- or the number/order of devices has changed (user in other session invoked pairing utility).");
  TB_LOG(LOG_INFO, "onActiveChanged", "  -- We have to produce onPlug() events for all devices now.");
  for (const auto& device : before) produce_unplug(device);
  for (const auto& hwdev : after) {
    if (auto device = std::dynamic_pointer_cast<TandemDevice>(hwdev)) produce_plug(device);
  }
}

}  // namespace dovod

