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
  bool is_removed() override;
  int bus_type() override;
  int device_index() override;
  int transport_detail() override;
  std::string name() override;
  unsigned pid() override;
  std::string product_name() override;
  int swid() override;
  std::shared_ptr<IHardwareDevice> hardware_device() override;

  bool set_configured(std::shared_ptr<IFeature> feature) override;
  bool configured() override;
  bool add_pending_change(std::shared_ptr<IFeature> feature) override;
  bool has_pending_changes() override;

  void shutdown() override;
  void forget() override;
  void confirm_configuration() override;
  void persistent_data_directory(const std::string& directory) override;
  std::shared_ptr<IFeature> feature_by_id(int id) override;
  std::vector<std::shared_ptr<IFeature>> features() override;
  bool sendCommand(const Bytes& request, bool subscribe_first) override;
  bool sendSynchronousCommand(const Bytes& request, Bytes& reply, int cache_mode,
                              const std::vector<int>& echo_positions) override;
  void abandon() override;
  bool retry_load_feature_root() override;
  std::string fwinfo() override;

  // The directory last given, with its trailing separator; "" when none.
  std::string persistent_dir() const;

 private:
  std::weak_ptr<IDeviceManager> manager_;
  const std::shared_ptr<IHardwareDevice> hwdev_;
  std::string persistent_dir_;
};

}  // namespace dovod
