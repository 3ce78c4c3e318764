#pragma once
// A Bluetooth bus as the pairing bus sees it.

#include <string>

#include "dovod/DevBroadcastHdr.h"

namespace dovod {

class IBluetoothBus {
 public:
  virtual ~IBluetoothBus() = default;

  // Whether a paired Bluetooth device is reachable through the HID collection at `path`.
  virtual bool device_paired_on_path(const std::string& path) = 0;

  virtual void process_wm_devicechange(unsigned event, const DEV_BROADCAST_HDR* header) {}
};

}  // namespace dovod
