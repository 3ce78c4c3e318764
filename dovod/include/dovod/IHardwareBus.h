#pragma once
// A source of hardware devices that announces their arrival and removal through PlugUnplug. Every
// implementation also derives from Producer<IHardwareBus::PlugUnplug>.
//
// Threads: the device manager calls the operations on the host thread and subscribes with RunLoop
// delivery, so its handlers run there too. A bus produces its events on whichever thread finds the
// change: the platform bus's monitor thread, a device's read thread when a read finds the device
// gone, the receiver's read thread for a receiver's paired devices, or the thread of a call that
// discovered a removal (verify_connection_following_timeout); the combiner, which hears its
// underlying bus through the run loop, produces on the host thread. The first subscription may
// start a thread; a refused subscription answers false with the bus's LastError. Nothing throws.

#include <memory>
#include <string>
#include <vector>

namespace dovod {

class IHardwareDevice;
class IHardwareSecondaryBus;
class IBluetoothBus;

class IHardwareBus {
 public:
  class PlugUnplug {
   public:
    virtual ~PlugUnplug() = default;
    // A device arrived after the bus was first asked for its devices; announced once per arrival.
    virtual void onPlug(std::shared_ptr<IHardwareDevice> device) {}
    // `device` is a fresh, unopened object naming the departed device by its path: match by path,
    // never by identity. Announced once per arrival, whichever thread finds the removal first.
    virtual void onUnplug(std::shared_ptr<IHardwareDevice> device) {}
    // The computer goes to standby (true) or resumes (false), on buses that can tell.
    virtual void onPowerChange(bool standBy) {}
  };

  virtual ~IHardwareBus() = default;

  // The devices present now. An empty list with a non-zero LastError code means enumeration failed
  // (`ErrorCode::EnumerationFailed` (42) for the platform bus, the command engine's code for a
  // receiver); an empty list with LastError cleared means there are none. Blocks while the devices
  // are listed and opened once to check them; a receiver's bus asks the receiver and waits for its
  // answers (IHardwareDevice::command_timeout_ms per request), so never call it on a read thread.
  virtual std::vector<std::shared_ptr<IHardwareDevice>> devices() = 0;

  // When not empty, the device manager puts a pairing bus in front of this bus.
  virtual std::vector<std::shared_ptr<IBluetoothBus>> bluetooth_busses() { return {}; }

  // The device manager hands every bus its data directory after adding it.
  virtual void persistent_data_directory(std::string directory) {}

  // When true, the device manager puts a combiner bus in front of this bus.
  virtual bool wants_combiner() { return false; }

  // Buses that the device manager adds beside this one.
  virtual std::vector<std::shared_ptr<IHardwareSecondaryBus>> secondary_busses() { return {}; }

  // Gives the bus a chance to bring its list up to date; called before every device listing.
  virtual void refresh() {}
};

}  // namespace dovod
