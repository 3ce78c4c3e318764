#pragma once
// The two times of a message from one clock reading: the monotonic time from the performance
// counter, and the wall time as that plus an offset that the log thread keeps calibrated (a
// second reading of the system clock would cost the caller as much again).

#include <cstdint>

namespace dovod::log {

// Reads the frequency; also calibrates.
void init_clock();

// Microseconds of the performance counter, exact over any up-time.
std::uint64_t monotonic_now_us();

// The wall time (microseconds since 1970) that corresponds to a monotonic time.
std::uint64_t wall_at_us(std::uint64_t monotonic_us);

// Measures the offset between both clocks again, so a change of the system time shows soon.
void calibrate_wall_clock();

}  // namespace dovod::log
