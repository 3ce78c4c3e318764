#pragma once
// A receiver bus over a fake hardware device that answers with a receiver's firmware from its own
// thread, with a device manager behind the facade (the bus reports errors and queues its register-0
// reaction through it) and logs of what the bus produces.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHardwareDevice.h"
#include "ProtocolReplies.h"
#include "ReceiverFirmware.h"
#include "RunLoopHost.h"
#include "Source/TandemBus.h"
#include "Source/TandemDevice.h"
#include "dovod/CDovod.h"
#include "dovod/IDeviceManager.h"
#include "dovod/IHardwareBus.h"
#include "dovod/MakerValues.h"

namespace dovod::testing {

// R1 of the receiver table: type 4, six slots.
constexpr unsigned kReceiverPid = 0xC510;
constexpr int kReceiverType = 4;
constexpr unsigned kKeyboard = 0xB3F1;
constexpr unsigned kMouse = 0x4082;

struct BusEvent {
  bool plug;
  std::string path;
  unsigned pid;
  std::shared_ptr<IHardwareDevice> device;
};

// Records plug and unplug events as they are produced, on whichever thread.
class PlugLog : public Subscriber<IHardwareBus::PlugUnplug> {
 public:
  void onPlug(std::shared_ptr<IHardwareDevice> d) override { add(true, d); }
  void onUnplug(std::shared_ptr<IHardwareDevice> d) override { add(false, d); }
  std::vector<BusEvent> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // "+path/pid" or "-path/pid" per event, in order.
  std::vector<std::string> summary() {
    std::vector<std::string> out;
    for (const auto& e : events()) {
      char pid[8];
      std::snprintf(pid, sizeof pid, "%04x", e.pid);
      out.push_back((e.plug ? "+" : "-") + e.path + "/" + pid);
    }
    return out;
  }

 private:
  void add(bool plug, const std::shared_ptr<IHardwareDevice>& d) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({plug, d->path(), d->pid(), d});
  }
  std::mutex mutex_;
  std::vector<BusEvent> events_;
};

struct ReportedError {
  std::string where;
  ErrorCode code;
  std::string message;
};

class ErrorLog : public Subscriber<IDeviceManager::UnreportedError> {
 public:
  void onUnreportedError(const char* where, ErrorCode code, const char* message, unsigned long) override {
    errors.push_back({where ? where : "", code, message ? message : ""});
  }
  std::vector<ReportedError> errors;
};

class ReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDovod::instance().reset_for_testing();
    ASSERT_TRUE(host.attach());
  }
  void TearDown() override {
    plugs.reset();
    bus.reset();
    CDovod::instance().reset_for_testing();
  }

  static std::shared_ptr<IDeviceManager> manager() { return CDovod::instance(); }

  // The receiver's HID collection, answering with `firmware`'s replies from its own thread.
  static std::shared_ptr<FakeHardwareDevice> carrying(const std::shared_ptr<ReceiverFirmware>& firmware) {
    auto device = std::make_shared<FakeHardwareDevice>("receiver-1", kReceiverPid, FakeHardwareDevice::Answering::Threaded);
    device->set_product_name("Fake receiver");
    device->timeout_ms = 60;
    device->receiver_detail_value = 0x5A;
    device->set_answer([firmware](const Bytes& request) { return firmware->respond(request); });
    return device;
  }

  // A receiver of its own, for one case of a table.
  void fresh_receiver() {
    firmware = std::make_shared<ReceiverFirmware>(kReceiverType);
    hw = carrying(firmware);
  }

  // Writes to the receiver itself with this sub-id and register (and, when given, byte 4).
  int count_requests(Byte sub_id, Byte reg, int byte4 = -1) const {
    int count = 0;
    for (const Bytes& w : hw->written()) {
      if (w.size() >= 7 && w[1] == 0xFF && w[2] == sub_id && w[3] == reg && (byte4 < 0 || w[4] == byte4)) ++count;
    }
    return count;
  }

  // The bus for a receiver of `slots` slots, initialised as the device manager does.
  std::shared_ptr<TandemBus> make_bus(int slots = 6, int type = kReceiverType) {
    bus = std::make_shared<TandemBus>(manager(), hw, type, slots);
    bus->initDevice(manager());
    return bus;
  }

  // Subscribes the plug log directly, which enables the receiver's notifications.
  void listen() {
    plugs = std::make_unique<PlugLog>();
    ASSERT_TRUE(plugs->subscribe(bus, Direct));
  }

  std::shared_ptr<ReceiverFirmware> firmware = std::make_shared<ReceiverFirmware>(kReceiverType);
  std::shared_ptr<FakeHardwareDevice> hw = carrying(firmware);
  std::shared_ptr<TandemBus> bus;
  std::unique_ptr<PlugLog> plugs;
  RunLoopHost host;
};

}  // namespace dovod::testing
