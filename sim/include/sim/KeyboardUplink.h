#pragma once
// The keyboard's way to the host: its own collections on the bus, or a slot of a receiver. The
// keyboard calls it on its own thread, after the wire's latency.

#include "sim/SimProtocol.h"

namespace sim {

class KeyboardUplink {
 public:
  virtual ~KeyboardUplink() = default;

  // One report of the keyboard, addressed as the keyboard sees itself (device index 0xFF).
  virtual void deliver(const Bytes& report) = 0;
  // The keyboard's link went down (restart, power loss, radio) or came back.
  virtual void link_changed(bool up) = 0;
};

}  // namespace sim
