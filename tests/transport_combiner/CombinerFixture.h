#pragma once
// A combiner bus over a fake HID bus, with the facade's run loop pumped by the test and a log of
// what the combiner announces.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeHardwareBus.h"
#include "RunLoopHost.h"
#include "Source/CombinerBus.h"
#include "dovod/CDovod.h"
#include "dovod/MakerValues.h"

namespace dovod::testing {

// Every announcement of a bus as "+path" (plug), "-path" (unplug) or "power=0/1".
class PlugLog : public Subscriber<IHardwareBus::PlugUnplug> {
 public:
  void onPlug(std::shared_ptr<IHardwareDevice> device) override {
    events.push_back("+" + device->path());
    plugged.push_back(device);
  }
  void onUnplug(std::shared_ptr<IHardwareDevice> device) override { events.push_back("-" + device->path()); }
  void onPowerChange(bool standBy) override { events.push_back(standBy ? "power=1" : "power=0"); }

  std::vector<std::string> events;
  std::vector<std::shared_ptr<IHardwareDevice>> plugged;
};

class ErrorLog : public Subscriber<IDeviceManager::UnreportedError> {
 public:
  void onUnreportedError(const char* where, ErrorCode code, const char*, unsigned long) override {
    errors.push_back(std::string(where ? where : "") + "/" + std::to_string(to_int(code)));
  }
  std::vector<std::string> errors;
};

// The usual pair: a short-report and a long-report collection of one parent device.
inline FakeHardwareDevice::Piece short_piece(const std::string& key) { return {key, 1, 3, 7}; }
inline FakeHardwareDevice::Piece long_piece(const std::string& key) { return {key, 2, 3, 20}; }

class CombinerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CDovod::instance().reset_for_testing();
    ASSERT_TRUE(host.attach());
    ASSERT_TRUE(errors.subscribe(manager(), RunLoop));
    combiner = std::make_shared<CombinerBus>(manager(), fake);
    ASSERT_TRUE(log.subscribe(combiner, RunLoop));
  }

  void TearDown() override { CDovod::instance().reset_for_testing(); }

  static std::shared_ptr<IDeviceManager> manager() { return CDovod::instance(); }

  std::shared_ptr<FakeHardwareDevice> plug(const std::string& path, FakeHardwareDevice::Piece piece) {
    auto device = fake->MakePiece(path, maker::kKeyboardPid, std::move(piece));
    fake->SimulatePlug(device);
    host.pump();
    return device;
  }

  void unplug(const std::string& path) {
    fake->SimulateUnplug(path);
    host.pump();
  }

  RunLoopHost host;
  ErrorLog errors;
  std::shared_ptr<FakeHardwareBus> fake = FakeHardwareBus::create();
  std::shared_ptr<CombinerBus> combiner;
  PlugLog log;
};

}  // namespace dovod::testing
