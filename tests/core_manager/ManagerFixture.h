#pragma once
// A device manager behind the facade, fed by fake buses and driven through the run loop the way a
// host drives it.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHardwareBus.h"
#include "RunLoopHost.h"
#include "core/DeviceFactory.h"
#include "core/DeviceManager.h"
#include "dovod/CDovod.h"
#include "dovod/HardwareBusFactory.h"
#include "dovod/IDevice.h"
#include "dovod/MakerValues.h"
#include "protocol/Device.h"

namespace dovod::testing {

inline constexpr unsigned kKeyboard = maker::kKeyboardPid;

// A receiver: a device that is also the bus of its paired devices.
class FakeReceiver : public Device, public FakeHardwareBus {
 public:
  FakeReceiver(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hwdev,
               maker::ReceiverRow row)
      : Device(std::move(manager), std::move(hwdev)), row(row) {}

  void uninitDevice() override {
    ++uninits;
    Device::uninitDevice();
  }
  void shutdown() override { ++shutdowns; }
  void confirm_configuration() override { ++confirmations; }

  const maker::ReceiverRow row;
  int uninits = 0;
  int shutdowns = 0;
  int confirmations = 0;
};

class ArrivalLog : public Subscriber<IDeviceManager::ArrivalRemoval> {
 public:
  void onDeviceArrival(std::shared_ptr<IDevice> device) override { arrived.push_back(device); }
  void onDeviceRemoval(std::shared_ptr<IDevice> device) override { removed.push_back(device); }
  std::vector<std::shared_ptr<IDevice>> arrived;
  std::vector<std::shared_ptr<IDevice>> removed;
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

class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDovod::instance().reset_for_testing();
    set_hardware_bus_factory([this](const std::shared_ptr<IDeviceManager>&) {
      ++buses_made;
      return std::shared_ptr<IHardwareBus>(bus);
    });
    set_receiver_bus_factory([this](const std::shared_ptr<IDeviceManager>& manager,
                                    const std::shared_ptr<IHardwareDevice>& hwdev, const maker::ReceiverRow& row) {
      auto receiver = std::make_shared<FakeReceiver>(manager, hwdev, row);
      receiver->attach_self(receiver);
      prepare_receiver(*receiver);
      receivers.push_back(receiver);
      return std::shared_ptr<IDevice>(receiver);
    });
    ASSERT_TRUE(host.attach());
  }

  void TearDown() override {
    CDovod::instance().reset_for_testing();
    set_hardware_bus_factory(nullptr);
    set_receiver_bus_factory(nullptr);
  }

  // Called for every receiver bus before the device manager adds it.
  std::function<void(FakeReceiver&)> prepare_receiver = [](FakeReceiver&) {};

  static std::shared_ptr<IDeviceManager> manager() { return CDovod::instance(); }
  static std::shared_ptr<DeviceManager> impl() { return CDovod::instance().getimpl(); }
  static void configure(unsigned item, bool value) { ASSERT_TRUE(CDovod::instance().config_set(item, value)); }

  // Starts the buses by subscribing the arrival log, as the update application does.
  void listen() { ASSERT_TRUE(arrivals.subscribe(manager(), RunLoop)); }

  std::shared_ptr<FakeHardwareBus> bus = FakeHardwareBus::create();
  int buses_made = 0;
  std::vector<std::shared_ptr<FakeReceiver>> receivers;
  RunLoopHost host;
  ArrivalLog arrivals;
};

}  // namespace dovod::testing
