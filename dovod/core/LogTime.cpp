#include "core/LogTime.h"

#include <atomic>

#include "platform/Clock.h"

namespace dovod::log {
namespace {

std::atomic<std::uint64_t> g_frequency{1};
std::atomic<std::uint64_t> g_ticks_per_us{0};  // when the frequency is a whole multiple of 1 MHz
std::atomic<std::int64_t> g_wall_offset_us{0};

}  // namespace

void init_clock() {
  std::uint64_t frequency = platform::Clock::performance_frequency();
  if (frequency == 0) frequency = 1;
  g_frequency.store(frequency, std::memory_order_relaxed);
  g_ticks_per_us.store(frequency % 1000000 == 0 ? frequency / 1000000 : 0, std::memory_order_relaxed);
  calibrate_wall_clock();
}

std::uint64_t monotonic_now_us() {
  std::uint64_t counter = platform::Clock::performance_counter();
  if (std::uint64_t per_us = g_ticks_per_us.load(std::memory_order_relaxed)) return counter / per_us;
  std::uint64_t frequency = g_frequency.load(std::memory_order_relaxed);
  // Split so that counter × 1 000 000 cannot overflow.
  return counter / frequency * 1000000 + counter % frequency * 1000000 / frequency;
}

std::uint64_t wall_at_us(std::uint64_t monotonic_us) {
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(monotonic_us) +
                                    g_wall_offset_us.load(std::memory_order_relaxed));
}

void calibrate_wall_clock() {
  std::uint64_t monotonic = monotonic_now_us();
  std::uint64_t wall = platform::Clock::wall_time_us();
  std::int64_t offset = static_cast<std::int64_t>(wall) - static_cast<std::int64_t>(monotonic);
  // Stored only on a change, so the callers' cached copy stays valid.
  if (g_wall_offset_us.load(std::memory_order_relaxed) / 1000 != offset / 1000)
    g_wall_offset_us.store(offset, std::memory_order_relaxed);
}

}  // namespace dovod::log
