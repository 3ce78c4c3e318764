#pragma once
// The filter buses that the device manager stacks in front of a platform bus. The transport layer
// defines them, so that the manager never names their classes.

#include <memory>

namespace dovod {

class IDeviceManager;
class IHardwareBus;

// A combiner bus over `underlying`, for a bus whose wants_combiner answers true.
std::shared_ptr<IHardwareBus> make_combiner_bus(const std::shared_ptr<IDeviceManager>& manager,
                                                const std::shared_ptr<IHardwareBus>& underlying);

}  // namespace dovod
