// The whole update through the Windows transport: the device manager's bus is Win32Bus, unchanged
// but for its system object, the stand-in, whose table lists the receiver's short-report and
// long-report collections; each opens a real overlapped pipe that a SimPipeWire serves from the
// simulated receiver. Behind a receiver the keyboard's restarts are link changes that the receiver
// reports in its own reports: the receiver stays plugged in, so Windows announces nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "HidInterface.h"
#include "LibraryUpdater.h"
#include "RunLoopHost.h"
#include "ScriptedWin32System.h"
#include "SimPipeWire.h"
#include "Source/Windows/Win32Bus.h"
#include "dovod/CDovod.h"
#include "dovod/HardwareBusFactory.h"
#include "dovod/MakerValues.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "protocol/DeviceTuning.h"
#include "sim/Scenario.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimHardwareDevice.h"
#include "sim/SimKeyboard.h"

namespace dovod::test {
namespace {

class StandInWin32Bus : public Win32Bus {
 public:
  StandInWin32Bus(const std::shared_ptr<IDeviceManager>& manager, std::shared_ptr<ScriptedWin32System> system)
      : Win32Bus(manager), system_(std::move(system)) {}

 protected:
  std::shared_ptr<IWin32System> makeWin32System() override { return system_; }

 private:
  const std::shared_ptr<ScriptedWin32System> system_;
};

int count_of(const std::vector<std::string>& milestones, const std::string& m) {
  return static_cast<int>(std::count(milestones.begin(), milestones.end(), m));
}

class Win32Update : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::use_fast_device_timing();
    CDovod::instance().reset_for_testing();
  }
  void TearDown() override {
    updater.reset();
    CDovod::instance().reset();
    set_hardware_bus_factory({});
    wires.clear();
    set_device_tuning(DeviceTuning{});
  }

  // Runs the update with the keyboard behind the first receiver of the maker's table, whose two
  // collections are rows of the stand-in; false when it hung.
  bool run(sim::Scenario scenario) {
    scenario.receiver = sim::ReceiverSetup{};
    scenario.collections = sim::Collections::ShortAndLong;
    sim::Scenario fast = scenario.scaled(0.01);
    // A reply later than this counts as lost. Nothing is lost in this update, so the margin costs
    // nothing, and a busy machine under Wine needs it: 300 ms was once exceeded on two loaded cores.
    fast.timing.command_timeout_ms = 2000;
    keyboard_bus = sim::SimHardwareBus::create(fast);
    const unsigned receiver_pid = maker::kReceivers[0].pid;
    for (const auto& collection : keyboard_bus->collections()) {
      const bool short_reports = collection->report_length() == sim::kShortReportLength;
      const HidInterface row =
          short_reports ? maker_collection(maker::kVendorId, receiver_pid, 1, sim::kShortReportLength,
                                           sim::kShortReportId, 2, 1, L"Vorn Receiver")
                        : maker_collection(maker::kVendorId, receiver_pid, 2, sim::kLongReportLength,
                                           sim::kLongReportId, 2, 2, L"Vorn Receiver");
      auto wire = std::make_shared<SimPipeWire>(collection);
      if (!wire->start()) return false;
      system->add_interface(row, wire);
      wires.push_back(wire);
    }
    set_hardware_bus_factory([system = system](const std::shared_ptr<IDeviceManager>& manager) {
      auto bus = std::make_shared<StandInWin32Bus>(manager, system);
      bus->init();
      return bus;
    });
    updater = std::make_unique<testing::LibraryUpdater>();
    CDovod::instance().config_set(IDeviceManager::tandem_active, true);
    return updater->run_to_end(host);
  }

  Vs2003SingletonThreadCleanup guard;
  testing::RunLoopHost host;
  const std::shared_ptr<ScriptedWin32System> system = std::make_shared<ScriptedWin32System>();
  std::shared_ptr<sim::SimHardwareBus> keyboard_bus;
  std::vector<std::shared_ptr<SimPipeWire>> wires;
  std::unique_ptr<testing::LibraryUpdater> updater;
};

TEST_F(Win32Update, TheKeyboardBehindItsReceiverIsUpdatedThroughWin32DevicesAcrossItsRestarts) {
  ASSERT_TRUE(run(*sim::find_scenario("normal"))) << ::testing::PrintToString(updater->milestones());
  const auto& m = updater->milestones();
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(m);
  EXPECT_EQ(m[1], "application 5.1.16");
  EXPECT_EQ(m.back(), "application 5.1.17");
  EXPECT_EQ(updater->progress(), 183824u);
  EXPECT_EQ(keyboard_bus->keyboard()->application_version(), (sim::FirmwareVersion{0x0501, 0x0017}));
  // The paired keyboard, behind the receiver's two collections joined into one device.
  EXPECT_EQ(updater->device()->bus_type(), 1);
  EXPECT_EQ(updater->firmware_changes(), 2) << ::testing::PrintToString(m);
  EXPECT_EQ(count_of(m, "removal"), 0) << ::testing::PrintToString(m);
  // Both collections carried reports: the short requests and the long image packets.
  for (const auto& wire : wires) EXPECT_FALSE(wire->written().empty());
  EXPECT_EQ(system->preparsed_outstanding(), 0);
}

}  // namespace
}  // namespace dovod::test
