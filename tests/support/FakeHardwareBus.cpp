#include "FakeHardwareBus.h"

#include <algorithm>

#include "dovod/LastError.h"

namespace dovod::testing {

std::shared_ptr<FakeHardwareBus> FakeHardwareBus::create() {
  auto bus = std::make_shared<FakeHardwareBus>();
  bus->attach_self(bus);
  return bus;
}

std::vector<std::shared_ptr<IHardwareDevice>> FakeHardwareBus::devices() {
  ++enumerations;
  std::lock_guard<std::mutex> lock(mutex_);
  if (failures_left_ != 0) {
    if (failures_left_ > 0) --failures_left_;
    set_last_error(ErrorCode::NotPresent, 0, "fake enumeration failure");
    return {};
  }
  clear_last_error();
  return {devices_.begin(), devices_.end()};
}

std::vector<std::shared_ptr<IHardwareSecondaryBus>> FakeHardwareBus::secondary_busses() {
  std::lock_guard<std::mutex> lock(mutex_);
  return secondaries_;
}

void FakeHardwareBus::persistent_data_directory(std::string directory) {
  std::lock_guard<std::mutex> lock(mutex_);
  persistent_dir_ = std::move(directory);
}

std::string FakeHardwareBus::last_persistent_dir() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return persistent_dir_;
}

std::shared_ptr<FakeHardwareDevice> FakeHardwareBus::Make(const std::string& path, unsigned pid, int bus_type) {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::make_shared<FakeHardwareDevice>(path, pid, FakeHardwareDevice::Answering::Inline, bus_type, self_);
}

std::shared_ptr<FakeHardwareDevice> FakeHardwareBus::AddPresent(const std::string& path, unsigned pid, int bus_type) {
  auto device = Make(path, pid, bus_type);
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.push_back(device);
  return device;
}

void FakeHardwareBus::AddPresent(const std::shared_ptr<FakeHardwareDevice>& device) {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_.push_back(device);
}

std::shared_ptr<FakeHardwareDevice> FakeHardwareBus::MakePiece(const std::string& path, unsigned pid,
                                                               FakeHardwareDevice::Piece piece) {
  auto device = Make(path, pid);
  device->set_piece(std::move(piece));
  return device;
}

std::shared_ptr<FakeHardwareDevice> FakeHardwareBus::SimulatePlug(const std::string& path, unsigned pid, int bus_type) {
  auto device = Make(path, pid, bus_type);
  SimulatePlug(device);
  return device;
}

void FakeHardwareBus::SimulatePlug(const std::shared_ptr<FakeHardwareDevice>& device) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.push_back(device);
  }
  Producer<IHardwareBus::PlugUnplug>::produce(
      [device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); }, "FakeHardwareBus::PlugUnplug::onPlug");
}

void FakeHardwareBus::SimulateUnplug(const std::string& path) {
  std::shared_ptr<IHardwareDevice> gone;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d->path() == path; });
    if (it == devices_.end()) return;
    gone = (*it)->fresh_copy();
    devices_.erase(it);
  }
  Producer<IHardwareBus::PlugUnplug>::produce(
      [gone](IHardwareBus::PlugUnplug* s) { s->onUnplug(gone); }, "FakeHardwareBus::PlugUnplug::onUnplug");
}

void FakeHardwareBus::SimulatePowerChange(bool standBy) {
  Producer<IHardwareBus::PlugUnplug>::produce(
      [standBy](IHardwareBus::PlugUnplug* s) { s->onPowerChange(standBy); },
      "FakeHardwareBus::PlugUnplug::onPowerChange");
}

void FakeHardwareBus::FailEnumeration(int times) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_left_ = times;
}

void FakeHardwareBus::AddSecondary(std::shared_ptr<IHardwareSecondaryBus> bus) {
  std::lock_guard<std::mutex> lock(mutex_);
  secondaries_.push_back(std::move(bus));
}

}  // namespace dovod::testing
