#include "SoakRun.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "FaultMix.h"
#include "app/AppLog.h"
#include "app/CVornDFUDlg.h"
#include "app/FirmwareImage.h"
#include "app/simulation/ScriptedWindow.h"
#include "app/simulation/Simulation.h"
#include "dovod/CDovod.h"
#include "firmware/ImageBuilder.h"
#include "firmware/ImageCheck.h"
#include "sim/SimKeyboard.h"
#include "sim/SimulatedBus.h"

namespace vorn::soak {
namespace {

using Clock = std::chrono::steady_clock;

// A fault-free run with the soak's images takes about this long at the system's own delays: 0.65
// to 0.8 s measured at a fiftieth of them on two busy cores, where the packets' round trips, which
// do not scale, weigh as much as the keyboard's three restarts and the library's checks after each.
constexpr int kNormalRunMs = 40000;

// Images in the bootloader's record format, a few dozen packets each: small, so that a run's faults
// spread over every part of the transfer in proportion and a thousand runs take minutes.
dovod::Bytes small_image(firmware::ImageSpec spec, std::uint32_t segment_length) {
  spec.segment_length = segment_length;
  spec.block_length = 64;
  return firmware::build_firmware_image(spec);
}

const sim::FirmwareVersion kOld{0x0501, 0x0016};
const sim::FirmwareVersion kNew{0x0501, 0x0017};

std::string keyboard_state(const sim::SimKeyboard& keyboard) {
  if (!keyboard.reachable()) return "keyboard away";
  if (keyboard.in_bootloader()) return "keyboard in its bootloader";
  const sim::FirmwareVersion v = keyboard.application_version();
  if (v == kNew) return "keyboard on 5.1.17";
  if (v == kOld) return "keyboard on 5.1.16";
  return "keyboard on an unknown firmware";
}

// The keyboard finishes what it was doing (a restart, an outage) once the tool is gone; false when
// it is still away at the deadline.
bool settle(const sim::SimKeyboard& keyboard, Clock::time_point deadline) {
  while (!keyboard.reachable()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool on_new_firmware(const sim::SimKeyboard& keyboard) {
  return keyboard.reachable() && !keyboard.in_bootloader() && keyboard.application_version() == kNew;
}

bool on_old_firmware(const sim::SimKeyboard& keyboard) {
  return keyboard.reachable() && !keyboard.in_bootloader() && keyboard.application_version() == kOld;
}

}  // namespace

SoakRunner::SoakRunner(SoakSettings settings, HostSoftware host)
    : settings_(std::move(settings)),
      host_(std::move(host)),
      first_image_(small_image(firmware::first_image_spec(), 640)),
      second_image_(small_image(firmware::second_image_spec(), 480)) {
  packets_ = static_cast<int>((first_image_.size() + second_image_.size()) / kPacketSize);
}

std::chrono::milliseconds SoakRunner::hang_bound() const {
  return std::chrono::milliseconds(static_cast<long long>(settings_.hang_factor * kNormalRunMs * settings_.scale));
}

SoakRunner::ToolEnd SoakRunner::run_tool(std::vector<std::wstring>& log) {
  std::mutex log_mutex;
  log.clear();
  SetLogLineSinkForTesting([&](std::wstring_view line) {
    std::lock_guard<std::mutex> lock(log_mutex);
    log.emplace_back(line);
    if (settings_.echo) settings_.echo(log.back());
  });
  // Each run of the tool is a process of its own: a fresh library and a fresh failure mark.
  CVornDFUDlg::ResetFailureFlagForTesting();
  dovod::CDovod::instance().reset_for_testing();

  ResourceFinder find = [this](std::wstring_view, int id) {
    platform::ModuleResource resource;
    const dovod::Bytes* image = id == kFirmwareSentFirst ? &first_image_ : id == kFirmwareSentSecond ? &second_image_ : nullptr;
    if (!image) return resource;
    resource.found = true;
    resource.data = image->data();
    resource.size = static_cast<std::uint32_t>(image->size());
    return resource;
  };
  ScriptedWindow window;
  AppOptions options;
  // The small images are this package: the tool takes exactly them, checked as the bootloader will.
  FirmwareCheck check = [this](int id, const FirmwareImage& image) -> std::string {
    const dovod::Bytes& ours = id == kFirmwareSentFirst ? first_image_ : second_image_;
    if (image.size != ours.size() || !std::equal(ours.begin(), ours.end(), image.data)) return "not the soak's image";
    return firmware::CheckImageLayout(std::span<const std::uint8_t>(image.data, image.size));
  };
  auto dialog = std::make_unique<CVornDFUDlg>(window, options, DialogTiming{}.scaled(settings_.scale), host_, find,
                                              std::move(check));
  dialog->OnInitDialog();

  const Clock::time_point deadline = Clock::now() + hang_bound();
  ToolEnd end = ToolEnd::Hung;
  while (Clock::now() <= deadline) {
    const std::int32_t state = dialog->state();
    if (state == kUpdateSucceeded || state == kNoUpdateNeeded) {
      // The user closes the dialog.
      dialog->OnOK();
      end = state == kUpdateSucceeded ? ToolEnd::Succeeded : ToolEnd::NoUpdateNeeded;
      break;
    }
    if (state == kUpdateFailed && window.quit_code()) {
      end = ToolEnd::Failed;
      break;
    }
    if (window.running(timer::kRunLoop)) {
      dialog->OnTimer(timer::kRunLoop);
    } else if (std::optional<PostedMessage> posted = window.take_message()) {
      dialog->OnMessage(posted->message, posted->wparam);
    } else if (std::optional<std::uint32_t> due = window.take_due_timer(Clock::now())) {
      dialog->OnTimer(*due);
    } else if (state == kUpdateAvailable && window.visible(control::kStart)) {
      dialog->OnStartClicked();
    } else {
      window.wait_for_work(std::chrono::milliseconds(1));
    }
  }
  // A hung tool is ended as its process would be: the dialog and the library go, the keyboard stays.
  dialog.reset();
  dovod::CDovod::instance().reset();
  SetLogLineSinkForTesting({});
  return end;
}

RunReport SoakRunner::run(std::uint64_t seed) {
  sim::Scenario scenario = DrawScenario(seed, packets_).scaled(settings_.scale);
  const int latency = DrawLatency(seed);
  scenario.timing.host_to_device_ms = latency;
  scenario.timing.device_to_host_ms = latency;
  ScaleDeviceDelays(settings_.scale);
  const std::shared_ptr<sim::SimHardwareBus> bus = sim::install_simulated_bus(scenario);
  const sim::SimKeyboard& keyboard = *bus->keyboard();

  RunReport report;
  std::ostringstream story;
  auto ended = [](ToolEnd end) {
    switch (end) {
      case ToolEnd::Succeeded: return "success";
      case ToolEnd::NoUpdateNeeded: return "no update needed";
      case ToolEnd::Failed: return "failure";
      case ToolEnd::Hung: return "no end (hung)";
    }
    return "?";
  };

  const ToolEnd first = run_tool(report.log);
  const bool settled = settle(keyboard, Clock::now() + hang_bound());
  story << "  first run: " << ended(first) << ", " << keyboard_state(keyboard) << "\n";
  if (first == ToolEnd::Succeeded && on_new_firmware(keyboard)) {
    report.outcome = Outcome::Succeeded;
  } else if (first == ToolEnd::Hung) {
    report.outcome = Outcome::Hung;
  } else if (!settled) {
    report.outcome = Outcome::Bricked;
  } else {
    // Started again on a keyboard whose faults are over, the tool must bring it to a working firmware.
    bus->keyboard()->end_faults();
    const ToolEnd second = run_tool(report.log);
    settle(keyboard, Clock::now() + hang_bound());
    story << "  second run: " << ended(second) << ", " << keyboard_state(keyboard) << "\n";
    if (second == ToolEnd::Hung) {
      report.outcome = Outcome::Hung;
    } else if (on_new_firmware(keyboard)) {
      report.outcome = Outcome::Recovered;
    } else if (on_old_firmware(keyboard)) {
      report.outcome = Outcome::Recovered;
      report.not_updated = true;
    } else {
      report.outcome = Outcome::Bricked;
    }
  }
  if (report.outcome != Outcome::Succeeded) report.story = Describe(scenario) + story.str();
  sim::uninstall_simulated_bus();
  return report;
}

}  // namespace vorn::soak
