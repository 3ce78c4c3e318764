// The scenario catalogue, its scaling, and installing the simulated bus through the library's seam.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dovod/HardwareBusFactory.h"
#include "dovod/LastError.h"
#include "sim/SimKeyboard.h"
#include "sim/SimulatedBus.h"

namespace {

void set_simulate(const char* value) {
#ifdef _WIN32
  _putenv_s(sim::kSimulateVariable, value ? value : "");
#else
  if (value) {
    setenv(sim::kSimulateVariable, value, 1);
  } else {
    unsetenv(sim::kSimulateVariable);
  }
#endif
}

class SimulateVariable : public ::testing::Test {
 protected:
  void TearDown() override {
    set_simulate(nullptr);
    sim::uninstall_simulated_bus();
  }
};

TEST(ScenarioCatalogue, HasEveryNamedScenarioOnce) {
  for (const char* name : {"normal", "in-bootloader", "up-to-date", "lost-replies", "removed-mid-transfer",
                           "bootloader-rejects", "bootloader-fails", "power-loss", "foreign-traffic",
                           "slow-link", "replug-on-restart"}) {
    const auto found = sim::find_scenario(name);
    ASSERT_TRUE(found) << name;
    EXPECT_EQ(found->name, name);
  }
  EXPECT_FALSE(sim::find_scenario("Normal"));
  EXPECT_FALSE(sim::find_scenario(""));
}

TEST(ScenarioCatalogue, ScalingShrinksEveryDelayButKeepsThemNonZero) {
  sim::Scenario s = *sim::find_scenario("removed-mid-transfer");
  s.timing = {3, 0, 1000};
  const sim::Scenario scaled = s.scaled(0.01);
  EXPECT_EQ(scaled.timing.host_to_device_ms, 1) << "a delay never scales away";
  EXPECT_EQ(scaled.timing.device_to_host_ms, 0);
  EXPECT_EQ(scaled.timing.restart_ms, 10);
  ASSERT_EQ(scaled.faults.size(), 1u);
  EXPECT_EQ(scaled.faults[0].duration_ms, 15);
  EXPECT_EQ(scaled.faults[0].when.occurrence, s.faults[0].when.occurrence);
}

TEST_F(SimulateVariable, NamesTheScenarioThatTheDeviceManagerGets) {
  set_simulate("in-bootloader");
  const auto bus = sim::install_simulated_bus_from_environment();
  ASSERT_TRUE(bus);
  EXPECT_EQ(bus->keyboard()->scenario().name, "in-bootloader");
  EXPECT_EQ(dovod::make_hardware_bus(nullptr), bus);
  EXPECT_EQ(dovod::make_hardware_bus(nullptr), bus) << "the same bus every time";
}

TEST_F(SimulateVariable, UnsetInstallsNothingAndAnUnknownNameFails) {
  set_simulate(nullptr);
  EXPECT_FALSE(sim::install_simulated_bus_from_environment());
  EXPECT_EQ(dovod::last_error().code, dovod::ErrorCode::None);

  set_simulate("no-such-scenario");
  EXPECT_FALSE(sim::install_simulated_bus_from_environment());
  EXPECT_EQ(dovod::last_error().code, dovod::ErrorCode::NotPresent);
}

TEST_F(SimulateVariable, UninstallGivesThePlatformBusBack) {
  const auto bus = sim::install_simulated_bus(*sim::find_scenario("normal"));
  ASSERT_EQ(dovod::make_hardware_bus(nullptr), bus);
  sim::uninstall_simulated_bus();
  EXPECT_NE(dovod::make_hardware_bus(nullptr), bus);
}

}  // namespace
