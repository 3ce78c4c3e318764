// The wall time of a whole simulated update (both images, every packet) through the real library:
// device manager, command engine, features, and a host that drives them as the update tool does.
// The simulator's wire takes `latency` ms per report in each direction. The ideal is packets times
// the round trip of one bare request on the same simulated wire, measured in the same run (a
// request written and its reply awaited, nothing else); the figure is the ratio of the update's
// wall time to it. Goal: at most 5 % above ideal. Once with the keyboard attached directly and once
// behind the receiver. The keyboard's restart and the library's reconnection delays are short here,
// so the figure is what the transfer itself costs.
//   build/<dir>/bench/bench_update_e2e [latency_ms]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "BareRoundTrip.h"
#include "BenchSupport.h"
#include "LibraryUpdater.h"
#include "RunLoopHost.h"
#include "dovod/CDovod.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "protocol/DeviceTuning.h"
#include "firmware/ImageBuilder.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimReceiver.h"
#include "sim/SimulatedBus.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRestartMs = 20;
constexpr int kBareRoundTrips = 500;

sim::Scenario scenario_for(int latency_ms, bool receiver) {
  sim::Scenario s = *sim::find_scenario("normal");
  s.timing.host_to_device_ms = latency_ms;
  s.timing.device_to_host_ms = latency_ms;
  s.timing.restart_ms = kRestartMs;
  if (receiver) s.receiver = sim::ReceiverSetup{};
  return s;
}

// The mean round trip of a root-feature ping on the scenario's wire, in seconds.
double bare_round_trip(const sim::Scenario& scenario) {
  const std::optional<double> seconds = bench::bare_round_trip(scenario, kBareRoundTrips);
  if (!seconds) {
    std::fprintf(stderr, "bare round trip: no reply\n");
    std::exit(1);
  }
  return *seconds;
}

// Seconds from the start of the buses to the new firmware.
double run_update(const sim::Scenario& scenario, bool receiver) {
  dovod::CDovod::instance().reset_for_testing();
  sim::install_simulated_bus(scenario);
  dovod::testing::RunLoopHost host;
  auto updater = std::make_unique<dovod::testing::LibraryUpdater>();
  if (receiver) dovod::CDovod::instance().config_set(dovod::IDeviceManager::tandem_active, true);
  const auto start = Clock::now();
  const bool ended = updater->run_to_end(host, {}, std::chrono::seconds(600));
  const auto end = Clock::now();
  if (!ended || !updater->succeeded()) {
    std::fprintf(stderr, "update did not succeed:");
    for (const std::string& m : updater->milestones()) std::fprintf(stderr, " [%s]", m.c_str());
    std::fprintf(stderr, "\n");
    std::exit(1);
  }
  updater.reset();
  dovod::CDovod::instance().reset();
  sim::uninstall_simulated_bus();
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int latency = argc > 1 ? std::max(0, std::atoi(argv[1])) : 1;
  const std::filesystem::path folder = bench::scratch_folder("update_e2e");
  dovod::Vs2003SingletonThreadCleanup guard;
  bench::configure_log(folder, "update_e2e", false);
  dovod::testing::use_fast_device_timing();

  const std::size_t packets =
      firmware::cut_packets(firmware::build_firmware_image(firmware::first_image_spec())).size() +
      firmware::cut_packets(firmware::build_firmware_image(firmware::second_image_spec())).size();
  std::printf("whole update, %zu packets, %d ms per report each way, restart %d ms\n", packets, latency, kRestartMs);
  for (const bool receiver : {false, true}) {
    const sim::Scenario scenario = scenario_for(latency, receiver);
    const double rtt = bare_round_trip(scenario);
    const double ideal = rtt * static_cast<double>(packets);
    const double update = run_update(scenario, receiver);
    std::printf("  %-16s bare round trip %.3f ms  ideal %7.2f s  update %7.2f s  ratio %.3f (goal <= 1.05)\n",
                receiver ? "behind receiver" : "direct", rtt * 1000, ideal, update, update / ideal);
  }
  dovod::log_testing::stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
