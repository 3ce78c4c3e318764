#pragma once
// The Vexa 1.0 register commands that ask a receiver about its paired devices. Stateless; each
// sends one synchronous command through the receiver's protocol device, so it blocks the calling
// thread until the answer or the timeout. False with LastError: `ErrorCode::NullDevice` (19)
// without a device, `ErrorCode::CommandResponseTooShort` (2) for an answer too short for the
// register, otherwise the command engine's code.

#include <string>

namespace dovod {

class IDevice;

struct VXP10Command {
  // Asks the receiver to send a connection notification for every paired device; the receiver
  // answers once it has sent them all.
  static bool set_receiver_connection_state(IDevice* device);
  // The number of devices the receiver reports, and the second value of its register, unchanged.
  static bool read_receiver_connection_state(IDevice* device, unsigned& count, unsigned& second);
  // The name the receiver keeps for the device in `slot` (0-based).
  static bool read_receiver_paired_device_name(IDevice* device, int slot, std::string& name);
};

}  // namespace dovod
