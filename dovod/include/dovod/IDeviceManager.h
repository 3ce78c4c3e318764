#pragma once
// The root of the library as the host sees it: devices, library-wide switches, configuration items
// and the run-loop queue. Implemented by the facade CDovod and by the device manager behind it.
//
// Threads: the host thread is the one that pumps the run loop (call_event_from_runloop). Every
// operation but is_active and the run-loop ones belongs to it: the device list and the buses are
// kept there without a lock. Those others may be called on any thread. After CDovod::shutdown the
// facade's operations that would make a device manager answer false, empty or a default value with
// `ErrorCode::NotAvailable` (72), and the others do nothing. Failures answer false (or empty) and
// leave the reason in LastError; nothing throws.

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
  // A device was made for an accepted hardware device, or its hardware device left. Host thread
  // (produced from the buses' events, which arrive through the run loop, and from the first
  // listing). The first subscription starts the hardware buses and is refused when they cannot
  // start, with the bus's LastError.
  class ArrivalRemoval {
   public:
    virtual ~ArrivalRemoval() = default;
    virtual void onDeviceArrival(std::shared_ptr<IDevice> device) {}
    virtual void onDeviceRemoval(std::shared_ptr<IDevice> device) {}
  };

  // Produced on set_active's thread (the host thread).
  class ActiveChanged {
   public:
    virtual ~ActiveChanged() = default;
    virtual void onActiveChanged(bool active) {}
  };

  // An error that no caller could receive (a failed subscription inside the library, a receiver
  // given up after its retries, a receiver's enumeration mismatch). Produced on the thread that met
  // the error: the host thread or a read thread; subscribe RunLoop to get it on the host thread.
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

  // The devices made so far. The first call starts the hardware buses (see ArrivalRemoval) and so
  // blocks while every bus lists and checks its devices; later calls only let the buses refresh.
  // Empty with LastError cleared when there are none; empty with the bus's code when the buses
  // could not start (`ErrorCode::EnumerationFailed` (42) for the platform bus).
  virtual std::vector<std::shared_ptr<IDevice>> devices() = 0;
  // The devices whose hardware device belongs to `bus` (a device that is also a bus: a receiver);
  // empty when it is not a bus. Never blocks.
  virtual std::vector<std::shared_ptr<IDevice>> devices_on_bus(std::shared_ptr<IDevice> bus) = 0;
  // Sets the software id to value & 0x0F and returns it.
  virtual int swid(int value) = 0;
  // The software id: chosen once from 10 to 14 unless set.
  virtual int swid() = 0;
  // Whether the library acts on the devices (answers at once, any thread).
  virtual bool is_active() = 0;
  // Produces ActiveChanged when the state changes, and on every set_active(true); the devices then
  // release or take back their configuration on the host thread. Never blocks.
  virtual void set_active(bool active) = 0;
  // Produces UnreportedError from the calling thread's LastError, when it holds an error, on the
  // calling thread. The record is not cleared. Any thread.
  virtual void report_unreported_error(const char* where) = 0;
  // Queues one run-loop event and produces RunLoopEvent, on the calling thread. Any thread; holds
  // only the queue's lock, never while a subscriber runs.
  virtual void enqueue_event_for_runloop(RunLoopCall call, const void* subscriber_key,
                                         const void* producer_key, const std::string& description) = 0;
  // Delivers at most one queued event on the calling thread, which becomes the host thread: the
  // event's handler runs here and may block as long as the operations it calls.
  virtual void call_event_from_runloop() = 0;
  // Discards the queued events of one subscription (both keys null: all). Any thread.
  virtual void remove_runloop_events(const void* subscriber_key, const void* producer_key) = 0;
  // The folder of the library's cache files, handed on to every bus and device. Host thread.
  virtual void persistent_data_directory(std::string directory) = 0;
  // The configuration operations answer false with `ErrorCode::InvalidConfigItem` (76) for an item
  // above 8. config_set of a new value while the buses run rebuilds them, blocking as the first
  // devices() does. Host thread.
  virtual bool config_default(unsigned item, bool* out) = 0;
  virtual bool config_get(unsigned item, bool* out) = 0;
  virtual bool config_set(unsigned item, bool value) = 0;
  // Makes the platform bus (with the combiner in front when it asks for one) and adds it: blocks as
  // devices() does. False with the bus's LastError. Host thread.
  virtual bool connectToHardwareBusses() = 0;
  // Makes and initialises the protocol device for a hardware device: a receiver's bus when
  // tandem_active is set, `force_plain` is 0 and `pid` is in the maker's receiver table, a plain
  // device otherwise; empty for no hardware device. Never blocks; the device talks to the hardware
  // only when asked. Host thread.
  virtual std::shared_ptr<IDevice> makeDevice(std::shared_ptr<IHardwareDevice> hwdev, int force_plain,
                                              int pid) = 0;
};

}  // namespace dovod
