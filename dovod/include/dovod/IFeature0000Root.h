#pragma once
// Feature 0x0000, at index 0 of every device: maps a feature id to its index on the device, tells the
// protocol version and answers pings. Out-parameters may be null; null ones are skipped.

#include "dovod/Types.h"

namespace dovod {

class IFeature0000Root {
 public:
  virtual ~IFeature0000Root() = default;
  // featureIndex 0 means that the device lacks the feature; that still counts as success.
  virtual bool GetFeature(int featureId, int* featureIndex, bool* obsolete, bool* hidden, bool* engineering,
                          int* version, int cacheable) = 0;
  virtual bool GetProtocolVersion(Byte pingSent, Byte* protocol, Byte* targetsw, Byte* pingReceived) = 0;
  // The protocol version, asked once per feature object and remembered after the first success.
  virtual bool TargetSw(Byte* protocol, int* targetsw) = 0;
  // Fails with `ErrorCode::PingMismatch` (78) when the device echoes another value.
  virtual bool Ping(Byte value) = 0;
};

}  // namespace dovod
