#pragma once
// What the read thread of a HID device works with. The thread keeps this alive by itself and
// reaches the device only through a weak reference, so a device may be closed or destroyed while
// its thread is still on its way out.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "Source/HidDevice.h"

namespace dovod {

struct HidDevice::ReadThread {
  std::shared_ptr<HidChannel> channel;
  const char* name = nullptr;  // the device's log prefix
  unsigned length = 0;         // the read buffer, the longest input report
  unsigned product_id = 0;
  // Cleared by close before it stops the channel, and by the thread when it ends by itself.
  std::atomic<bool> running{true};
  // The start handshake: the starter waits until the thread runs.
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
};

}  // namespace dovod
