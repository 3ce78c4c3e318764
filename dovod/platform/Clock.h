#pragma once
// The clocks of the log: a monotonic performance counter and the wall time.

#include <cstdint>

namespace dovod::platform {

class Clock {
 public:
  // Monotonic ticks since an arbitrary start, and ticks per second.
  static std::uint64_t performance_counter();
  static std::uint64_t performance_frequency();

  // Microseconds since 1970-01-01 UTC.
  static std::uint64_t wall_time_us();
};

}  // namespace dovod::platform
