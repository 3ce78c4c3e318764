#pragma once
// A bus that lives beside the HID bus and learns of device changes from the HID bus's window.

#include "dovod/DevBroadcastHdr.h"
#include "dovod/IHardwareBus.h"

namespace dovod {

class IHardwareSecondaryBus : public IHardwareBus {
 public:
  virtual void process_wm_devicechange(unsigned event, const DEV_BROADCAST_HDR* header) = 0;
};

}  // namespace dovod
