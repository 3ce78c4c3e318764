// The one place that chooses the platform's HID bus.
#include "dovod/HardwareBusFactory.h"

#include <mutex>

#include "Source/PlatformBus.h"

namespace dovod {
namespace {

std::mutex& factory_mutex() {
  static std::mutex mutex;
  return mutex;
}

HardwareBusFactory& current_factory() {
  static HardwareBusFactory factory;
  return factory;
}

}  // namespace

void set_hardware_bus_factory(HardwareBusFactory factory) {
  std::lock_guard<std::mutex> lock(factory_mutex());
  current_factory() = std::move(factory);
}

std::shared_ptr<IHardwareBus> make_hardware_bus(const std::shared_ptr<IDeviceManager>& manager) {
  HardwareBusFactory factory;
  {
    std::lock_guard<std::mutex> lock(factory_mutex());
    factory = current_factory();
  }
  return factory ? factory(manager) : make_platform_bus(manager);
}

}  // namespace dovod
