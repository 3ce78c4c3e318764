#pragma once
// The periods of the update dialog's window timers. The defaults are the tool's own; tests and the
// end-to-end runs of the built program use a scaled copy so that a whole update takes milliseconds.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vorn {

struct DialogTiming {
  std::uint32_t bootloader_arrival_ms = 10000;  // waiting for the bootloader after the first image
  std::uint32_t firmware_change_ms = 10000;     // waiting for the keyboard to restart
  std::uint32_t packet_ms = 5000;               // waiting for the status of an accepted packet
  std::uint32_t retry_ms = 2000;                // pause before a failed transfer starts again
  std::uint32_t countdown_tick_ms = 1000;       // one second of the close countdown after a failure

  // Every period multiplied by `factor`, rounded, and at least 1 ms: a zero period would make a
  // window timer fire as fast as the loop turns.
  DialogTiming scaled(double factor) const {
    auto scale = [factor](std::uint32_t ms) {
      double value = std::round(static_cast<double>(ms) * factor);
      if (!(value >= 1.0)) return std::uint32_t{1};
      return static_cast<std::uint32_t>(std::min(value, 4294967295.0));
    };
    return {scale(bootloader_arrival_ms), scale(firmware_change_ms), scale(packet_ms), scale(retry_ms),
            scale(countdown_tick_ms)};
  }
};

}  // namespace vorn
