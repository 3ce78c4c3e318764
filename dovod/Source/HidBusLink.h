#pragma once
// What a HID device needs of its bus, on every platform: the bus itself for `bus()`, and the two
// calls through which the device reports that it is gone or asks whether it still exists.

#include <cstdint>
#include <memory>
#include <string>

namespace dovod {

class IHardwareBus;

class IHidBusLink {
 public:
  virtual ~IHidBusLink() = default;

  virtual std::shared_ptr<IHardwareBus> hardware_bus() = 0;
  // Produces onUnplug for the path unless the bus has already announced its removal. `generation`
  // is the one the bus gave the device, so that a late report about a path that has since been
  // reused by another device does not remove that device. Called on the thread that found the
  // removal (a read thread or a writer), with none of the device's locks held.
  virtual void read_failed_with_disconnect_error(const std::string& path, std::uint64_t generation) = 0;
  // Whether the device still exists; when it does not, the bus has produced onUnplug for it. May
  // block for a fresh enumeration.
  virtual bool verify_device_exists(const std::string& path) = 0;
};

}  // namespace dovod
