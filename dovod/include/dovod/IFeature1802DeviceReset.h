#pragma once
// Feature 0x1802: forces the device to restart.

namespace dovod {

class IFeature1802DeviceReset {
 public:
  virtual ~IFeature1802DeviceReset() = default;
  // A failure is only logged.
  virtual void forceDeviceReset() = 0;
};

}  // namespace dovod
