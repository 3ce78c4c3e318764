#pragma once
// One device of the maker's protocol, as the host and the device manager see it. Every implementation
// also derives from Producer<IDevice::Report>, Producer<IDevice::WriteReport>,
// Producer<IDevice::Connect> and Producer<IDevice::ConfigChange>, in that order.

#include <memory>
#include <string>
#include <vector>

#include "dovod/ErrorCode.h"
#include "dovod/Types.h"

namespace dovod {

class IDeviceManager;
class IFeature;
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
  virtual bool is_removed() = 0;
  virtual int bus_type() = 0;
  // The slot number plus 1 behind a receiver; 0 for a directly attached collection.
  virtual int device_index() = 0;
  virtual int transport_detail() = 0;
  // The hardware device's path.
  virtual std::string name() = 0;
  virtual unsigned pid() = 0;
  virtual std::string product_name() = 0;
  // The software id (1-15) this library puts in the low nibble of byte 3 of its requests.
  virtual int swid() = 0;
  virtual std::shared_ptr<IHardwareDevice> hardware_device() = 0;

  // Configuration ownership: a feature that changed a persistent setting on the device.
  virtual bool set_configured(std::shared_ptr<IFeature> feature) = 0;
  virtual bool configured() = 0;
  // A feature whose change must be written when the device reconnects.
  virtual bool add_pending_change(std::shared_ptr<IFeature> feature) = 0;
  virtual bool has_pending_changes() = 0;

  // Called by the device manager's destruction: release what the library configured on the device.
  virtual void shutdown() = 0;
  // Drops every feature but the root, the configuration bookkeeping and the reply cache.
  virtual void forget() = 0;
  // The folder of the device's cache file; "" means none.
  virtual void persistent_data_directory(const std::string& directory) = 0;

  // Empty with LastError 30 when the device lacks the feature.
  virtual std::shared_ptr<IFeature> feature_by_id(int id) = 0;
  // Every feature known so far, in index order.
  virtual std::vector<std::shared_ptr<IFeature>> features() = 0;

  // Writes one report without waiting for a reply.
  virtual bool sendCommand(const Bytes& request, bool subscribe_first) = 0;
  // Writes a request and waits for its reply, with pings and retries. cache_mode 1 lets constant
  // replies come from and go to the reply cache; echo_positions are parameter indexes (0 = byte 4)
  // whose bytes the reply must repeat.
  virtual bool sendSynchronousCommand(const Bytes& request, Bytes& reply, int cache_mode,
                                      const std::vector<int>& echo_positions) = 0;
  // Ends a waiting command with code 55 and fails every later one.
  virtual void abandon() = 0;
  virtual bool retry_load_feature_root() = 0;
  // The firmware identity last read; "" when not read yet.
  virtual std::string fwinfo() = 0;
  // Called on resume from standby: check that the device still holds our configuration.
  virtual void confirm_configuration() = 0;
};

}  // namespace dovod
