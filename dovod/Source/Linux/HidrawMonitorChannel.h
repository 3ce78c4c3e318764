#pragma once
// What the monitor thread of the hidraw bus works with. Like a device's read thread, it reaches
// the bus only through a weak reference, so the bus may be destroyed while the thread leaves.

#include <atomic>
#include <memory>

namespace dovod {

class HidrawBus;

struct HidrawMonitorChannel {
  int fd = -1;          // readable while the device source has an event waiting
  int stop_read = -1;   // readable once the bus is going away
  int stop_write = -1;
  // Cleared before the thread is woken; after seeing it clear the thread touches nothing else.
  std::atomic<bool> running{true};
};

void hidraw_monitor_loop(std::shared_ptr<HidrawMonitorChannel> channel, std::weak_ptr<HidrawBus> bus);

}  // namespace dovod
