#pragma once
// One device of the maker's protocol, as the host and the device manager see it. Every implementation
// also derives from Producer<IDevice::Report>, Producer<IDevice::WriteReport>,
// Producer<IDevice::Connect> and Producer<IDevice::ConfigChange>, in that order.
//
// Threads: "host thread" below is the thread that pumps the run loop (call_event_from_runloop).
// Operations that send a request and wait for its reply block the calling thread and must never be
// called on a read thread, whose reports are the replies they wait for; every other operation
// answers at once from any thread. An event is produced on the thread named at it; a subscriber
// with RunLoop delivery receives it later on the host thread. Failures answer false (or empty) and
// leave the reason in LastError; nothing throws.

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
    // The device is connected and its firmware checked; `settings_retained` when it proved to
    // still hold the configuration this library wrote. Host thread.
    virtual void onConnect(std::shared_ptr<IDevice> device, bool settings_retained) {}
    // Host thread, or the commanding thread when the command engine quarantines a silent
    // wireless device.
    virtual void onDisconnect(std::shared_ptr<IDevice> device) {}
    // The firmware identity differs from the one last read; the features were forgotten. Produced
    // on the thread that ran the check (the host thread, or a commanding thread).
    virtual void onFirmwareChanged(std::shared_ptr<IDevice> device) {}
  };

  class Report {
   public:
    virtual ~Report() = default;
    // Every report read, classified, while the library is active. Read thread.
    virtual void onReport(const Bytes& report, unsigned a, unsigned b, ReportType type) {}
  };

  class WriteReport {
   public:
    virtual ~WriteReport() = default;
    // Every write outcome, and every failure of the command engine (with an empty report), while
    // the library is active. Produced on the writing or commanding thread.
    virtual void onWriteReport(const Bytes& report, ErrorCode error, unsigned system_error) {}
  };

  class ConfigChange {
   public:
    virtual ~ConfigChange() = default;
    // The device became configured by this library, or lost that configuration. Produced on the
    // thread of the change: set_configured's or forget's caller, or the host thread on connection.
    virtual void onConfigChange() {}
  };

  // Called once by the device manager right after construction, on the host thread. Opens the
  // cross-process command mutex and subscribes to the manager and the device's timers; failures
  // there are logged or reported through UnreportedError, and the answer is true.
  virtual bool initDevice(std::shared_ptr<IDeviceManager> manager) = 0;
  // Called by the device manager when the hardware device leaves, on the host thread: marks the
  // device removed (later requests fail with `ErrorCode::DeviceRemoved` (28)) and leaves the
  // hardware device's events. Never blocks.
  virtual void uninitDevice() = 0;
  virtual ~IDevice() = default;

  // Whether the device is connected; the first call subscribes to the hardware device. Does not
  // block.
  virtual bool connected() = 0;
  // This and the identity accessors down to hardware_device answer at once, on any thread, except
  // product_name, which may ask a receiver (see IHardwareDevice::product_name).
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

  // Configuration ownership: a feature that changed a persistent setting on the device. The first
  // one writes a new configuration cookie (blocking, as a command) and produces onConfigChange.
  virtual bool set_configured(std::shared_ptr<IFeature> feature) = 0;
  virtual bool configured() = 0;
  // A feature whose change must be written when the device reconnects.
  virtual bool add_pending_change(std::shared_ptr<IFeature> feature) = 0;
  virtual bool has_pending_changes() = 0;

  // Called by the device manager's destruction: release what the library configured on the device.
  // Sends commands, so it blocks as sendSynchronousCommand does; failures are only logged.
  virtual void shutdown() = 0;
  // Drops every feature but the root, the configuration bookkeeping and the reply cache.
  virtual void forget() = 0;
  // The folder of the device's cache file; "" means none.
  virtual void persistent_data_directory(const std::string& directory) = 0;

  // The feature object for `id`, asking the device for its index the first time (blocking, as
  // sendSynchronousCommand). Empty with `ErrorCode::NotPresent` (30) when the device lacks the
  // feature, `ErrorCode::NotVxp20` (22) when the device does not speak Vexa 2.0, or the command
  // engine's code when asking failed.
  virtual std::shared_ptr<IFeature> feature_by_id(int id) = 0;
  // Every feature known so far, in index order. Never blocks.
  virtual std::vector<std::shared_ptr<IFeature>> features() = 0;

  // Writes one report without waiting for a reply; blocks only as IHardwareDevice::write does.
  // Fails with `ErrorCode::Abandoned` (55), `ErrorCode::DeviceRemoved` (28),
  // `ErrorCode::InvalidDeviceHandle` (7) when the hardware device is not connected, or the write's
  // code. The write's outcome is produced as onWriteReport on the calling thread.
  virtual bool sendCommand(const Bytes& request, bool subscribe_first) = 0;
  // Writes a request and waits for its reply, with pings and retries. cache_mode 1 lets constant
  // replies come from and go to the reply cache; echo_positions are parameter indexes (0 = byte 4)
  // whose bytes the reply must repeat. Never on a read thread.
  // Blocks: first for the cross-process command mutex (held by other programs' commands), then at
  // most IHardwareDevice::command_timeout_ms per attempt, for up to 11 attempts; after a soft
  // failure the next attempt waits a back-off (DeviceTuning::ping_jitter_ms, ping_backoff_base_ms)
  // and a ping. A wireless device that stays silent for 5 attempts is quarantined.
  // Fails with `ErrorCode::NoResponse` (4) when the retries ran out, `ErrorCode::NotConnected` (5)
  // for a quarantined or unreachable device, `ErrorCode::Abandoned` (55),
  // `ErrorCode::SwidCollision` (68), `ErrorCode::FwVersionChanged` (67), an error reply's code
  // (`ErrorCode::Vxp10ErrorFirst` .. `ErrorCode::Vxp10ErrorOther` (8..21) or
  // `ErrorCode::Vxp20ErrorFirst` .. `ErrorCode::Vxp20ErrorOther` (44..54), the error byte in
  // system_error), or sendCommand's codes. Each failed attempt is produced as onWriteReport with an
  // empty report on this thread; `reply` is untouched on failure.
  virtual bool sendSynchronousCommand(const Bytes& request, Bytes& reply, int cache_mode,
                                      const std::vector<int>& echo_positions) = 0;
  // Ends a waiting command with `ErrorCode::Abandoned` (55) and fails every later one. Any thread;
  // never blocks beyond the command mutex.
  virtual void abandon() = 0;
  // Asks the device for its protocol version again after an earlier refusal; blocks as
  // sendSynchronousCommand.
  virtual bool retry_load_feature_root() = 0;
  // The firmware identity last read; "" when not read yet. Never blocks.
  virtual std::string fwinfo() = 0;
  // Called on resume from standby, on the host thread: check that the device still holds our
  // configuration. Blocks for the commands of the check; produces onConnect as a connection does.
  virtual void confirm_configuration() = 0;
};

}  // namespace dovod
