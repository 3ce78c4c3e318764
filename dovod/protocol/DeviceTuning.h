#pragma once
// The device's long delays and its random numbers, in one place so that tests can scale the delays
// down to milliseconds and fix the random values. The defaults are the protocol's own.

#include <functional>

namespace dovod {

struct DeviceTuning {
  // A ping after a failed attempt i waits (random mod ping_jitter_ms) + ping_backoff_base_ms * 2^i.
  int ping_jitter_ms = 500;
  int ping_backoff_base_ms = 10;
  // A reconnection this soon after the last report is handled later, through the fw-check timer.
  int reconnect_window_ms = 1000;
  int fw_check_delay_ms = 1000;
  int deactivation_delay_ms = 5000;
  int cache_write_delay_ms = 10000;
  // Another program holds the channel's named mutex for one attempt at a time: a write (limited to
  // 10 s) and the wait for its reply. Held much longer, it is stuck, and waiting on would hang us.
  int named_mutex_wait_ms = 30000;
};

// The values in force; read by every device when it needs one.
DeviceTuning device_tuning();
// Replaces the values; tests restore the defaults with DeviceTuning{}.
void set_device_tuning(const DeviceTuning& tuning);

// A non-negative random number; rand() unless a test installed its own source.
int device_rand();
// An empty function restores rand().
void set_device_rand(std::function<int()> source);

}  // namespace dovod
