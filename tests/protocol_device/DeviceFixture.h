#pragma once
// A Device over a fake hardware device that answers with a keyboard's firmware from its own thread,
// inside a device manager that the test pumps as a host does, with the device's delays scaled down
// to milliseconds.

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHardwareDevice.h"
#include "KeyboardFirmware.h"
#include "ProtocolReplies.h"
#include "RunLoopHost.h"
#include "core/DeviceManager.h"
#include "dovod/CDovod.h"
#include "dovod/IDevice.h"
#include "dovod/LastError.h"
#include "protocol/Device.h"
#include "protocol/DeviceTuning.h"

namespace dovod::testing {

class ConnectLog : public Subscriber<IDevice::Connect> {
 public:
  void onConnect(std::shared_ptr<IDevice>, bool settings_retained) override { connects.push_back(settings_retained); }
  void onDisconnect(std::shared_ptr<IDevice>) override { ++disconnects; }
  void onFirmwareChanged(std::shared_ptr<IDevice>) override { ++firmware_changes; }
  void reset() {
    connects.clear();
    disconnects = 0;
    firmware_changes = 0;
  }
  std::vector<bool> connects;
  int disconnects = 0;
  int firmware_changes = 0;
};

class ConfigLog : public Subscriber<IDevice::ConfigChange> {
 public:
  void onConfigChange() override { ++changes; }
  int changes = 0;
};

// Direct delivery: records on the thread that reported the outcome.
class WriteLog : public Subscriber<IDevice::WriteReport> {
 public:
  void onWriteReport(const Bytes& report, ErrorCode error, unsigned third) override {
    std::lock_guard<std::mutex> lock(mutex);
    if (report.empty()) failures.emplace_back(error, third);
  }
  std::vector<std::pair<ErrorCode, unsigned>> snapshot() {
    std::lock_guard<std::mutex> lock(mutex);
    return failures;
  }
  std::mutex mutex;
  std::vector<std::pair<ErrorCode, unsigned>> failures;
};

// Requests written for a feature index and function (the ping is index 0, function 1).
inline int count_writes(const FakeHardwareDevice& hw, Byte index, int function) {
  const std::vector<Bytes> written = hw.written();
  return static_cast<int>(std::count_if(written.begin(), written.end(), [&](const Bytes& w) {
    return w.size() > 3 && w[2] == index && (w[3] >> 4) == function;
  }));
}

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDovod::instance().reset_for_testing();
    ASSERT_TRUE(host.attach());
    manager = CDovod::instance().getimpl();
    ASSERT_TRUE(manager);
    manager->swid(kSwid);
    DeviceTuning tuning;
    tuning.ping_jitter_ms = 1;
    tuning.ping_backoff_base_ms = 0;
    tuning.reconnect_window_ms = 60;
    tuning.fw_check_delay_ms = 80;
    tuning.deactivation_delay_ms = 30;
    tuning.cache_write_delay_ms = 30;
    set_device_tuning(tuning);
  }

  void TearDown() override {
    devices.clear();
    CDovod::instance().reset_for_testing();
    set_device_tuning(DeviceTuning{});
    set_device_rand(nullptr);
  }

  // A hardware device that answers with `keyboard`'s replies from its own thread.
  static std::shared_ptr<FakeHardwareDevice> carrying(
      std::shared_ptr<KeyboardFirmware> keyboard = std::make_shared<KeyboardFirmware>(), int bus_type = 0,
      std::string path = "scripted-device") {
    auto hw = std::make_shared<FakeHardwareDevice>(std::move(path), 0xB3F1, FakeHardwareDevice::Answering::Threaded,
                                                   bus_type);
    hw->set_product_name("Scripted");
    hw->timeout_ms = 40;
    hw->set_answer([keyboard](const Bytes& request) { return keyboard->respond(request); });
    return hw;
  }

  std::shared_ptr<Device> make(const std::shared_ptr<FakeHardwareDevice>& hw) {
    auto device = std::make_shared<Device>(manager, hw);
    device->initDevice(manager);
    devices.push_back(device);
    return device;
  }

  // A device whose root and firmware identity are loaded.
  std::shared_ptr<Device> make_loaded(const std::shared_ptr<FakeHardwareDevice>& hw) {
    auto device = make(hw);
    EXPECT_TRUE(device->feature_by_id(0x0000)) << to_int(last_error().code);
    return device;
  }

  // A request for the feature at `index`, function `function`, with our software id.
  static Bytes request(Byte index, int function, Bytes params = {}) {
    Bytes r{0x10, 0xFF, index, static_cast<Byte>(function << 4 | kSwid)};
    r.insert(r.end(), params.begin(), params.end());
    while (r.size() < 7) r.push_back(0);
    return r;
  }

  static constexpr int kSwid = 0x0B;
  RunLoopHost host;
  std::shared_ptr<DeviceManager> manager;
  std::vector<std::shared_ptr<Device>> devices;
};

}  // namespace dovod::testing
