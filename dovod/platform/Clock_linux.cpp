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

std::tm Clock::local_time(std::int64_t seconds) {
  std::tm out{};
  time_t t = static_cast<time_t>(seconds);
  localtime_r(&t, &out);
  return out;
}

}  // namespace dovod::platform
