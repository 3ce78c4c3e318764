// The receiver bus that the device manager makes for a receiver when no factory replaces it.
#include "Source/TandemBus.h"
#include "core/DeviceFactory.h"

namespace dovod {

std::shared_ptr<IDevice> make_default_receiver_bus(const std::shared_ptr<IDeviceManager>& manager,
                                                   const std::shared_ptr<IHardwareDevice>& hwdev,
                                                   const maker::ReceiverRow& row) {
  return std::make_shared<TandemBus>(manager, hwdev, row.type_code, row.slots);
}

}  // namespace dovod
