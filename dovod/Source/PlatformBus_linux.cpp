#include "Source/PlatformBus.h"

#include "Source/Linux/HidrawBus.h"

namespace dovod {

std::shared_ptr<IHardwareBus> make_platform_bus(const std::shared_ptr<IDeviceManager>&) {
  return make_hidraw_bus();
}

}  // namespace dovod
