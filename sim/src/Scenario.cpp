#include "sim/Scenario.h"

#include <cmath>

namespace sim {
namespace {

int scale(int ms, double factor) {
  if (ms <= 0) return ms;
  const int scaled = static_cast<int>(std::lround(ms * factor));
  return scaled < 1 ? 1 : scaled;
}

Scenario named(const std::string& name) {
  Scenario s;
  s.name = name;
  return s;
}

Fault on_dfu_packet(FaultKind kind, int occurrence) {
  Fault f;
  f.kind = kind;
  f.when.feature_id = kDfu;
  f.when.functions = kDfuPacketFunctions;
  f.when.occurrence = occurrence;
  return f;
}

}  // namespace

Scenario Scenario::scaled(double factor) const {
  Scenario s = *this;
  s.timing.host_to_device_ms = scale(s.timing.host_to_device_ms, factor);
  s.timing.device_to_host_ms = scale(s.timing.device_to_host_ms, factor);
  s.timing.restart_ms = scale(s.timing.restart_ms, factor);
  s.timing.command_timeout_ms = scale(s.timing.command_timeout_ms, factor);
  for (Fault& f : s.faults) f.duration_ms = scale(f.duration_ms, factor);
  for (RestartPowerLoss& loss : s.restart_power_losses) {
    loss.after_ms = scale(loss.after_ms, factor);
    loss.duration_ms = scale(loss.duration_ms, factor);
  }
  return s;
}

std::vector<Scenario> scenarios() {
  std::vector<Scenario> all;
  all.push_back(named("normal"));

  Scenario boot = named("in-bootloader");
  boot.start_in_bootloader = true;
  all.push_back(boot);

  Scenario current = named("up-to-date");
  current.application = current.updated;
  all.push_back(current);

  // One reply lost early in each image; the library's retry sends the packet again.
  Scenario lost = named("lost-replies");
  lost.faults.push_back(on_dfu_packet(FaultKind::LoseReply, 7));
  lost.faults.push_back(on_dfu_packet(FaultKind::LoseReply, 7600));
  all.push_back(lost);

  // Pulled out a third of the way into the first image; it comes back in its bootloader.
  Scenario removed = named("removed-mid-transfer");
  Fault unplug = on_dfu_packet(FaultKind::Unplug, 2500);
  unplug.duration_ms = 1500;
  removed.faults.push_back(unplug);
  all.push_back(removed);

  Scenario rejects = named("bootloader-rejects");
  Fault reject = on_dfu_packet(FaultKind::BootloaderStatus, 100);
  reject.status = kDfuFlashError;
  rejects.faults.push_back(reject);
  all.push_back(rejects);

  // The bootloader refuses every packet from the hundredth on, so every retry fails as well.
  Scenario fails = named("bootloader-fails");
  Fault refuse = on_dfu_packet(FaultKind::BootloaderStatus, 100);
  refuse.status = kDfuFlashError;
  refuse.when.count = -1;
  fails.faults.push_back(refuse);
  all.push_back(fails);

  Scenario power = named("power-loss");
  Fault off = on_dfu_packet(FaultKind::PowerLoss, 1200);
  off.duration_ms = 1500;
  power.faults.push_back(off);
  all.push_back(power);

  // Another program reads the firmware information with software id 3 beside every such read of ours.
  Scenario foreign = named("foreign-traffic");
  Fault other;
  other.kind = FaultKind::ForeignRequest;
  other.when.feature_id = kFirmwareInfo;
  other.when.count = -1;
  other.foreign = {kShortReportId, kDirectDeviceIndex, 0x02, 0x13, 0x00, 0x00, 0x00};
  foreign.faults.push_back(other);
  all.push_back(foreign);

  Scenario slow = named("slow-link");
  slow.timing.host_to_device_ms = 4;
  slow.timing.device_to_host_ms = 4;
  all.push_back(slow);

  // On a cable: each restart takes the keyboard off the bus and brings it back as a new device.
  Scenario replug = named("replug-on-restart");
  replug.restart_leaves_bus = true;
  all.push_back(replug);

  return all;
}

std::optional<Scenario> find_scenario(const std::string& name) {
  for (Scenario& s : scenarios()) {
    if (s.name == name) return s;
  }
  return std::nullopt;
}

}  // namespace sim
