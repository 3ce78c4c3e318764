#pragma once
// The library's object for one device of the maker's protocol, made by the device manager for every
// accepted hardware device. For now it carries the device's identity and its place in the device
// manager's life cycle; the command engine and feature discovery build on it.

#include <memory>
#include <string>

#include "dovod/IDevice.h"
#include "dovod/IDeviceManager.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

class Device : public IDevice,
               public Producer<IDevice::Report>,
               public Producer<IDevice::WriteReport>,
               public Producer<IDevice::Connect>,
               public Producer<IDevice::ConfigChange>,
               public std::enable_shared_from_this<Device> {
 public:
  Device(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hwdev);
  ~Device() override;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool initDevice(std::shared_ptr<IDeviceManager> manager) override;
  void uninitDevice() override;

  bool connected() override;
  int bus_type() override;
  std::string name() override;
  unsigned pid() override;
  std::string product_name() override;
  std::shared_ptr<IHardwareDevice> hardware_device() override;

  void shutdown() override;
  void confirm_configuration() override;
  void persistent_data_directory(const std::string& directory) override;

  // The directory last given, with its trailing separator; "" when none.
  std::string persistent_dir() const;

 private:
  std::weak_ptr<IDeviceManager> manager_;
  const std::shared_ptr<IHardwareDevice> hwdev_;
  std::string persistent_dir_;
};

}  // namespace dovod
