#pragma once
// One numbered function group of a device. A device hands its features out through feature_by_id;
// callers cast to the feature's own interface (IFeature00d0DFU ...) and treat a failed cast as an
// absent feature. Every feature is also a Producer<IFeature::FeatureReport>.
//
// Threads: a command that waits for its reply blocks the calling thread exactly as the device's
// IDevice::sendSynchronousCommand does (bounded by IHardwareDevice::command_timeout_ms per attempt
// and the engine's retries) and must never run on a read thread. Failures answer false and leave
// the reason in LastError: `ErrorCode::DeviceRemoved` (28) once the device object is gone, else
// the command engine's code unless an operation says otherwise; a failed operation leaves its
// out-parameters as they were.

#include <memory>
#include <vector>

#include "dovod/Types.h"

namespace dovod {

class IDevice;

class IFeature {
 public:
  class FeatureReport {
   public:
    virtual ~FeatureReport() = default;
    // A notification (software id 0) for this feature; payload is the report from its fifth byte.
    // Produced on the device's read thread while the library is active.
    virtual void onFeatureReport(int function, const Bytes& payload) {}
    // A response for this feature that completed none of our commands, usually another program's.
    // Produced on the device's read thread while the library is active.
    virtual void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) {}
  };

  virtual ~IFeature() = default;
  virtual int feature_id() = 0;
  // Hands the request to the device without waiting for a reply (IDevice::sendCommand: blocks only
  // for the write). Any thread but a read thread.
  virtual bool sendFeatureCommandAsync(int function, const Bytes& params) = 0;
  // On success `reply` holds the reply's parameter bytes (from the fifth byte on). Fails also with
  // `ErrorCode::CommandResponseTooShort` (2) for a reply shorter than 7 bytes and
  // `ErrorCode::Mismatch` (1) when the reply names another feature index, function or software id.
  virtual bool sendFeatureCommand(int function, const Bytes& params, Bytes& reply, int cacheable) = 0;
  virtual bool sendFeatureCommand(int function, const Bytes& params, Bytes& reply, int cacheable,
                                  const std::vector<int>& echoPositions) = 0;
  // The flags and table entries below answer at once from any thread.
  virtual bool configured() = 0;
  virtual bool pending() = 0;
  // Empty once the device is gone.
  virtual std::shared_ptr<IDevice> device() = 0;
  virtual bool obsolete() = 0;
  virtual bool hidden() = 0;
  virtual bool engineering() = 0;
  virtual int feature_index() = 0;
  virtual int feature_version() = 0;
  virtual std::shared_ptr<IFeature> shared_self() = 0;
};

}  // namespace dovod
