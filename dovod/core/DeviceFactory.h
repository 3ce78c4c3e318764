#pragma once
// How the device manager gets the objects of the layers above and below it without naming their
// classes: the protocol layer registers its plain-device factory here when the program starts, the
// transport layer defines make_default_receiver_bus; a test or host may replace the receiver bus
// through a factory.

#include <functional>
#include <memory>

#include "dovod/MakerValues.h"

namespace dovod {

class IDevice;
class IDeviceManager;
class IHardwareDevice;

// Makes the device object for an accepted hardware device that is not served as a receiver bus.
using PlainDeviceFactory = std::function<std::shared_ptr<IDevice>(const std::shared_ptr<IDeviceManager>& manager,
                                                                  const std::shared_ptr<IHardwareDevice>& hwdev)>;

// Installs the plain-device factory; the protocol layer calls it during static initialisation. Any
// thread.
void set_plain_device_factory(PlainDeviceFactory factory);

// A device made by the registered factory; not yet initialised. Empty when no factory is registered
// (a program linked without the protocol layer).
std::shared_ptr<IDevice> make_plain_device(const std::shared_ptr<IDeviceManager>& manager,
                                           const std::shared_ptr<IHardwareDevice>& hwdev);

// The library's receiver bus (a device that is also an IHardwareBus) for a receiver of the table;
// not yet initialised.
std::shared_ptr<IDevice> make_default_receiver_bus(const std::shared_ptr<IDeviceManager>& manager,
                                                   const std::shared_ptr<IHardwareDevice>& hwdev,
                                                   const maker::ReceiverRow& row);

// Makes the receiver bus for a receiver of the table instead of the library's own; not yet
// initialised. An empty result makes the device manager serve the receiver as a plain Device.
using ReceiverBusFactory = std::function<std::shared_ptr<IDevice>(
    const std::shared_ptr<IDeviceManager>& manager, const std::shared_ptr<IHardwareDevice>& hwdev,
    const maker::ReceiverRow& row)>;

// Replaces the receiver-bus factory; an empty function restores the default. Any thread.
void set_receiver_bus_factory(ReceiverBusFactory factory);

// The receiver bus made by the current factory, or by the library's default when none is set.
std::shared_ptr<IDevice> make_receiver_bus(const std::shared_ptr<IDeviceManager>& manager,
                                           const std::shared_ptr<IHardwareDevice>& hwdev,
                                           const maker::ReceiverRow& row);

}  // namespace dovod
