// The whole update through the library alone: the device manager with the simulated keyboard on its
// bus, the real Device, command engine and features, and a host that drives them as the tool does.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LibraryUpdater.h"
#include "RunLoopHost.h"
#include "dovod/CDovod.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "protocol/DeviceTuning.h"
#include "sim/SimKeyboard.h"
#include "sim/SimulatedBus.h"

namespace dovod::testing {
namespace {

// The keyboard's delays run at a hundredth of their real length, the device's likewise.
constexpr double kTimeScale = 0.01;

class LibraryUpdate : public ::testing::Test {
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

  // Runs the update against `scenario` until it ends; false when it hung.
  bool run(const std::string& scenario_name) {
    auto scenario = sim::find_scenario(scenario_name);
    return scenario && run(*scenario);
  }

  bool run(const sim::Scenario& scenario) {
    sim::Scenario fast = scenario.scaled(kTimeScale);
    // A reply later than this counts as lost; sanitizer builds on a busy machine need the margin.
    fast.timing.command_timeout_ms = 300;
    bus = sim::install_simulated_bus(fast);
    updater = std::make_unique<LibraryUpdater>();
    return updater->run_to_end(host);
  }

  // The sizes of the two images of the package.
  static std::uint64_t total_bytes() { return 121216 + 62608; }

  Vs2003SingletonThreadCleanup guard;
  RunLoopHost host;
  std::shared_ptr<sim::SimHardwareBus> bus;
  std::unique_ptr<LibraryUpdater> updater;
};

TEST_F(LibraryUpdate, ANormalUpdateInstallsTheNewFirmwareAcrossTwoRestarts) {
  ASSERT_TRUE(run("normal"));
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(updater->milestones());
  const std::vector<std::string>& m = updater->milestones();
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m.front(), "arrival");
  EXPECT_EQ(m[1], "application 5.1.16");
  EXPECT_EQ(m.back(), "application 5.1.17");
  EXPECT_EQ(updater->progress(), total_bytes());
  EXPECT_EQ(bus->keyboard()->application_version(), (sim::FirmwareVersion{0x0501, 0x0017}));
  // Into the bootloader, out of it between the images, and into the new firmware.
  EXPECT_EQ(updater->firmware_changes(), 2) << ::testing::PrintToString(updater->milestones());
}

TEST_F(LibraryUpdate, AKeyboardAlreadyInItsBootloaderIsSentBothImagesAtOnce) {
  ASSERT_TRUE(run("in-bootloader"));
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(updater->milestones());
  EXPECT_EQ(updater->milestones()[1], "bootloader");
  EXPECT_EQ(updater->milestones().back(), "application 5.1.17") << ::testing::PrintToString(updater->milestones());
  EXPECT_EQ(updater->progress(), total_bytes());
}

TEST_F(LibraryUpdate, LostRepliesAreAbsorbedByTheEnginesRetries) {
  ASSERT_TRUE(run("lost-replies"));
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(updater->milestones());
  EXPECT_EQ(updater->milestones().back(), "application 5.1.17");
  EXPECT_EQ(updater->progress(), total_bytes()) << "a packet sent again is counted once";
}

TEST_F(LibraryUpdate, AnotherProgramsTrafficDoesNotDisturbTheUpdate) {
  ASSERT_TRUE(run("foreign-traffic"));
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(updater->milestones());
  EXPECT_EQ(updater->milestones().back(), "application 5.1.17");
}

TEST_F(LibraryUpdate, AReplyToAnotherProgramWithOurSoftwareIdMovesUsToAnotherOne) {
  constexpr int kOurs = 12;
  CDovod::instance().swid(kOurs);
  sim::Scenario scenario = *sim::find_scenario("normal");
  // In the middle of the first image another program reads the firmware information (index 2 in
  // the bootloader) under our software id; its reply reaches our reader too.
  sim::Fault other;
  other.kind = sim::FaultKind::ForeignRequest;
  other.when.feature_id = sim::kDfu;
  other.when.functions = sim::kDfuPacketFunctions;
  other.when.occurrence = 500;
  other.foreign = {0x10, 0xFF, 0x02, static_cast<Byte>(0x10 | kOurs), 0x00, 0x00, 0x00};
  scenario.faults.push_back(other);

  ASSERT_TRUE(run(scenario));
  ASSERT_TRUE(updater->succeeded()) << ::testing::PrintToString(updater->milestones());
  EXPECT_EQ(updater->milestones().back(), "application 5.1.17");
  EXPECT_EQ(updater->progress(), total_bytes());
  // Another id, least recently seen by us; a reply of ours that came late under load may have moved
  // it on once more, so only "not ours" is certain.
  EXPECT_NE(updater->device()->swid(), kOurs);
}

}  // namespace
}  // namespace dovod::testing
