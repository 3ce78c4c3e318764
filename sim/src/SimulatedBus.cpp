#include "sim/SimulatedBus.h"

#include <cstdlib>
#include <string>

#include "dovod/HardwareBusFactory.h"
#include "dovod/LastError.h"

namespace sim {

std::shared_ptr<SimHardwareBus> install_simulated_bus(const Scenario& scenario) {
  auto bus = SimHardwareBus::create(scenario);
  dovod::set_hardware_bus_factory(
      [bus](const std::shared_ptr<dovod::IDeviceManager>&) -> std::shared_ptr<dovod::IHardwareBus> { return bus; });
  return bus;
}

std::shared_ptr<SimHardwareBus> install_simulated_bus_from_environment() {
  const char* value = std::getenv(kSimulateVariable);
  if (!value || !*value) {
    dovod::clear_last_error();
    return nullptr;
  }
  const auto scenario = find_scenario(value);
  if (!scenario) {
    dovod::set_last_error(dovod::ErrorCode::NotPresent, 0, "DOVOD_SIMULATE names no scenario");
    return nullptr;
  }
  return install_simulated_bus(*scenario);
}

void uninstall_simulated_bus() { dovod::set_hardware_bus_factory({}); }

}  // namespace sim
