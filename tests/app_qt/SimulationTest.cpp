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

TEST(SimulationTest, LatencyMustBeWholeMillisecondsUpToASecond) {
  struct Case {
    const char* text;
    std::optional<int> expected;
  };
  const Case cases[] = {{"0", 0},      {"1", 1},      {"1000", 1000}, {nullptr, {}}, {"", {}},
                        {"-1", {}},    {"+1", {}},    {" 1", {}},     {"1.5", {}},   {"1ms", {}},
                        {"1001", {}},  {"99999999999999999999", {}}};
  for (const Case& c : cases) {
    EXPECT_EQ(ParseLatency(c.text), c.expected) << (c.text ? c.text : "null");
  }
}

// The latency replaces the scenario's own after the scale, so the other delays can be short while
// each report takes what a benchmark asks for; a rejected latency leaves the scenario's.
TEST(SimulationTest, LatencyAppliesAfterTheScaleToEitherDirection) {
  struct Case {
    const char* scenario;
    const char* scale;
    const char* latency;
    int wire_ms;
    int restart_ms;
  };
  const Case cases[] = {{"normal", "0.02", "1", 1, 20},      {"slow-link", "0.5", "1", 1, 500},
                        {"slow-link", "0.5", nullptr, 2, 500}, {"slow-link", nullptr, "bogus", 4, 1000},
                        {"normal", nullptr, "0", 0, 1000}};
  for (const Case& c : cases) {
    setenv("DOVOD_SIMULATE", c.scenario, 1);
    if (c.scale) setenv(kSimulateScaleVariable, c.scale, 1);
    else unsetenv(kSimulateScaleVariable);
    if (c.latency) setenv(kSimulateLatencyVariable, c.latency, 1);
    else unsetenv(kSimulateLatencyVariable);
    const SimulationRequest request = ReadSimulationRequest();
    const std::optional<sim::Scenario> scenario = ScenarioFor(request);
    ASSERT_TRUE(scenario) << c.scenario;
    EXPECT_EQ(scenario->timing.host_to_device_ms, c.wire_ms) << c.scenario << " " << (c.latency ? c.latency : "");
    EXPECT_EQ(scenario->timing.device_to_host_ms, c.wire_ms) << c.scenario << " " << (c.latency ? c.latency : "");
    EXPECT_EQ(scenario->timing.restart_ms, c.restart_ms) << c.scenario;
    EXPECT_TRUE(scenario->receiver) << c.scenario;
  }
  setenv("DOVOD_SIMULATE", "no-such-scenario", 1);
  EXPECT_FALSE(ScenarioFor(ReadSimulationRequest()));
  unsetenv("DOVOD_SIMULATE");
  unsetenv(kSimulateScaleVariable);
  unsetenv(kSimulateLatencyVariable);
}

}  // namespace
}  // namespace vorn::qt
