#include "sim/SimHardwareBus.h"

#include "sim/SimHardwareDevice.h"
#include "sim/SimKeyboard.h"

namespace sim {

std::shared_ptr<SimHardwareBus> SimHardwareBus::create(const Scenario& scenario) {
  auto bus = std::make_shared<SimHardwareBus>(scenario);
  bus->keyboard_->set_bus(bus);
  auto device = std::make_shared<SimHardwareDevice>(bus->keyboard_, bus, kKeyboardPath);
  bus->keyboard_->attach(device);
  bus->device_ = device;
  return bus;
}

SimHardwareBus::SimHardwareBus(const Scenario& scenario) : keyboard_(std::make_shared<SimKeyboard>(scenario)) {}

SimHardwareBus::~SimHardwareBus() { keyboard_->detach(); }

std::vector<std::shared_ptr<dovod::IHardwareDevice>> SimHardwareBus::devices() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!device_) return {};
  return {device_};
}

std::shared_ptr<SimHardwareDevice> SimHardwareBus::keyboard_device() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return device_;
}

void SimHardwareBus::unplug() {
  std::shared_ptr<SimHardwareDevice> gone;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    gone = std::move(device_);
  }
  if (!gone) return;
  keyboard_->unplugged();
  keyboard_->detach();
  gone->mark_removed();
  auto named = std::make_shared<SimHardwareDevice>(keyboard_, weak_from_this(), kKeyboardPath);
  named->mark_removed();
  std::shared_ptr<dovod::IHardwareDevice> event = named;
  Producer<PlugUnplug>::produce([event](PlugUnplug* s) { s->onUnplug(event); }, "SimHardwareBus::PlugUnplug::onUnplug");
}

void SimHardwareBus::plug() {
  auto device = std::make_shared<SimHardwareDevice>(keyboard_, weak_from_this(), kKeyboardPath);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (device_) return;
    device_ = device;
  }
  keyboard_->attach(device);
  keyboard_->plugged();
  std::shared_ptr<dovod::IHardwareDevice> event = device;
  Producer<PlugUnplug>::produce([event](PlugUnplug* s) { s->onPlug(event); }, "SimHardwareBus::PlugUnplug::onPlug");
}

}  // namespace sim
