#pragma once
// The ideal a whole update is measured against: the mean round trip of one bare request on a
// simulated wire (a root-feature ping written, its reply awaited, nothing else), measured in the
// same run as the update because these machines are noisy. Shared by the benchmarks of both
// platforms.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "dovod/IHardwareDevice.h"
#include "dovod/Subscriber.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimHardwareDevice.h"
#include "sim/SimReceiver.h"

namespace bench {

// Waits for the reply whose last byte echoes the ping's.
class Echo : public dovod::Subscriber<dovod::IHardwareDevice::Read> {
 public:
  void onRead(dovod::Bytes report, bool, unsigned, unsigned) override {
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = report.size() > 6 ? report[6] : 0;
    changed_.notify_all();
  }
  bool wait_for(dovod::Byte value) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return last_ == value; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<dovod::Byte> last_;
};

// Seconds per round trip over `round_trips` pings to the scenario's keyboard (behind its receiver
// when the scenario has one); nothing when a reply does not come.
inline std::optional<double> bare_round_trip(const sim::Scenario& scenario, int round_trips) {
  using Clock = std::chrono::steady_clock;
  auto bus = sim::SimHardwareBus::create(scenario);
  auto device = bus->collections().front();
  const dovod::Byte index = bus->receiver() ? static_cast<dovod::Byte>(bus->receiver()->keyboard_index()) : 0xFF;
  Echo echo;
  device->open();
  echo.subscribe(device, dovod::Direct);
  const auto start = Clock::now();
  for (int i = 0; i < round_trips; ++i) {
    const dovod::Byte value = static_cast<dovod::Byte>(i % 250 + 1);
    device->write({0x10, index, 0x00, 0x11, 0x00, 0x00, value}, true);
    if (!echo.wait_for(value)) {
      echo.unsubscribe(device);
      return std::nullopt;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  echo.unsubscribe(device);
  return seconds / round_trips;
}

}  // namespace bench
