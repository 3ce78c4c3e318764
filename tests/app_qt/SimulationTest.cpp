#include <gtest/gtest.h>

#include <cstdlib>

#include "app/simulation/Simulation.h"

namespace vorn::qt {
namespace {

TEST(SimulationTest, ScaleMustBeAPlainNumberAboveZeroAndAtMostAHundred) {
  struct Case {
    const char* text;
    std::optional<double> expected;
  };
  const Case cases[] = {{"0.01", 0.01}, {"1", 1.0},          {"100", 100.0},    {"1e-2", 0.01},
                        {nullptr, {}},  {"", {}},            {"0", {}},         {"-0.5", {}},
                        {"100.5", {}},  {"0.1x", {}},        {"nan", {}},       {"inf", {}},
                        {"1e400", {}},  {" ", {}}};
  for (const Case& c : cases) {
    EXPECT_EQ(ParseScale(c.text), c.expected) << (c.text ? c.text : "null");
  }
}

// The scale counts only together with a scenario the catalogue knows.
TEST(SimulationTest, DelaysAreScaledOnlyForAKnownScenario) {
  struct Case {
    const char* scenario;
    const char* scale;
    std::uint32_t packet_ms;
    long grace_ms;
  };
  const Case cases[] = {{"normal", "0.01", 50, 10},     {"normal", "bogus", 5000, 1000},
                        {"", "0.01", 5000, 1000},       {"no-such-scenario", "0.01", 5000, 1000},
                        {"slow-link", nullptr, 5000, 1000}};
  for (const Case& c : cases) {
    setenv("DOVOD_SIMULATE", c.scenario, 1);
    if (c.scale) setenv(kSimulateScaleVariable, c.scale, 1);
    else unsetenv(kSimulateScaleVariable);
    const SimulationRequest request = ReadSimulationRequest();
    EXPECT_EQ(TimingFor(request).packet_ms, c.packet_ms) << c.scenario << " " << (c.scale ? c.scale : "");
    EXPECT_EQ(TimingFor(request).countdown_tick_ms, c.packet_ms / 5) << c.scenario;
    EXPECT_EQ(HostConfigFor(request).shutdown_grace.count(), c.grace_ms) << c.scenario;
  }
  unsetenv("DOVOD_SIMULATE");
  unsetenv(kSimulateScaleVariable);
}

}  // namespace
}  // namespace vorn::qt
