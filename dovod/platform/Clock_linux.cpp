#include "platform/Clock.h"

#include <time.h>

namespace dovod::platform {

std::uint64_t Clock::performance_counter() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(ts.tv_nsec);
}

std::uint64_t Clock::performance_frequency() { return 1000000000ull; }

std::uint64_t Clock::wall_time_us() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000ull + static_cast<std::uint64_t>(ts.tv_nsec) / 1000;
}

}  // namespace dovod::platform
