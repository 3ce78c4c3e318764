#pragma once
// Puts the simulated keyboard's bus in place of the platform's HID bus, through the library's bus
// seam: every later start of the device manager's buses uses it.

#include <memory>

#include "sim/Scenario.h"
#include "sim/SimHardwareBus.h"

namespace sim {

// The environment variable that names the scenario the application simulates.
constexpr const char* kSimulateVariable = "DOVOD_SIMULATE";

// Installs a bus with the scenario's keyboard and answers it; the device manager gets this same bus
// each time it asks.
std::shared_ptr<SimHardwareBus> install_simulated_bus(const Scenario& scenario);

// Installs the scenario DOVOD_SIMULATE names. Empty when the variable is unset or empty (nothing is
// installed), and with LastError NotPresent when it names no scenario.
std::shared_ptr<SimHardwareBus> install_simulated_bus_from_environment();

// The platform's bus again for later starts.
void uninstall_simulated_bus();

}  // namespace sim
