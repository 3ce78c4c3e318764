#include "SimHidrawWire.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "HidDescriptors.h"
#include "dovod/MakerValues.h"
#include "sim/SimHardwareDevice.h"

namespace dovod::test {
namespace {

// The node as udev would report the keyboard's: the bus opens only nodes of known products.
HidrawNode keyboard_node() {
  return {SimHidrawWire::kNode, "sim-keyboard", static_cast<std::uint16_t>(maker::kVendorId),
          static_cast<std::uint16_t>(maker::kKeyboardPid)};
}

}  // namespace

SimHidrawWire::SimHidrawWire(std::shared_ptr<sim::SimHardwareBus> keyboard_bus,
                             std::shared_ptr<ScriptedDeviceSource> source)
    : keyboard_bus_(std::move(keyboard_bus)), source_(std::move(source)) {
  if (::pipe(stop_) < 0) stop_[0] = stop_[1] = -1;
}

SimHidrawWire::~SimHidrawWire() {
  if (keyboard_) {
    Subscriber<IHardwareDevice::Read>::unsubscribe(keyboard_);
    Subscriber<IHardwareDevice::Connect>::unsubscribe(keyboard_);
  }
  (void)!::write(stop_[1], "x", 1);
  for (std::thread& t : carriers_) t.join();
  for (int fd : ends_) ::close(fd);
  ::close(stop_[0]);
  ::close(stop_[1]);
}

bool SimHidrawWire::start() {
  keyboard_ = keyboard_bus_->keyboard_device();
  if (!keyboard_ || !keyboard_->open()) return false;
  if (!Subscriber<IHardwareDevice::Read>::subscribe(keyboard_, Direct)) return false;
  if (!Subscriber<IHardwareDevice::Connect>::subscribe(keyboard_, Direct)) return false;
  source_->plug(keyboard_node());
  return true;
}

int SimHidrawWire::open_node(const std::string&) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) < 0) return -1;
  std::lock_guard<std::mutex> lock(mutex_);
  open_ends_.push_back(ends[1]);
  ends_.push_back(ends[1]);
  carriers_.emplace_back([this, fd = ends[1], stop = stop_[0]] { carry_requests(fd, stop); });
  return ends[0];
}

void SimHidrawWire::carry_requests(int firmware_end, int stop) {
  Byte buffer[64];
  for (;;) {
    pollfd fds[2] = {{firmware_end, POLLIN, 0}, {stop, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 || fds[1].revents) return;
    const ssize_t got = ::recv(firmware_end, buffer, sizeof(buffer), 0);
    if (got <= 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      std::erase(open_ends_, firmware_end);
      return;
    }
    keyboard_->write(Bytes(buffer, buffer + got), false);
  }
}

bool SimHidrawWire::raw_info(int, HidrawInfo& info) {
  info = {3, static_cast<std::uint16_t>(maker::kVendorId), static_cast<std::uint16_t>(maker::kKeyboardPid)};
  return true;
}

bool SimHidrawWire::report_descriptor(int, Bytes& descriptor) {
  descriptor = test_descriptors::maker_receiver_descriptor();
  return true;
}

bool SimHidrawWire::raw_name(int, std::string& name) {
  name = "Simulated keyboard";
  return true;
}

void SimHidrawWire::onRead(Bytes report, bool, unsigned, unsigned) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int fd : open_ends_) ::send(fd, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

void SimHidrawWire::onDisconnect(std::shared_ptr<IHardwareDevice>) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : open_ends_) ::shutdown(fd, SHUT_RDWR);
    open_ends_.clear();
  }
  source_->unplug(kNode);
}

void SimHidrawWire::onConnect(std::shared_ptr<IHardwareDevice>) { source_->plug(keyboard_node()); }

}  // namespace dovod::test
