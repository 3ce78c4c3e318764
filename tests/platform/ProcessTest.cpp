#include <chrono>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/Process.h"

namespace dovod::testing {
namespace {

using platform::Clock;
using platform::Process;

std::uint64_t system_now_us() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count());
}

TEST(Clock, CountsForwardAndTellsTheWallTime) {
  ASSERT_GT(Clock::performance_frequency(), 0u);
  std::uint64_t a = Clock::performance_counter();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::uint64_t b = Clock::performance_counter();
  EXPECT_GE((b - a) * 1000 / Clock::performance_frequency(), 1u);
  double skew = static_cast<double>(Clock::wall_time_us()) - static_cast<double>(system_now_us());
  EXPECT_NEAR(skew, 0.0, 1e6);

  // Local calendar time of a known instant: 2017-06-01 12:00:00 UTC, ± the largest time zone.
  std::tm t = Clock::local_time(1496318400);
  EXPECT_EQ(t.tm_year, 117);
  EXPECT_EQ(t.tm_mon, 5);
  EXPECT_TRUE(t.tm_mday == 1 || t.tm_mday == 31 || t.tm_mday == 2);
}

TEST(Process, IdentityOfTheRunningProgram) {
  EXPECT_NE(Process::process_id(), 0u);
  std::uint32_t here = Process::thread_id();
  std::uint32_t there = 0;
  std::thread([&] { there = Process::thread_id(); }).join();
  EXPECT_NE(here, there);
  EXPECT_EQ(here, Process::thread_id());

  std::string exe = Process::executable_path();
  EXPECT_NE(exe.find("test_platform"), std::string::npos) << exe;

  auto started = Process::creation_time_us();
  ASSERT_TRUE(started);
  std::uint64_t now = system_now_us();
  EXPECT_LE(*started, now + 1000000);
  EXPECT_GT(*started + 600ull * 1000000, now) << "more than ten minutes ago";
}

TEST(Process, LowersTheCallingThreadsPriority) {
  std::thread([] { EXPECT_TRUE(Process::set_lowest_thread_priority()); }).join();
}

}  // namespace
}  // namespace dovod::testing
