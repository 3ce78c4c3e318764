#pragma once
// The one place where the device manager gets its platform bus. A host, the device simulator or a
// test replaces it; without a factory the platform's own HID bus is used.

#include <functional>
#include <memory>

namespace dovod {

class IDeviceManager;
class IHardwareBus;

using HardwareBusFactory =
    std::function<std::shared_ptr<IHardwareBus>(const std::shared_ptr<IDeviceManager>& manager)>;

// Replaces the factory for every later connectToHardwareBusses; an empty function restores the
// platform default. Any thread.
void set_hardware_bus_factory(HardwareBusFactory factory);

// The bus that connectToHardwareBusses starts with, made by the current factory.
std::shared_ptr<IHardwareBus> make_hardware_bus(const std::shared_ptr<IDeviceManager>& manager);

}  // namespace dovod
