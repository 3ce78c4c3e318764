#include "FaultMix.h"

#include <random>
#include <sstream>

namespace vorn::soak {
namespace {

class Draw {
 public:
  explicit Draw(std::uint64_t seed) : engine_(seed) {}
  int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
  bool chance(int percent) { return between(0, 99) < percent; }

 private:
  std::mt19937_64 engine_;
};

// The requests a fault waits for. The DFU packets are where a transfer spends its time; the first
// requests cover finding the keyboard, reading its version and asking it into the bootloader.
enum class Target { DfuPacket, AnyEarlyRequest, DfuStartOrRestart, DfuControl };

Target draw_target(Draw& d) {
  const int r = d.between(0, 9);
  if (r < 5) return Target::DfuPacket;
  if (r < 7) return Target::AnyEarlyRequest;
  if (r < 9) return Target::DfuStartOrRestart;
  return Target::DfuControl;
}

sim::RequestMatch draw_match(Draw& d, Target target, int packets) {
  sim::RequestMatch m;
  switch (target) {
    case Target::DfuPacket:
      m.feature_id = sim::kDfu;
      m.functions = sim::kDfuPacketFunctions;
      m.occurrence = d.between(0, packets + packets / 3);
      break;
    case Target::AnyEarlyRequest:
      m.occurrence = d.between(0, 60);
      break;
    case Target::DfuStartOrRestart:
      m.feature_id = sim::kDfu;
      m.functions = (1u << sim::kDfuStartFunction) | (1u << sim::kDfuRestartFunction);
      m.occurrence = d.between(0, 4);
      break;
    case Target::DfuControl:
      m.feature_id = sim::kDfuControl;
      m.occurrence = d.between(0, 2);
      break;
  }
  return m;
}

sim::Fault draw_fault(Draw& d, int packets) {
  sim::Fault f;
  const Target target = draw_target(d);
  f.when = draw_match(d, target, packets);
  constexpr sim::FaultKind kKinds[] = {
      sim::FaultKind::LoseReply,      sim::FaultKind::DelayReply, sim::FaultKind::DuplicateReply,
      sim::FaultKind::CorruptReply,   sim::FaultKind::ForeignRequest, sim::FaultKind::Disconnect,
      sim::FaultKind::PowerLoss,      sim::FaultKind::Unplug,     sim::FaultKind::BootloaderStatus,
  };
  f.kind = kKinds[d.between(0, static_cast<int>(std::size(kKinds)) - 1)];
  switch (f.kind) {
    case sim::FaultKind::LoseReply:
    case sim::FaultKind::DuplicateReply:
      f.when.count = d.between(1, 3);
      break;
    case sim::FaultKind::DelayReply:
      // From well inside the library's 3 s command timeout to beyond the dialog's 5 s packet timer.
      f.duration_ms = d.between(100, 8000);
      break;
    case sim::FaultKind::CorruptReply:
      f.byte_index = d.between(1, 19);
      f.xor_mask = static_cast<sim::Byte>(d.between(1, 255));
      break;
    case sim::FaultKind::ForeignRequest:
      // Another program reads the firmware information, as the catalogue's foreign traffic does.
      f.foreign = {sim::kShortReportId, sim::kDirectDeviceIndex, 0x02, 0x13, 0x00, 0x00, 0x00};
      f.when.count = d.between(1, 20);
      break;
    case sim::FaultKind::Disconnect:
    case sim::FaultKind::PowerLoss:
    case sim::FaultKind::Unplug:
      f.duration_ms = d.between(200, 4000);
      break;
    case sim::FaultKind::BootloaderStatus: {
      constexpr sim::Byte kRefusals[] = {sim::kDfuFlashError, sim::kDfuBadRecord, sim::kDfuOutOfSequence,
                                         sim::kDfuNotStarted, sim::kDfuBadHeader};
      f.status = kRefusals[d.between(0, static_cast<int>(std::size(kRefusals)) - 1)];
      f.when.count = d.between(1, 2);
      // A refusal only means something to the bootloader's packets.
      if (target != Target::DfuPacket) f.when = draw_match(d, Target::DfuPacket, packets);
      break;
    }
  }
  return f;
}

const char* kind_name(sim::FaultKind kind) {
  switch (kind) {
    case sim::FaultKind::LoseReply: return "lost reply";
    case sim::FaultKind::DelayReply: return "late reply";
    case sim::FaultKind::DuplicateReply: return "duplicated reply";
    case sim::FaultKind::CorruptReply: return "corrupted reply";
    case sim::FaultKind::ForeignRequest: return "foreign request";
    case sim::FaultKind::Disconnect: return "link drop";
    case sim::FaultKind::PowerLoss: return "power loss";
    case sim::FaultKind::Unplug: return "unplug";
    case sim::FaultKind::BootloaderStatus: return "bootloader refusal";
  }
  return "?";
}

}  // namespace

sim::Scenario DrawScenario(std::uint64_t seed, int packets) {
  Draw d(seed);
  sim::Scenario s = *sim::find_scenario("normal");
  s.name = "soak";
  // Consecutive seeds take turns: behind the receiver, on a cable, on a cable that re-enumerates.
  switch (seed % 3) {
    case 0:
      s.receiver = sim::ReceiverSetup{};
      break;
    case 1:
      break;
    default:
      s.restart_leaves_bus = true;
      break;
  }
  constexpr sim::Collections kShapes[] = {sim::Collections::Whole, sim::Collections::ShortAndLong,
                                          sim::Collections::Pieces};
  s.collections = kShapes[d.between(0, 2)];
  // A keyboard whose restart only drops its link shows as one whole collection: the library's
  // combined device reports no link changes of its pieces, so split collections are drawn only
  // behind the receiver or on a cable that re-enumerates, as on USB.
  if (!s.receiver && !s.restart_leaves_bus) s.collections = sim::Collections::Whole;
  const int faults = d.between(0, 4);
  for (int i = 0; i < faults; ++i) {
    sim::Fault f = draw_fault(d, packets);
    // A keyboard on a cable that re-enumerates has no link of its own, and whatever takes its power
    // takes it off the bus as well.
    if (s.restart_leaves_bus && (f.kind == sim::FaultKind::Disconnect || f.kind == sim::FaultKind::PowerLoss)) {
      f.kind = sim::FaultKind::Unplug;
    }
    s.faults.push_back(f);
  }
  // The keyboard asks for four restarts in a whole update: into the bootloader, between the images,
  // into the new firmware, and once more after a failure.
  if (d.chance(30)) {
    s.restart_power_losses.push_back(
        {d.between(0, 3), d.between(0, s.timing.restart_ms - 1), d.between(200, 4000)});
  }
  return s;
}

int DrawLatency(std::uint64_t seed) { return static_cast<int>((seed / 3) % 2); }

std::string Describe(const sim::Scenario& s) {
  std::ostringstream out;
  out << "  keyboard: " << (s.receiver ? "behind its receiver" : s.restart_leaves_bus ? "on a cable, re-enumerating" : "on a cable")
      << ", collections " << static_cast<int>(s.collections) << ", " << s.timing.host_to_device_ms
      << " ms each way\n";
  for (const sim::Fault& f : s.faults) {
    out << "  fault: " << kind_name(f.kind) << " at request " << f.when.occurrence << " of feature ";
    if (f.when.feature_id < 0) out << "any";
    else out << "0x" << std::hex << f.when.feature_id << " functions 0x" << f.when.functions << std::dec;
    out << ", " << f.when.count << " time(s)";
    if (f.duration_ms) out << ", " << f.duration_ms << " ms";
    if (f.kind == sim::FaultKind::CorruptReply) out << ", byte " << f.byte_index << " ^ " << int{f.xor_mask};
    if (f.kind == sim::FaultKind::BootloaderStatus) out << ", status 0x" << std::hex << int{f.status} << std::dec;
    out << "\n";
  }
  for (const sim::RestartPowerLoss& loss : s.restart_power_losses) {
    out << "  fault: power loss " << loss.after_ms << " ms into restart " << loss.restart << ", back after "
        << loss.duration_ms << " ms\n";
  }
  return out.str();
}

}  // namespace vorn::soak
