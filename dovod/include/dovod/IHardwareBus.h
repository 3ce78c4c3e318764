#pragma once
// A source of hardware devices that announces their arrival and removal through PlugUnplug. Every
// implementation also derives from Producer<IHardwareBus::PlugUnplug>.

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
    virtual void onPlug(std::shared_ptr<IHardwareDevice> device) {}
    // `device` is a fresh, unopened object naming the departed device by its path: match by path,
    // never by identity.
    virtual void onUnplug(std::shared_ptr<IHardwareDevice> device) {}
    virtual void onPowerChange(bool standBy) {}
  };

  virtual ~IHardwareBus() = default;

  // The devices present now. An empty list with a non-zero LastError code means enumeration failed.
  virtual std::vector<std::shared_ptr<IHardwareDevice>> devices() = 0;

  // When not empty, the device manager puts a pairing bus in front of this bus.
  virtual std::vector<std::shared_ptr<IBluetoothBus>> bluetooth_busses() { return {}; }

  // The device manager hands every bus its data directory after adding it.
  virtual void persistent_data_directory(std::string directory) {}

  // When true, the device manager puts a combiner bus in front of this bus.
  virtual bool wants_combiner() { return false; }

  // Buses that the device manager adds beside this one.
  virtual std::vector<std::shared_ptr<IHardwareSecondaryBus>> secondary_busses() { return {}; }

  virtual void refresh() {}
};

}  // namespace dovod
