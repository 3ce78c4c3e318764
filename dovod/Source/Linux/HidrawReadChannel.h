#pragma once
// What the read thread of a hidraw device works with. The thread keeps the channel alive by itself
// and reaches the device only through a weak reference, so a device may be closed or destroyed
// while its thread is still on its way out.

#include <atomic>
#include <bitset>
#include <memory>

namespace dovod {

class HidrawDevice;

struct HidrawReadChannel {
  int fd = -1;
  int stop = -1;           // readable once the device is closing
  unsigned length = 0;     // the longest input report of the node
  unsigned product_id = 0;
  std::bitset<256> protocol_ids;  // report ids of the protocol collections
  // Cleared by close before it wakes the thread; the thread touches neither descriptor after it
  // sees this clear.
  std::atomic<bool> running{true};
};

void hidraw_read_loop(std::shared_ptr<HidrawReadChannel> channel, std::weak_ptr<HidrawDevice> device);

}  // namespace dovod
