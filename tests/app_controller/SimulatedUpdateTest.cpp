// Whole runs of the update dialog against the simulated keyboard behind the real library: from the
// first scan to success, "no update needed" or failure, with the keyboard's scripted faults.

#include "ControllerFixture.h"
#include "StandInProcess.h"
#include "app/UiText.h"
#include "app/platform/NamedEvent.h"
#include "dovod/CDovod.h"
#include "sim/SimKeyboard.h"
#include "sim/SimulatedBus.h"

namespace vorn::testing {
namespace {

using namespace std::chrono_literals;

// The keyboard's delays at a hundredth of their length.
constexpr double kTimeScale = 0.01;
constexpr std::uint32_t kPackageBytes = 121216 + 62608;

bool finished(int state) {
  return state == kUpdateSucceeded || state == kNoUpdateNeeded || state == kUpdateFailed;
}

class SimulatedUpdate : public ControllerTest {
 protected:
  void plug_in(sim::Scenario scenario) {
    sim::Scenario fast = scenario.scaled(kTimeScale);
    // A reply later than this counts as lost; sanitizer builds on a busy machine need the margin.
    fast.timing.command_timeout_ms = 300;
    bus_ = sim::install_simulated_bus(fast);
  }

  // Opens the dialog with the embedded images, presses Start when it is offered and runs until
  // the update ends; retries are not kept waiting.
  bool run_to_end() {
    open_dialog(platform::FindModuleResource);
    const bool ended = pump_until(
        [this] {
          if (dialog().state() == kUpdateAvailable) dialog().OnStartClicked();
          return finished(dialog().state());
        },
        {timer::kRetry});
    pump_pending();
    return ended;
  }

  std::shared_ptr<sim::SimHardwareBus> bus_;
};

struct WholeRun {
  const char* scenario;
  int state;
  int retries;
  bool offered;       // the Start button was needed
  bool lost_keyboard; // the keyboard was gone for a while
  int transfers;       // times the transfer started from the first image
};

class WholeRuns : public SimulatedUpdate, public ::testing::WithParamInterface<WholeRun> {};

TEST_P(WholeRuns, EndAsTheKeyboardAllows) {
  const WholeRun& run = GetParam();
  plug_in(*sim::find_scenario(run.scenario));
  ASSERT_TRUE(run_to_end()) << "stuck in state " << dialog().state();

  EXPECT_EQ(dialog().state(), run.state);
  EXPECT_EQ(dialog().retry_count(), run.retries);
  const std::vector<std::pair<int, int>> seen = switches();
  auto passed = [&seen](int from, int to) {
    return std::find(seen.begin(), seen.end(), std::make_pair(from, to)) != seen.end();
  };
  EXPECT_EQ(passed(kUpdateAvailable, kEnteringDfu), run.offered);
  EXPECT_EQ(passed(kSendingFirstImage, kWaitingForDevice), run.lost_keyboard);
  // A restart between the images, whether the keyboard stays or comes back as a new device, never
  // starts the first image again.
  EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](auto s) { return s.second == kStartingTransfer; }),
            run.transfers);
  EXPECT_TRUE(window().visible(control::kClose));
  EXPECT_FALSE(window().visible(control::kProgress));
  EXPECT_FALSE(window().visible(control::kStart));
  EXPECT_EQ(window().progress_high(), kPackageBytes);
  EXPECT_EQ(bus_->keyboard()->application_version(), (sim::FirmwareVersion{0x0501, 0x0017}));
  EXPECT_FALSE(bus_->keyboard()->in_bootloader());

  if (run.state == kUpdateSucceeded) {
    EXPECT_EQ(window().ProgressPosition(), kPackageBytes);
    EXPECT_EQ(window().text(control::kStatus), LoadText(text::kSucceeded));
    EXPECT_TRUE(passed(kSendingSecondImage, kWaitingForFirmwareChange));
  } else {
    EXPECT_EQ(window().text(control::kStatus), LoadText(text::kNoUpdateNeeded));
    EXPECT_EQ(window().ProgressPosition(), 0u);
  }
  // The dialog may close now.
  dialog().OnOK();
  EXPECT_EQ(window().end_result(), std::optional<int>(kResultOk));
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, WholeRuns,
    ::testing::Values(WholeRun{"normal", kUpdateSucceeded, 0, true, false, 1},
                      WholeRun{"in-bootloader", kUpdateSucceeded, 0, false, false, 1},
                      WholeRun{"up-to-date", kNoUpdateNeeded, 0, false, false, 0},
                      WholeRun{"lost-replies", kUpdateSucceeded, 0, true, false, 1},
                      WholeRun{"foreign-traffic", kUpdateSucceeded, 0, true, false, 1},
                      WholeRun{"removed-mid-transfer", kUpdateSucceeded, 0, true, true, 2},
                      WholeRun{"bootloader-rejects", kUpdateSucceeded, 1, true, false, 2},
                      WholeRun{"replug-on-restart", kUpdateSucceeded, 0, true, true, 1}),
    [](const ::testing::TestParamInfo<WholeRun>& info) {
      std::string name = info.param.scenario;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

TEST_F(SimulatedUpdate, ABootloaderThatKeepsRefusingFailsTheRunAndTheToolClosesTenSecondsLater) {
  sim::Scenario rejects = *sim::find_scenario("bootloader-rejects");
  rejects.faults.at(0).when.count = -1;
  plug_in(rejects);
  // A host software that did not run at start is started from its stored path all the same.
  SudoFromSecondUser sudo;  // as root, only for the user who asked for root
  const std::wstring host_name = UniqueName(L"VornControllerHost", L".exe");
  StandInCopy stored_host(host_name);
  ASSERT_TRUE(Settings(key_).StoreHostPath(stored_host.path().wstring()));

  ASSERT_TRUE(run_to_end()) << "stuck in state " << dialog().state();
  EXPECT_EQ(dialog().state(), kUpdateFailed);
  EXPECT_EQ(dialog().retry_count(), 3);
  EXPECT_FALSE(dialog().restart_host());
  EXPECT_EQ(window().text(control::kStatus), LoadText(text::kFailed));
  const std::vector<std::pair<int, int>> seen = switches();
  EXPECT_EQ(std::count(seen.begin(), seen.end(), std::make_pair<int, int>(kSendingFirstImage, kStartingTransfer)), 2);

  // Asked to restart, the keyboard comes back in its bootloader; the failed run stays failed.
  ASSERT_TRUE(pump_until([this] {
    for (const std::wstring& m : messages())
      if (m.find(L"refused after the failure") != std::wstring::npos) return true;
    return false;
  }));
  EXPECT_EQ(dialog().state(), kUpdateFailed);

  for (int tick = 1; tick < 10; ++tick) fire(timer::kCloseCountdown);
  EXPECT_FALSE(window().quit_code().has_value());
  fire(timer::kCloseCountdown);
  EXPECT_EQ(window().quit_code(), std::optional<int>(0));
  EXPECT_TRUE(dialog().restart_host());
  const std::wstring started_event = L"Global\\" + host_name;
  EXPECT_TRUE(EventAppears(started_event, 20s));
  platform::NamedEvent event;
  if (event.open_existing(started_event)) event.set();
}

TEST_F(SimulatedUpdate, TheDialogCanGoWhileTheKeyboardIsStillTalking) {
  plug_in(*sim::find_scenario("in-bootloader"));
  open_dialog(platform::FindModuleResource);
  ASSERT_TRUE(pump_until([this] { return window().ProgressPosition() >= 100 * 16; }));
  dialog_.reset();
  // Whatever the library still queues reaches nobody.
  for (int i = 0; i < 50; ++i) dovod::CDovod::instance().call_event_from_runloop();
  EXPECT_TRUE(bus_->keyboard()->in_bootloader());
}

}  // namespace
}  // namespace vorn::testing
