#pragma once
// The root of the library as the host sees it: devices, library-wide switches, configuration items
// and the run-loop queue. Implemented by the facade CDovod and by the device manager behind it.

#include <memory>
#include <string>
#include <vector>

#include "dovod/ErrorCode.h"
#include "dovod/RunLoop.h"

namespace dovod {

class IDevice;
class IHardwareBus;
class IHardwareDevice;

class IDeviceManager {
 public:
  class ArrivalRemoval {
   public:
    virtual ~ArrivalRemoval() = default;
    virtual void onDeviceArrival(std::shared_ptr<IDevice> device) {}
    virtual void onDeviceRemoval(std::shared_ptr<IDevice> device) {}
  };

  class ActiveChanged {
   public:
    virtual ~ActiveChanged() = default;
    virtual void onActiveChanged(bool active) {}
  };

  class UnreportedError {
   public:
    virtual ~UnreportedError() = default;
    virtual void onUnreportedError(const char* where, ErrorCode code, const char* message,
                                   unsigned long system_error) {}
  };

  // The run-loop trigger. The host subscribes once with Direct delivery and answers every call,
  // which may come on any thread, with one later call of call_event_from_runloop on its own thread.
  class RunLoopEvent {
   public:
    virtual ~RunLoopEvent() = default;
    virtual void onRunLoopEvent() {}
  };

  // Configuration items.
  enum ConfigItem : unsigned {
    bluetooth_active = 0,
    ble_active = 1,
    ble_monitor = 2,
    use_blepp = 3,
    tandem_active = 4,
    usb_active = 5,
    gatt_process_wide = 6,
    brb_workaround = 7,
    generic_cache = 8,
  };
  static constexpr unsigned kConfigItemCount = 9;

  virtual ~IDeviceManager() = default;

  virtual std::vector<std::shared_ptr<IDevice>> devices() = 0;
  // The devices whose hardware device belongs to `bus` (a device that is also a bus: a receiver);
  // empty when it is not a bus.
  virtual std::vector<std::shared_ptr<IDevice>> devices_on_bus(std::shared_ptr<IDevice> bus) = 0;
  // Sets the software id to value & 0x0F and returns it.
  virtual int swid(int value) = 0;
  // The software id: chosen once from 10 to 14 unless set.
  virtual int swid() = 0;
  virtual bool is_active() = 0;
  virtual void set_active(bool active) = 0;
  // Produces UnreportedError from the calling thread's LastError, when it holds an error.
  virtual void report_unreported_error(const char* where) = 0;
  virtual void enqueue_event_for_runloop(RunLoopCall call, const void* subscriber_key,
                                         const void* producer_key, const std::string& description) = 0;
  // Delivers at most one queued event on the calling thread.
  virtual void call_event_from_runloop() = 0;
  virtual void remove_runloop_events(const void* subscriber_key, const void* producer_key) = 0;
  virtual void persistent_data_directory(std::string directory) = 0;
  // The configuration operations answer false with LastError 76 for an item above 8.
  virtual bool config_default(unsigned item, bool* out) = 0;
  virtual bool config_get(unsigned item, bool* out) = 0;
  virtual bool config_set(unsigned item, bool value) = 0;
  virtual bool connectToHardwareBusses() = 0;
  virtual std::shared_ptr<IDevice> makeDevice(std::shared_ptr<IHardwareDevice> hwdev, int force_plain,
                                              int pid) = 0;
};

}  // namespace dovod
