#pragma once
// One open handle of a HID device, as its platform provides it: the blocking read of one report,
// the bounded write of one prepared report, and the stop that ends both early. The device and its
// read thread share the channel; whichever lets go last destroys it, and the destructor releases
// the handle, so a read thread that is still on its way out never finds it closed under it.

#include <chrono>
#include <cstddef>

#include "dovod/Types.h"

namespace dovod {

class HidChannel {
 public:
  enum class ReadKind { Report, Stopped, Failed, Gone };
  struct ReadResult {
    ReadKind kind = ReadKind::Stopped;
    std::size_t length = 0;     // bytes of the report in the buffer, for Report
    unsigned system_error = 0;  // for Failed and Gone
  };

  // NotTaken: the system reached the device, which did not take the report (the device is still
  // there); Gone: the device has left.
  enum class WriteKind { Ok, TimedOut, Failed, NotTaken, Gone };
  struct WriteResult {
    WriteKind kind = WriteKind::Ok;
    unsigned system_error = 0;  // for Failed, NotTaken and Gone
  };

  virtual ~HidChannel() = default;

  // Blocks until one protocol report is in `buffer` (sized to the device's input length), the
  // channel is stopped, a read fails, or the device is gone. Once stop() was called every read
  // answers Stopped. Only the read thread calls it, without any of the device's locks.
  virtual ReadResult read(Bytes& buffer) = 0;
  // Hands the system one whole prepared report, waiting at most `limit`; a stop ends the wait with
  // Failed. Called with the device's write lock held, so never twice at once.
  virtual WriteResult write(const Bytes& report, std::chrono::milliseconds limit) = 0;
  // Wakes a blocked read and a waiting write for good. Any thread, any number of times.
  virtual void stop() = 0;
  // Whether the handle of an open device may still be used; on a platform whose bus can close it
  // underneath (a removal announced by the system), false makes the next open start again.
  // Called with the device's lock held.
  virtual bool still_open() { return true; }
};

}  // namespace dovod
