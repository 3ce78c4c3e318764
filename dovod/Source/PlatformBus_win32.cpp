#include "Source/PlatformBus.h"

#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/LastError.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {
namespace {

// Until the Windows HID bus exists: a bus on which nothing is ever found.
class EmptyBus : public IHardwareBus, public Producer<IHardwareBus::PlugUnplug> {
 public:
  std::vector<std::shared_ptr<IHardwareDevice>> devices() override {
    clear_last_error();
    return {};
  }
};

}  // namespace

std::shared_ptr<IHardwareBus> make_platform_bus(const std::shared_ptr<IDeviceManager>&) {
  return std::make_shared<EmptyBus>();
}

}  // namespace dovod
