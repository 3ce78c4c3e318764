// Runs inside the test virtual machine, as its only program: makes the keyboard a uhid device of the
// real kernel and checks that the library's unchanged hidraw bus finds it through libudev, talks to
// it both ways through hidraw, and sees it leave. Prints one result line the host looks for.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "HidDescriptors.h"
#include "RunLoopHost.h"
#include "Source/Linux/HidrawSystem.h"
#include "Source/ProtocolCollections.h"
#include "Source/ReportDescriptor.h"
#include "UhidDevice.h"
#include "core/LogTesting.h"
#include "dovod/CDovod.h"
#include "dovod/IDevice.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/MakerValues.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

using namespace dovod;

namespace {

class Arrivals : public Subscriber<IDeviceManager::ArrivalRemoval> {
 public:
  void onDeviceArrival(std::shared_ptr<IDevice> device) override {
    std::lock_guard<std::mutex> lock(mutex_);
    arrived_.push_back(device);
  }
  void onDeviceRemoval(std::shared_ptr<IDevice> device) override {
    std::lock_guard<std::mutex> lock(mutex_);
    removed_.push_back(device->name());
  }
  std::shared_ptr<IDevice> keyboard() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& d : arrived_) {
      if (d->pid() == maker::kKeyboardPid) return d;
    }
    return {};
  }
  bool removed(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& n : removed_) {
      if (n == name) return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<IDevice>> arrived_;
  std::vector<std::string> removed_;
};

class Reads : public Subscriber<IHardwareDevice::Read> {
 public:
  void onRead(Bytes report, bool, unsigned, unsigned) override {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(std::move(report));
  }
  bool got(const Bytes& wanted) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& r : reports_) {
      if (r == wanted) return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<Bytes> reports_;
};

// Prints what the library's checks make of each hidraw node, so that a failing run says why.
void explain_nodes() {
  auto system = make_hidraw_system();
  for (int n = 0; n < 8; ++n) {
    const std::string path = "/dev/hidraw" + std::to_string(n);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    HidrawInfo info;
    Bytes raw;
    const char* failure = "";
    std::printf("%s: info %d", path.c_str(), system->raw_info(fd, info) ? 1 : 0);
    std::printf(" vid %04x pid %04x bus %u", info.vendor_id, info.product_id, info.bus_type);
    std::printf(" descriptor %d (%zu bytes)", system->report_descriptor(fd, raw) ? 1 : 0, raw.size());
    auto parsed = ReportDescriptor::parse(raw, &failure);
    std::printf(" parsed %d %s", parsed ? 1 : 0, parsed ? "" : failure);
    if (parsed) {
      ProtocolRefusal refusal;
      auto protocol = find_protocol_collections(*parsed, info.product_id, refusal);
      std::printf(" protocol %d %s", protocol ? 1 : 0, protocol ? "" : refusal.reason);
    }
    std::printf("\n");
    ::close(fd);
  }
  std::printf("devices known to the library: %zu, last error %d\n", CDovod::instance().devices().size(),
              static_cast<int>(last_error().code));
}

int fail(const char* why) {
  explain_nodes();
  std::printf("VORN-GUEST-RESULT: fail (%s)\n", why);
  std::fflush(stdout);
  return 1;
}

int run() {
  vorn::guest::UhidDevice keyboard;
  // The keyboard answers every request with the request itself and its last byte inverted.
  if (!keyboard.create("Vorn test keyboard", maker::kVendorId, maker::kKeyboardPid,
                       test_descriptors::maker_receiver_descriptor(), [&keyboard](const Bytes& request) {
                         Bytes reply = request;
                         if (!reply.empty()) reply.back() = static_cast<Byte>(~reply.back());
                         keyboard.send_input(reply);
                       })) {
    return fail("uhid refused the keyboard");
  }

  testing::RunLoopHost host;
  Arrivals arrivals;
  if (!host.attach()) return fail("no device manager");
  if (!arrivals.subscribe(std::shared_ptr<IDeviceManager>(CDovod::instance()), Direct)) {
    return fail("cannot follow arrivals");
  }
  // As the application does: directly attached devices are accepted only when asked for.
  CDovod::instance().config_set(IDeviceManager::usb_active, true);
  if (!CDovod::instance().connectToHardwareBusses()) return fail("connectToHardwareBusses");
  if (!host.pump_until([&] { return arrivals.keyboard() != nullptr; })) {
    return fail("the hidraw bus did not find the keyboard");
  }
  std::shared_ptr<IDevice> device = arrivals.keyboard();
  std::shared_ptr<IHardwareDevice> hw = device->hardware_device();
  Reads reads;
  if (!reads.subscribe(hw, Direct)) return fail("cannot follow reads");
  if (!hw->connected() && !hw->open()) return fail("cannot open the hidraw node");

  Bytes request(20, 0);
  request[0] = 0x11;
  request[1] = 0xFF;
  request[3] = 0x1A;
  request[19] = 0x5A;
  Bytes expected = request;
  expected[19] = static_cast<Byte>(~expected[19]);
  if (!hw->write(request, false)) return fail("write through hidraw failed");
  if (!host.pump_until([&] { return reads.got(expected); })) {
    return fail("no reply through hidraw");
  }

  const std::string name = device->name();
  reads.unsubscribe(hw);
  hw.reset();
  device.reset();
  keyboard.destroy();
  if (!host.pump_until([&] { return arrivals.removed(name); })) {
    return fail("the removal was not seen");
  }
  std::printf("VORN-GUEST-RESULT: pass\n");
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main() {
  Vs2003SingletonThreadCleanup guard;
  const int result = run();
  CDovod::instance().reset();
  log_testing::stop();
  return result;
}
