// The whole update through the library with the keyboard behind the simulated receiver: the device
// manager makes the receiver bus, the keyboard is a paired device on it, and each restart is a
// disconnection and connection notification under the same product id.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "LibraryUpdater.h"
#include "RunLoopHost.h"
#include "dovod/CDovod.h"
#include "dovod/IFeature.h"
#include "dovod/IFeature0005DeviceNameType.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "protocol/DeviceTuning.h"
#include "sim/SimKeyboard.h"
#include "sim/SimulatedBus.h"

namespace dovod::testing {
namespace {

// The keyboard's and the receiver's delays run at a hundredth of their real length.
constexpr double kReceiverTimeScale = 0.01;

int count_of(const std::vector<std::string>& milestones, const std::string& m) {
  return static_cast<int>(std::count(milestones.begin(), milestones.end(), m));
}

class ReceiverUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    use_fast_device_timing();
    CDovod::instance().reset_for_testing();
  }

  void TearDown() override {
    updater.reset();
    CDovod::instance().reset();
    sim::uninstall_simulated_bus();
    set_device_tuning(DeviceTuning{});
  }

  // Runs the update with the scenario's keyboard behind a receiver of the first row; false when it
  // hung.
  bool run(sim::Scenario scenario) {
    scenario.receiver = sim::ReceiverSetup{};
    sim::Scenario fast = scenario.scaled(kReceiverTimeScale);
    // A reply later than this counts as lost; sanitizer builds on a busy machine need the margin.
    fast.timing.command_timeout_ms = 300;
    bus = sim::install_simulated_bus(fast);
    updater = std::make_unique<LibraryUpdater>();
    CDovod::instance().config_set(IDeviceManager::tandem_active, true);
    return updater->run_to_end(host);
  }

  Vs2003SingletonThreadCleanup guard;
  RunLoopHost host;
  std::shared_ptr<sim::SimHardwareBus> bus;
  std::unique_ptr<LibraryUpdater> updater;
};

TEST_F(ReceiverUpdate, KeyboardBehindTheReceiverIsUpdatedAcrossTwoRestartsOnOneDevice) {
  ASSERT_TRUE(run(*sim::find_scenario("normal")));
  const auto& m = updater->milestones();
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(m);
  EXPECT_EQ(m[1], "application 5.1.16");
  EXPECT_EQ(m.back(), "application 5.1.17");
  EXPECT_EQ(updater->progress(), 121216u + 62608u);
  EXPECT_EQ(bus->keyboard()->application_version(), (sim::FirmwareVersion{0x0501, 0x0017}));
  EXPECT_EQ(updater->device()->bus_type(), 1);
  EXPECT_EQ(updater->device()->device_index(), 1);
  // Each restart is a disconnection and a connection of the same paired device, never a removal.
  EXPECT_EQ(count_of(m, "removal"), 0) << ::testing::PrintToString(m);
  EXPECT_GE(count_of(m, "disconnect"), 2) << ::testing::PrintToString(m);
  EXPECT_EQ(updater->firmware_changes(), 2) << ::testing::PrintToString(m);
}

// The receiver's short-report and long-report collections come as two hardware devices of one
// parent: the combiner joins them into the one device the receiver bus is made for.
TEST_F(ReceiverUpdate, ReceiverInTwoCollectionsIsCombinedAndItsKeyboardUpdated) {
  sim::Scenario scenario = *sim::find_scenario("normal");
  scenario.collections = sim::Collections::ShortAndLong;
  ASSERT_TRUE(run(scenario));
  const auto& m = updater->milestones();
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(m);
  EXPECT_EQ(m.back(), "application 5.1.17");
  EXPECT_EQ(updater->progress(), 121216u + 62608u);
  EXPECT_EQ(bus->keyboard()->application_version(), (sim::FirmwareVersion{0x0501, 0x0017}));
  EXPECT_EQ(updater->device()->bus_type(), 1);
}

TEST_F(ReceiverUpdate, LostRepliesBehindTheReceiverAreAbsorbedByTheEnginesRetries) {
  ASSERT_TRUE(run(*sim::find_scenario("lost-replies")));
  const auto& m = updater->milestones();
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(m);
  EXPECT_EQ(m.back(), "application 5.1.17");
  EXPECT_EQ(updater->progress(), 121216u + 62608u) << "a packet sent again is counted once";
}

class ConnectionLog : public Subscriber<IDevice::Connect> {
 public:
  void onConnect(std::shared_ptr<IDevice>, bool) override { ++connects; }
  void onDisconnect(std::shared_ptr<IDevice>) override { ++disconnects; }
  int connects = 0;
  int disconnects = 0;
};

// A paired device that stops answering stays in use: the engine keeps asking while the receiver
// reports its link up, and gives up at once when the receiver reported the link down meanwhile.
TEST_F(ReceiverUpdate, SilentPairedDeviceIsKeptUntilTheReceiverReportsItDisconnected) {
  struct Case {
    const char* name;
    sim::FaultKind kind;
    bool answered;
  };
  const Case cases[] = {
      {"silent for three requests, link up", sim::FaultKind::LoseReply, true},
      {"link lost as the request arrives", sim::FaultKind::Disconnect, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    sim::Scenario scenario = *sim::find_scenario("normal");
    scenario.receiver = sim::ReceiverSetup{};
    sim::Fault fault;
    fault.kind = c.kind;
    fault.when.feature_id = sim::kDeviceName;
    fault.when.count = c.kind == sim::FaultKind::LoseReply ? 3 : 1;
    fault.duration_ms = 5000;
    scenario.faults.push_back(fault);
    sim::Scenario fast = scenario.scaled(kReceiverTimeScale);
    fast.timing.command_timeout_ms = 300;
    bus = sim::install_simulated_bus(fast);
    ASSERT_TRUE(host.attach());
    CDovod::instance().config_set(IDeviceManager::tandem_active, true);
    std::shared_ptr<IDevice> keyboard;
    for (const auto& device : CDovod::instance().devices()) {
      if (device->pid() == maker::kKeyboardPid) keyboard = device;
    }
    ASSERT_TRUE(keyboard);
    ConnectionLog log;
    ASSERT_TRUE(log.subscribe(keyboard, RunLoop));
    ASSERT_TRUE(host.pump_until([&] { return keyboard->connected(); }));
    auto names = std::dynamic_pointer_cast<IFeature0005DeviceNameType>(keyboard->feature_by_id(sim::kDeviceName));
    ASSERT_TRUE(names);
    host.pump();
    const int disconnects = log.disconnects;
    const int connects = log.connects;

    int count = 0;
    clear_last_error();
    EXPECT_EQ(names->GetCount(&count), c.answered);
    if (c.answered) {
      EXPECT_GT(count, 0);
      host.pump();
      EXPECT_EQ(log.disconnects, disconnects) << "kept, not quarantined";
    } else {
      EXPECT_EQ(last_error().code, ErrorCode::NotConnected);
      ASSERT_TRUE(host.pump_until([&] { return log.disconnects > disconnects; }));
      // The link comes back: the same device connects again and answers.
      ASSERT_TRUE(host.pump_until([&] { return log.connects > connects; }));
      EXPECT_TRUE(names->GetCount(&count));
    }
    EXPECT_EQ(CDovod::instance().devices_on_bus(CDovod::instance().devices().at(0)).size(), 1u)
        << "still the receiver's device";
  }
}

}  // namespace
}  // namespace dovod::testing
