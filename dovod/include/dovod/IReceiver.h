#pragma once
// A USB receiver as the host sees it: the protocol device of the receiver itself, which is also the
// bus of the wireless devices paired to it. Every implementation also derives from
// Producer<IReceiver::LockingChange> and Producer<IReceiver::RegisterZeroOverwritten>.
//
// The operations send Vexa 1.0 register commands to the receiver and so block the calling thread
// until the receiver answers; never call them on a read thread. A failure answers false and leaves
// the reason in LastError: the command engine's code, or `ErrorCode::CommandResponseTooShort` (2)
// when the answer was too short.

#include <memory>
#include <vector>

#include "dovod/Types.h"

namespace dovod {

class IDevice;

class IReceiver {
 public:
  // Bytes 3 and 4 of the receiver's pairing-lock notification, passed on unchanged.
  using State = Byte;
  using ErrorType = Byte;

  class LockingChange {
   public:
    virtual ~LockingChange() = default;
    // The pairing lock opened, closed or failed; produced on the receiver's read thread.
    virtual void onLockingChange(std::shared_ptr<IDevice> receiver, State state, ErrorType error) {}
  };

  class RegisterZeroOverwritten {
   public:
    virtual ~RegisterZeroOverwritten() = default;
    // Some program (this library included) wrote the receiver's notification register.
    virtual void onRegisterZeroOverwritten() {}
  };

  virtual ~IReceiver() = default;

  // The devices the device manager holds on this receiver; empty when the manager is gone.
  virtual std::vector<std::shared_ptr<IDevice>> paired_devices() = 0;
  // Reads one value per slot from the receiver and gives each paired device its slot's value.
  virtual bool read_slot_values() = 0;
  // True for the receivers of the table that have two slots.
  virtual bool two_slot_receiver() = 0;
  // Opens or closes the pairing lock; the outcome arrives later as onLockingChange.
  virtual bool open_lock() = 0;
  virtual bool close_lock() = 0;
  // Asks the receiver to unpair the device with this device index (slot number plus 1).
  virtual bool unpair(int device) = 0;
};

}  // namespace dovod
