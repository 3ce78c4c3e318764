#include "FakeHardware.h"

#include <algorithm>

#include "dovod/LastError.h"

namespace dovod::testing {

FakeHardwareDevice::FakeHardwareDevice(std::string path, unsigned pid, int bus_type, std::weak_ptr<IHardwareBus> bus)
    : path_(std::move(path)), pid_(pid), bus_type_(bus_type), bus_(std::move(bus)) {}

bool FakeHardwareDevice::open() {
  ++opens;
  return !open_fails;
}

bool FakeHardwareDevice::write(Bytes report, bool blocking) {
  {
    std::lock_guard<std::mutex> lock(written_mutex_);
    written_.push_back(report);
  }
  if (write_fails) {
    Producer<IHardwareDevice::Write>::produce(
        [](IHardwareDevice::Write* s) { s->onWrite({}, ErrorCode::WriteFailed, 0); }, "FakeHardwareDevice::Write::onWrite");
    set_last_error(ErrorCode::WriteFailed);
    return false;
  }
  Producer<IHardwareDevice::Write>::produce(
      [report](IHardwareDevice::Write* s) { s->onWrite(report, ErrorCode::None, 0); }, "FakeHardwareDevice::Write::onWrite");
  return true;
}

bool FakeHardwareDevice::verify_connection_following_timeout() {
  ++verifications;
  return verify_answer;
}

bool FakeHardwareDevice::on_subscribe(Subscriber<IHardwareDevice::Read>*) {
  if (!refuse_subscriptions) return true;
  set_last_error(ErrorCode::NotPresent, 0, "fake subscription refused");
  return false;
}

bool FakeHardwareDevice::on_subscribe(Subscriber<IHardwareDevice::Write>*) {
  if (!refuse_subscriptions) return true;
  set_last_error(ErrorCode::NotPresent, 0, "fake subscription refused");
  return false;
}

void FakeHardwareDevice::SimulateRead(Bytes report, unsigned error) {
  const auto length = static_cast<unsigned>(report.size());
  Producer<IHardwareDevice::Read>::produce(
      [report, error, length](IHardwareDevice::Read* s) { s->onRead(report, false, error, length); },
      "FakeHardwareDevice::Read::onRead");
}

std::vector<Bytes> FakeHardwareDevice::written() const {
  std::lock_guard<std::mutex> lock(written_mutex_);
  return written_;
}

std::shared_ptr<FakeHardwareDevice> FakeHardwareDevice::fresh_copy() const {
  auto copy = std::make_shared<FakeHardwareDevice>(path_, pid_, bus_type_, bus_);
  copy->set_piece(piece_);
  return copy;
}

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
  return std::make_shared<FakeHardwareDevice>(path, pid, bus_type, self_);
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
