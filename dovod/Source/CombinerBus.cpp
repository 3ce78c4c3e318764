#include "Source/CombinerBus.h"

#include "core/FilterBusFactory.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "CombinerBus";

bool complete_by_itself(IHardwareDevice& device) { return device.piece_bits() == device.expected_pieces(); }

}  // namespace

std::shared_ptr<IHardwareBus> make_combiner_bus(const std::shared_ptr<IDeviceManager>& manager,
                                                const std::shared_ptr<IHardwareBus>& underlying) {
  return std::make_shared<CombinerBus>(manager, underlying);
}

CombinerBus::CombinerBus(const std::shared_ptr<IDeviceManager>& manager, std::shared_ptr<IHardwareBus> underlying)
    : underlying_(std::move(underlying)), manager_(manager) {
  xLog(kTag, LOG_DEBUG, "dovod::CombinerBus::CombinerBus", "CombinerBus constructor");
}

std::vector<std::shared_ptr<IBluetoothBus>> CombinerBus::bluetooth_busses() { return underlying_->bluetooth_busses(); }

std::vector<std::shared_ptr<IHardwareSecondaryBus>> CombinerBus::secondary_busses() {
  return underlying_->secondary_busses();
}

bool CombinerBus::subscribe_to_underlying() {
  return Subscriber<IHardwareBus::PlugUnplug>::subscribe(underlying_, RunLoop);
}

bool CombinerBus::on_subscribe(Subscriber<IHardwareBus::PlugUnplug>*) {
  const bool ret = subscribe_to_underlying();
  xLog(kTag, LOG_DEBUG, "dovod::CombinerBus::on_subscribe", "CombinerBus::on_subscribe exit, ret=%d", ret ? 1 : 0);
  return ret;
}

void CombinerBus::announce_plug(const std::shared_ptr<IHardwareDevice>& device) {
  Producer<IHardwareBus::PlugUnplug>::produce([device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); },
                                              "CombinerBus::PlugUnplug::onPlug");
}

void CombinerBus::announce_unplug(const std::shared_ptr<IHardwareDevice>& device) {
  Producer<IHardwareBus::PlugUnplug>::produce([device](IHardwareBus::PlugUnplug* s) { s->onUnplug(device); },
                                              "CombinerBus::PlugUnplug::onUnplug");
}

std::vector<std::shared_ptr<IHardwareDevice>> CombinerBus::devices() {
  static constexpr const char* kFn = "dovod::CombinerBus::devices";
  xLog(kTag, LOG_DEBUG, kFn, "CombinerBus::devices enter");
  if (!subscribe_to_underlying()) {
    xLog(kTag, LOG_ERROR, kFn, "CombinerBus::devices exit (false, subscribe failed)");
    return {};
  }
  xLog(kTag, LOG_DEBUG, kFn, "CombinerBus::devices starting getting list of underlying devices");
  const auto found = underlying_->devices();
  const LastError enumeration = last_error();
  const bool enumeration_failed = found.empty() && enumeration.code != ErrorCode::None;
  xLog(kTag, LOG_DEBUG, kFn, "CombinerBus::devices finished getting list of underlying devices");

  std::vector<std::shared_ptr<IHardwareDevice>> result;
  std::vector<std::shared_ptr<IHardwareDevice>> completed;
  bool add_failed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, combined] : combined_) {
      if (combined->whole()) result.push_back(combined);
    }
    xLog(kTag, LOG_DEBUG, kFn, "CombinerBus::devices discovering new devices");
    for (const auto& device : found) {
      if (!device) continue;
      if (complete_by_itself(*device)) {
        xLog(kTag, LOG_DEBUG, kFn, "CombinerBus::devices single complete piece");
        result.push_back(device);
        continue;
      }
      const std::string key = device->combine_key();
      // Without a key the piece's siblings cannot be told from another device's pieces.
      if (key.empty()) {
        xLog(kTag, LOG_WARNING, kFn, "CombinerBus::devices ignoring a piece without a combine key");
        continue;
      }
      std::shared_ptr<CombinerDevice> combined;
      bool was_whole = false;
      if (auto it = combined_.find(key); it == combined_.end()) {
        xLog(kTag, LOG_DEBUG, kFn, "CombinerBus::devices using a piece to start creating a new device");
        combined = std::make_shared<CombinerDevice>(weak_from_this(), device);
        combined_[key] = combined;
      } else {
        combined = it->second;
        was_whole = combined->whole();
        xLog(kTag, LOG_DEBUG, kFn, "CombinerBus::devices merging in a piece");
        if (!combined->add_piece(device)) {
          xLog(kTag, LOG_ERROR, kFn, "CombinerBus::devices exit (false, failed to add piece, err=%d)",
               to_int(last_error().code));
          add_failed = true;
          break;
        }
      }
      if (!was_whole && combined->whole()) {
        xLog(kTag, LOG_INFO, kFn, "CombinerBus::devices adding a piece finished a device to completion");
        result.push_back(combined);
        completed.push_back(combined);
      }
    }
  }
  const LastError add_failure = last_error();
  for (const auto& combined : completed) {
    xLog(kTag, LOG_INFO, kFn, "CombinerBus::devices producing onPlug event");
    announce_plug(combined);
  }
  if (add_failed) {
    set_last_error(add_failure.code, add_failure.system_error, add_failure.message);
    return {};
  }
  if (result.empty() && enumeration_failed) {
    xLog(kTag, LOG_ERROR, kFn, "CombinerBus::devices exit (propogating error %d)", to_int(enumeration.code));
    set_last_error(enumeration.code, enumeration.system_error, enumeration.message);
    return {};
  }
  // Pieces still waiting for their siblings are no failure, whatever code the work left behind.
  if (result.empty()) clear_last_error();
  xLog(kTag, LOG_DEBUG, kFn, "CombinerBus::devices exit (success, returning %d devices)", static_cast<int>(result.size()));
  return result;
}

void CombinerBus::onPlug(std::shared_ptr<IHardwareDevice> device) {
  static constexpr const char* kFn = "dovod::CombinerBus::onPlug";
  if (!device) return;
  xLog(kTag, LOG_INFO, kFn, "CombinerBus::onPlug enter (pid = 0x%x)", device->pid());
  if (!device->open()) {
    xLog(kTag, LOG_WARNING, kFn, "CombinerBus::onPlug exit, ignoring device it could not open");
    return;
  }
  if (complete_by_itself(*device)) {
    xLog(kTag, LOG_INFO, kFn, "CombinerBus::onPlug producing onPlug event");
    announce_plug(device);
  } else if (devices().empty() && last_error().code != ErrorCode::None) {
    if (auto manager = manager_.lock()) manager->report_unreported_error("CombinerBus::onPlug");
  }
  xLog(kTag, LOG_INFO, kFn, "CombinerBus::onPlug exit");
}

void CombinerBus::onUnplug(std::shared_ptr<IHardwareDevice> device) {
  static constexpr const char* kFn = "dovod::CombinerBus::onUnplug";
  if (!device) return;
  xLog(kTag, LOG_INFO, kFn, "CombinerBus::onUnplug enter (pid = 0x%x)", device->pid());
  xLog(kTag, LOG_INFO, kFn, "CombinerBus::onUnplug producing unPlug event for individual piece");
  announce_unplug(device);
  std::vector<std::shared_ptr<IHardwareDevice>> broken;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = combined_.begin(); it != combined_.end();) {
      const std::shared_ptr<CombinerDevice> combined = it->second;
      const bool was_whole = combined->whole();
      if (combined->remove_piece(device)) {
        xLog(kTag, LOG_INFO, kFn, "CombinerBus::onUnplug removing device");
        it = combined_.erase(it);
      } else {
        ++it;
      }
      if (was_whole && !combined->whole()) broken.push_back(combined);
    }
  }
  for (const auto& combined : broken) {
    xLog(kTag, LOG_INFO, kFn, "CombinerBus::onUnplug producing unPlug event for combined device");
    announce_unplug(combined);
  }
  xLog(kTag, LOG_INFO, kFn, "CombinerBus::onUnplug exit");
}

void CombinerBus::onPowerChange(bool standBy) {
  xLog(kTag, LOG_INFO, "dovod::CombinerBus::onPowerChange", "CombinerBus::onPowerChange(standBy=%d)", standBy ? 1 : 0);
  Producer<IHardwareBus::PlugUnplug>::produce([standBy](IHardwareBus::PlugUnplug* s) { s->onPowerChange(standBy); },
                                              "CombinerBus::PlugUnplug::onPowerChange");
}

}  // namespace dovod
