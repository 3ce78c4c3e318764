// The bare round trip of one request on the simulated wire under Windows, for the benchmark of the
// Windows program (bench/windows-update): a root-feature ping written to the simulated keyboard
// behind its receiver, as the program meets it, and its reply awaited, nothing else. Prints the
// packets of a whole update (both images) and the mean round trip over `round_trips` of them.
//   bench_windows_round_trip.exe <latency_ms> [round_trips]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "BareRoundTrip.h"
#include "firmware/ImageBuilder.h"

namespace {

constexpr int kDefaultRoundTrips = 500;

}  // namespace

int main(int argc, char** argv) {
  const int latency = argc > 1 ? std::max(0, std::atoi(argv[1])) : 1;
  const int round_trips = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRoundTrips;
  sim::Scenario scenario = *sim::find_scenario("normal");
  scenario.timing.host_to_device_ms = latency;
  scenario.timing.device_to_host_ms = latency;
  scenario.receiver = sim::ReceiverSetup{};
  const std::optional<double> seconds = bench::bare_round_trip(scenario, round_trips);
  if (!seconds) {
    std::fprintf(stderr, "bare round trip: no reply\n");
    return 1;
  }
  const std::size_t packets =
      firmware::cut_packets(firmware::build_firmware_image(firmware::first_image_spec())).size() +
      firmware::cut_packets(firmware::build_firmware_image(firmware::second_image_spec())).size();
  std::printf("packets %zu\nround_trip_ms %.4f\n", packets, *seconds * 1000);
  return 0;
}
