#include "Source/TandemDevice.h"

#include "Source/TandemBus.h"
#include "Source/TandemLog.h"
#include "dovod/LastError.h"

namespace dovod {
namespace {

std::atomic<int> instances{0};

std::string path_for(const std::shared_ptr<TandemBus>& bus, int slot) {
  const auto receiver = bus ? bus->hardware_device() : nullptr;
  return (receiver ? receiver->path() : std::string()) + ":" + std::to_string(slot);
}

}  // namespace

TandemDevice::TandemDevice(const std::shared_ptr<TandemBus>& bus, int slot, unsigned pid, bool connected)
    : bus_(bus), slot_(slot), pid_(pid), path_(path_for(bus, slot)), connected_(connected) {
  const int now = ++instances;
  TD_LOG(LOG_DEBUG, "TandemDevice", "TandemDevice::TandemDevice(qid = %04x). Number of instances now: %d", pid_, now);
}

TandemDevice::~TandemDevice() {
  const int now = --instances;
  TD_LOG(LOG_DEBUG, "~TandemDevice", "TandemDevice::~TandemDevice(qid = %04x). Number of instances now: %d", pid_, now);
}

std::shared_ptr<TandemBus> TandemDevice::lock_bus(const char* where) {
  auto bus = bus_.lock();
  if (!bus) {
    TD_LOG(LOG_ERROR, "lock_bus", "TandemDevice::%s() device removed!", where);
    set_last_error(ErrorCode::DeviceRemoved);
  }
  return bus;
}

std::shared_ptr<IHardwareBus> TandemDevice::bus() { return bus_.lock(); }

bool TandemDevice::write(Bytes report, bool blocking) {
  if (report.size() > 1) report[1] = static_cast<Byte>(slot_ + 1);
  auto bus = lock_bus("write");
  if (!bus) return false;
  if (!connected_) {
    TD_LOG(LOG_ERROR, "write", "TandemDevice::write() not connected!");
    set_last_error(ErrorCode::NotConnected);
    return false;
  }
  disconnected_since_write_ = false;
  if (!bus->sendCommand(report, blocking)) {
    TD_LOG(LOG_ERROR, "write", "TandemDevice::write() sbus->sendCommand failed!");
    return false;
  }
  return true;
}

std::string TandemDevice::product_name() {
  std::lock_guard<std::mutex> lock(name_mutex_);
  if (name_read_) return name_;
  auto bus = lock_bus("product_name");
  if (!bus) return {};
  name_ = bus->devname(slot_);
  name_read_ = !name_.empty();
  return name_;
}

int TandemDevice::receiver_detail() {
  auto bus = bus_.lock();
  const auto receiver = bus ? bus->hardware_device() : nullptr;
  return receiver ? receiver->receiver_detail() : 0;
}

bool TandemDevice::verify_connection_following_timeout() {
  TD_LOG(LOG_INFO, "verify_connection_following_timeout", "TandemDevice::verify_connection_following_timeout() enter");
  if (disconnected_since_write_) {
    TD_LOG(LOG_INFO, "verify_connection_following_timeout",
           "TandemDevice::verify_connection_following_timeout() exit, returning false (disconnected since last write)");
    return false;
  }
  TD_LOG(LOG_INFO, "verify_connection_following_timeout",
         "TandemDevice::verify_connection_following_timeout() exit, returning true");
  return true;
}

int TandemDevice::command_timeout_ms() {
  const std::shared_ptr<TandemBus> bus = bus_.lock();
  const std::shared_ptr<IHardwareDevice> receiver = bus ? bus->hardware_device() : nullptr;
  return receiver ? receiver->command_timeout_ms() : IHardwareDevice::command_timeout_ms();
}

bool TandemDevice::set_software_present() {
  auto bus = lock_bus("set_software_present");
  return bus && bus->set_software_present();
}

bool TandemDevice::set_configuration_complete() {
  auto bus = lock_bus("set_configuration_complete");
  return bus && bus->set_configuration_complete(slot_);
}

void TandemDevice::release_receiver() {
  if (auto bus = lock_bus("release_receiver")) bus->shutdown();
}

void TandemDevice::processConnect() {
  connected_ = true;
  auto self = weak_from_this().lock();
  if (!self) {
    TD_LOG(LOG_INFO, "processConnect", "   -- not producing IHardwareDevice::Connect::onConnect(), no from_this");
    return;
  }
  TD_LOG(LOG_INFO, "processConnect", "-connect- qid %04x producing IHardwareDevice::onConnect()", pid_);
  Producer<IHardwareDevice::Connect>::produce([self](IHardwareDevice::Connect* s) { s->onConnect(self); },
                                              "TandemDevice::Connect::onConnect");
}

void TandemDevice::processDisconnect() {
  connected_ = false;
  disconnected_since_write_ = true;
  auto self = weak_from_this().lock();
  if (!self) {
    TD_LOG(LOG_INFO, "processDisconnect", "   -- not producing IHardwareDevice::Connect::onDisconnect(), no from_this");
    return;
  }
  TD_LOG(LOG_INFO, "processDisconnect", "   -- producing IHardwareDevice::Connect::onDisconnect()");
  Producer<IHardwareDevice::Connect>::produce([self](IHardwareDevice::Connect* s) { s->onDisconnect(self); },
                                              "TandemDevice::Connect::onDisconnect");
}

void TandemDevice::deliver_read(const Bytes& report, unsigned error, unsigned length) {
  Producer<IHardwareDevice::Read>::produce(
      [report, error, length](IHardwareDevice::Read* s) { s->onRead(report, true, error, length); },
      "TandemDevice::Read::onRead");
}

void TandemDevice::deliver_write(const Bytes& report, ErrorCode error, unsigned system_error) {
  Producer<IHardwareDevice::Write>::produce(
      [report, error, system_error](IHardwareDevice::Write* s) { s->onWrite(report, error, system_error); },
      "TandemDevice::Write::onWrite");
}

bool TandemDevice::on_subscribe(Subscriber<IHardwareDevice::Write>*) {
  auto bus = lock_bus("on_subscribe");
  return bus && bus->subscribe_receiver_writes();
}

}  // namespace dovod
