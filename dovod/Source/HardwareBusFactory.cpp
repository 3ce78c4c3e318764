// The one place that chooses the platform's HID bus.
#include "dovod/HardwareBusFactory.h"

#include <mutex>

#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/LastError.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {
namespace {

// The platform default until the platform HID buses exist: a bus on which nothing is ever found.
class EmptyBus : public IHardwareBus, public Producer<IHardwareBus::PlugUnplug> {
 public:
  std::vector<std::shared_ptr<IHardwareDevice>> devices() override {
    clear_last_error();
    return {};
  }
};

std::shared_ptr<IHardwareBus> make_platform_bus(const std::shared_ptr<IDeviceManager>&) {
  return std::make_shared<EmptyBus>();
}

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
