// The bare round trip of one request on the simulated wire under Windows, for the benchmark of the
// Windows program (bench/windows-update): a root-feature ping written to the simulated keyboard
// behind its receiver, as the program meets it, and its reply awaited, nothing else. Prints the
// packets of a whole update (both images) and the mean round trip.
//   bench_windows_round_trip.exe <latency_ms>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "dovod/IHardwareDevice.h"
#include "dovod/Subscriber.h"
#include "sim/FirmwareImageBuilder.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimHardwareDevice.h"
#include "sim/SimReceiver.h"

namespace {

using Clock = std::chrono::steady_clock;
using dovod::Byte;
using dovod::Bytes;

constexpr int kRoundTrips = 500;

// Waits for the reply whose last byte echoes the ping's.
class Echo : public dovod::Subscriber<dovod::IHardwareDevice::Read> {
 public:
  void onRead(Bytes report, bool, unsigned, unsigned) override {
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = report.size() > 6 ? report[6] : 0;
    changed_.notify_all();
  }
  bool wait_for(Byte value) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return last_ == value; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Byte> last_;
};

}  // namespace

int main(int argc, char** argv) {
  const int latency = argc > 1 ? std::max(0, std::atoi(argv[1])) : 1;
  sim::Scenario scenario = *sim::find_scenario("normal");
  scenario.timing.host_to_device_ms = latency;
  scenario.timing.device_to_host_ms = latency;
  scenario.receiver = sim::ReceiverSetup{};
  auto bus = sim::SimHardwareBus::create(scenario);
  auto device = bus->collections().front();
  const Byte index = static_cast<Byte>(bus->receiver()->keyboard_index());
  Echo echo;
  device->open();
  echo.subscribe(device, dovod::Direct);
  const auto start = Clock::now();
  for (int i = 0; i < kRoundTrips; ++i) {
    const Byte value = static_cast<Byte>(i % 250 + 1);
    device->write({0x10, index, 0x00, 0x11, 0x00, 0x00, value}, true);
    if (!echo.wait_for(value)) {
      std::fprintf(stderr, "bare round trip: no reply\n");
      return 1;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  echo.unsubscribe(device);
  const std::size_t packets = sim::cut_packets(sim::build_firmware_image(sim::first_image_spec())).size() +
                              sim::cut_packets(sim::build_firmware_image(sim::second_image_spec())).size();
  std::printf("packets %zu\nround_trip_ms %.4f\n", packets, seconds * 1000 / kRoundTrips);
  return 0;
}
