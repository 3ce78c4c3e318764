#pragma once
// What a protocol device paired to a receiver asks of that receiver. The hardware device of such a
// device implements it, so the device reaches its receiver without knowing the transport.
// Host thread; each call may send synchronous commands to the receiver.

namespace dovod {

class IReceiverLink {
 public:
  virtual ~IReceiverLink() = default;

  // Tells the receiver that software holding settings for its devices is present. False with
  // LastError (`ErrorCode::DeviceRemoved` (28) when the receiver is gone).
  virtual bool set_software_present() = 0;
  // Marks this device's configuration as complete on the receiver, so a change written at the next
  // reconnection is expected. False with LastError
  // (`ErrorCode::DeviceRemoved` (28) when the receiver is gone).
  virtual bool set_configuration_complete() = 0;
  // The library is shutting down: withdraw the software-present mark from the receiver.
  virtual void release_receiver() = 0;
};

}  // namespace dovod
