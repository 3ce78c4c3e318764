#include "core/DeviceFactory.h"

#include <mutex>

namespace dovod {
namespace {

std::mutex& factory_mutex() {
  static std::mutex mutex;
  return mutex;
}

PlainDeviceFactory& plain_device_factory() {
  static PlainDeviceFactory factory;
  return factory;
}

ReceiverBusFactory& receiver_bus_factory() {
  static ReceiverBusFactory factory;
  return factory;
}

}  // namespace

void set_plain_device_factory(PlainDeviceFactory factory) {
  std::lock_guard<std::mutex> lock(factory_mutex());
  plain_device_factory() = std::move(factory);
}

std::shared_ptr<IDevice> make_plain_device(const std::shared_ptr<IDeviceManager>& manager,
                                           const std::shared_ptr<IHardwareDevice>& hwdev) {
  PlainDeviceFactory factory;
  {
    std::lock_guard<std::mutex> lock(factory_mutex());
    factory = plain_device_factory();
  }
  return factory ? factory(manager, hwdev) : nullptr;
}

void set_receiver_bus_factory(ReceiverBusFactory factory) {
  std::lock_guard<std::mutex> lock(factory_mutex());
  receiver_bus_factory() = std::move(factory);
}

std::shared_ptr<IDevice> make_receiver_bus(const std::shared_ptr<IDeviceManager>& manager,
                                           const std::shared_ptr<IHardwareDevice>& hwdev,
                                           const maker::ReceiverRow& row) {
  ReceiverBusFactory factory;
  {
    std::lock_guard<std::mutex> lock(factory_mutex());
    factory = receiver_bus_factory();
  }
  return factory ? factory(manager, hwdev, row) : make_default_receiver_bus(manager, hwdev, row);
}

}  // namespace dovod
