#pragma once
// What the command engine asks of the device that owns it, and nothing more: the engine sees the
// device's feature table, connection and configuration only through these answers. The engine calls
// every operation without any of its own locks held unless the operation says otherwise.

#include "dovod/ErrorCode.h"

namespace dovod {

class ICommandEngineHost {
 public:
  virtual ~ICommandEngineHost() = default;

  // Whether the device speaks Vexa 2.0 (its root feature is known): requests then carry the
  // software id and pings are possible. Called with the engine's command mutex held, so it may take
  // only the device's feature-table lock.
  virtual bool feature_based() = 0;
  // Whether the device manager has removed the device.
  virtual bool removed() = 0;
  // Subscribes the device to its hardware device's reads once; false with LastError when that
  // failed. Takes no lock once subscribed, which is the only case met with the command mutex held.
  virtual bool ensure_subscribed() = 0;
  // A failed command attempt, told to the device's write-report subscribers.
  virtual void report_write_failure(ErrorCode code, unsigned third) = 0;
  // The device stayed silent through several retries: it is treated as disconnected until the
  // hardware device connects again. Produces the disconnect event.
  virtual void quarantine() = 0;
  // Checks that the firmware has not changed since its identity was read; false with LastError.
  // Sends synchronous commands through the engine.
  virtual bool check_firmware() = 0;
  // A command failed for good: whatever the device last wrote may not have taken effect.
  virtual void command_failed() = 0;
  // The reply cache gained an entry and should be written out in a while.
  virtual void cache_changed() = 0;
  // The software id that the device manager hands out, 0 when it has none. May be called with the
  // engine's command or cache mutex held: it takes no lock of the device.
  virtual int manager_swid() = 0;
};

}  // namespace dovod
