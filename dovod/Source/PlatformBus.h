#pragma once
// The platform's own HID bus, used when no factory replaces it. One source per platform.

#include <memory>

namespace dovod {

class IDeviceManager;
class IHardwareBus;

std::shared_ptr<IHardwareBus> make_platform_bus(const std::shared_ptr<IDeviceManager>& manager);

}  // namespace dovod
