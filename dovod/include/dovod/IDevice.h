#pragma once
// One device of the maker's protocol, as the host and the device manager see it. Every implementation
// also derives from Producer<IDevice::Report>, Producer<IDevice::WriteReport>,
// Producer<IDevice::Connect> and Producer<IDevice::ConfigChange>, in that order.

#include <memory>
#include <string>

#include "dovod/ErrorCode.h"
#include "dovod/Types.h"

namespace dovod {

class IDeviceManager;
class IHardwareDevice;

class IDevice {
 public:
  enum ReportType : int {
    Unhandled = 0,        // not for this library
    CommandResponse = 1,  // completed the pending request
    ForeignResponse = 2,  // another program's reply, or an unexpected one
    Notification = 3,
  };

  class Connect {
   public:
    virtual ~Connect() = default;
    virtual void onConnect(std::shared_ptr<IDevice> device, bool settings_retained) {}
    virtual void onDisconnect(std::shared_ptr<IDevice> device) {}
    virtual void onFirmwareChanged(std::shared_ptr<IDevice> device) {}
  };

  class Report {
   public:
    virtual ~Report() = default;
    virtual void onReport(const Bytes& report, unsigned a, unsigned b, ReportType type) {}
  };

  class WriteReport {
   public:
    virtual ~WriteReport() = default;
    virtual void onWriteReport(const Bytes& report, ErrorCode error, unsigned system_error) {}
  };

  class ConfigChange {
   public:
    virtual ~ConfigChange() = default;
    virtual void onConfigChange() {}
  };

  // Called once by the device manager right after construction.
  virtual bool initDevice(std::shared_ptr<IDeviceManager> manager) = 0;
  // Called by the device manager when the hardware device leaves.
  virtual void uninitDevice() = 0;
  virtual ~IDevice() = default;

  virtual bool connected() = 0;
  virtual int bus_type() = 0;
  // The hardware device's path.
  virtual std::string name() = 0;
  virtual unsigned pid() = 0;
  virtual std::string product_name() = 0;
  virtual std::shared_ptr<IHardwareDevice> hardware_device() = 0;

  // Called by the device manager's destruction: release what the library configured on the device.
  virtual void shutdown() = 0;
  // Called on resume from standby: check that the device still holds our configuration.
  virtual void confirm_configuration() = 0;
  // The folder of the device's cache file; "" means none.
  virtual void persistent_data_directory(const std::string& directory) = 0;
};

}  // namespace dovod
