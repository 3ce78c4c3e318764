#include "sim/SimHardwareBus.h"

#include "CollectionSet.h"
#include "DirectAttachment.h"
#include "sim/SimHardwareDevice.h"
#include "sim/SimKeyboard.h"
#include "sim/SimReceiver.h"

namespace sim {

std::shared_ptr<SimHardwareBus> SimHardwareBus::create(const Scenario& scenario) {
  auto bus = std::make_shared<SimHardwareBus>(scenario);
  bus->keyboard_->set_bus(bus);
  if (scenario.receiver) {
    bus->receiver_ = SimReceiver::create(scenario, bus->keyboard_);
    bus->endpoint_ = bus->receiver_;
  } else {
    auto direct = std::make_shared<DirectAttachment>(bus->keyboard_);
    bus->keyboard_->set_uplink(direct);
    bus->endpoint_ = direct;
  }
  bus->endpoint_->collections().set(bus->make_collections(false));
  bus->plugged_ = true;
  return bus;
}

SimHardwareBus::SimHardwareBus(const Scenario& scenario)
    : collections_(scenario.collections), keyboard_(std::make_shared<SimKeyboard>(scenario)) {}

SimHardwareBus::~SimHardwareBus() { keyboard_->set_uplink({}); }

std::vector<std::shared_ptr<SimHardwareDevice>> SimHardwareBus::make_collections(bool removed) {
  const std::string base = receiver_ ? SimReceiver::kPath : kKeyboardPath;
  std::vector<std::shared_ptr<SimHardwareDevice>> made;
  for (CollectionShape& shape : CollectionSet::shapes(collections_, base)) {
    made.push_back(std::make_shared<SimHardwareDevice>(endpoint_, weak_from_this(), std::move(shape)));
    if (removed) made.back()->mark_removed();
  }
  return made;
}

std::vector<std::shared_ptr<dovod::IHardwareDevice>> SimHardwareBus::devices() {
  std::vector<std::shared_ptr<dovod::IHardwareDevice>> listed;
  for (auto& device : collections()) listed.push_back(std::move(device));
  return listed;
}

std::vector<std::shared_ptr<SimHardwareDevice>> SimHardwareBus::collections() const {
  return endpoint_->collections().current();
}

std::shared_ptr<SimHardwareDevice> SimHardwareBus::keyboard_device() const {
  if (receiver_) return nullptr;
  auto now = collections();
  return now.empty() ? nullptr : now.front();
}

std::shared_ptr<SimHardwareDevice> SimHardwareBus::receiver_device() const {
  if (!receiver_) return nullptr;
  auto now = collections();
  return now.empty() ? nullptr : now.front();
}

void SimHardwareBus::unplug() { take_off(true); }

void SimHardwareBus::leave_for_restart() { take_off(false); }

void SimHardwareBus::take_off(bool power_lost) {
  std::vector<std::shared_ptr<SimHardwareDevice>> gone;
  {
    std::lock_guard<std::mutex> lock(plug_mutex_);
    if (!plugged_) return;
    plugged_ = false;
    gone = endpoint_->collections().take();
  }
  keyboard_->unplugged(power_lost);
  if (receiver_) receiver_->unplugged();
  for (const auto& device : gone) device->mark_removed();
  for (const auto& named : make_collections(true)) {
    std::shared_ptr<dovod::IHardwareDevice> event = named;
    Producer<PlugUnplug>::produce([event](PlugUnplug* s) { s->onUnplug(event); },
                                  "SimHardwareBus::PlugUnplug::onUnplug");
  }
}

void SimHardwareBus::plug() {
  std::vector<std::shared_ptr<SimHardwareDevice>> made;
  {
    std::lock_guard<std::mutex> lock(plug_mutex_);
    if (plugged_) return;
    plugged_ = true;
    made = make_collections(false);
    endpoint_->collections().set(made);
  }
  keyboard_->plugged();
  for (const auto& device : made) {
    std::shared_ptr<dovod::IHardwareDevice> event = device;
    Producer<PlugUnplug>::produce([event](PlugUnplug* s) { s->onPlug(event); }, "SimHardwareBus::PlugUnplug::onPlug");
  }
}

}  // namespace sim
