#pragma once
// Feature 0x00D0, offered by the bootloader: takes a firmware image in 16-byte packets and reports
// the progress as DFU status values (payload byte 4 of each status).

#include "dovod/Types.h"

namespace dovod {

class IFeature00d0DFU {
 public:
  class Report {
   public:
    virtual ~Report() = default;
    // `payload` is the status report from its fifth byte; byte 4 is the status, bytes 2 and 3 the
    // packet number.
    virtual void onDfuStatus(unsigned packetNumber, Bytes payload) {}
  };

  virtual ~IFeature00d0DFU() = default;
  // Sends the image's first 16 bytes; `status` (required) gets the first status, `reply` the payload.
  virtual bool DFUStart(const Bytes& packet, int* status, Bytes* reply) = 0;
  // Sends the packet that follows the one numbered packetNumber; its status arrives as onDfuStatus.
  virtual bool DFUSendPacket(int packetNumber, const Bytes& packet) = 0;
  virtual bool DFURestart(Byte value) = 0;
};

}  // namespace dovod
