// The whole update through the hidraw transport: the device manager's bus is the hidraw bus,
// unchanged, whose nodes are socket pairs with the simulated keyboard at their far end.

#include <gtest/gtest.h>

#include <memory>

#include "LibraryUpdater.h"
#include "RunLoopHost.h"
#include "ScriptedDeviceSource.h"
#include "SimHidrawWire.h"
#include "Source/Linux/HidrawBus.h"
#include "dovod/CDovod.h"
#include "dovod/HardwareBusFactory.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "protocol/DeviceTuning.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimKeyboard.h"

namespace dovod::test {
namespace {

class HidrawUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::use_fast_device_timing();
    CDovod::instance().reset_for_testing();
  }
  void TearDown() override {
    updater.reset();
    CDovod::instance().reset();
    set_hardware_bus_factory({});
    wire.reset();
    set_device_tuning(DeviceTuning{});
  }

  bool run(const std::string& scenario_name) {
    auto scenario = sim::find_scenario(scenario_name);
    if (!scenario) return false;
    keyboard_bus = sim::SimHardwareBus::create(scenario->scaled(0.01));
    auto source = std::make_shared<ScriptedDeviceSource>();
    wire = std::make_shared<SimHidrawWire>(keyboard_bus, source);
    if (!wire->start()) return false;
    auto hidraw = std::make_shared<HidrawBus>(source, wire);
    set_hardware_bus_factory([hidraw](const std::shared_ptr<IDeviceManager>&) { return hidraw; });

    updater = std::make_unique<testing::LibraryUpdater>();
    return updater->run_to_end(host);
  }

  Vs2003SingletonThreadCleanup guard;
  testing::RunLoopHost host;
  std::shared_ptr<sim::SimHardwareBus> keyboard_bus;
  std::shared_ptr<SimHidrawWire> wire;
  std::unique_ptr<testing::LibraryUpdater> updater;
};

TEST_F(HidrawUpdate, TheKeyboardIsUpdatedThroughHidrawNodesAcrossItsRestarts) {
  ASSERT_TRUE(run("normal")) << ::testing::PrintToString(updater->milestones());
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(updater->milestones());
  EXPECT_EQ(updater->milestones()[1], "application 5.1.16");
  EXPECT_EQ(updater->milestones().back(), "application 5.1.17");
  EXPECT_EQ(updater->progress(), 183824u);
  EXPECT_EQ(keyboard_bus->keyboard()->application_version(), (sim::FirmwareVersion{0x0501, 0x0017}));
}

}  // namespace
}  // namespace dovod::test
