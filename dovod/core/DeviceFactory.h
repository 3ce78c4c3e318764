#pragma once
// How the device manager gets the objects of the layers above and below it without naming their
// classes: the protocol layer defines make_plain_device; the receiver bus comes through a factory.

#include <functional>
#include <memory>

#include "dovod/MakerValues.h"

namespace dovod {

class IDevice;
class IDeviceManager;
class IHardwareDevice;

// A protocol Device for an accepted hardware device; not yet initialised.
std::shared_ptr<IDevice> make_plain_device(const std::shared_ptr<IDeviceManager>& manager,
                                           const std::shared_ptr<IHardwareDevice>& hwdev);

// Makes the receiver bus (a device that is also an IHardwareBus) for a receiver of the table; not yet
// initialised. SEAM: the receiver bus is not written yet, so no factory is set by default and
// makeDevice serves a receiver as a plain Device; the receiver-bus change installs its default here.
using ReceiverBusFactory = std::function<std::shared_ptr<IDevice>(
    const std::shared_ptr<IDeviceManager>& manager, const std::shared_ptr<IHardwareDevice>& hwdev,
    const maker::ReceiverRow& row)>;

// Replaces the receiver-bus factory; an empty function restores the default. Any thread.
void set_receiver_bus_factory(ReceiverBusFactory factory);

// The receiver bus made by the current factory, or empty when none is set.
std::shared_ptr<IDevice> make_receiver_bus(const std::shared_ptr<IDeviceManager>& manager,
                                           const std::shared_ptr<IHardwareDevice>& hwdev,
                                           const maker::ReceiverRow& row);

}  // namespace dovod
