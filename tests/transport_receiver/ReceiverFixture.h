#pragma once
// A receiver bus over the fake receiver hardware, with a device manager behind the facade (the bus
// reports errors and queues its register-0 reaction through it) and logs of what the bus produces.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeReceiverHardware.h"
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

  std::shared_ptr<FakeReceiverHardware> hw = std::make_shared<FakeReceiverHardware>(kReceiverPid, kReceiverType);
  std::shared_ptr<TandemBus> bus;
  std::unique_ptr<PlugLog> plugs;
  RunLoopHost host;
};

}  // namespace dovod::testing
