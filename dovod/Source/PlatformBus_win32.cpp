#include "Source/PlatformBus.h"

#include "Source/Windows/Win32Bus.h"

namespace dovod {

std::shared_ptr<IHardwareBus> make_platform_bus(const std::shared_ptr<IDeviceManager>& manager) {
  auto bus = std::make_shared<Win32Bus>(manager);
  bus->init();
  return bus;
}

}  // namespace dovod
