#pragma once
// The clocks of the log: a monotonic performance counter and the wall time.

#include <cstdint>
#include <ctime>

namespace dovod::platform {

class Clock {
 public:
  // Monotonic ticks since an arbitrary start, and ticks per second.
  static std::uint64_t performance_counter();
  static std::uint64_t performance_frequency();

  // Microseconds since 1970-01-01 UTC.
  static std::uint64_t wall_time_us();

  // Seconds since 1970-01-01 UTC as local calendar time.
  static std::tm local_time(std::int64_t seconds);
};

}  // namespace dovod::platform
