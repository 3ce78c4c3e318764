#pragma once
// One open hidraw node: its descriptor, set non-blocking so that every wait happens in poll where
// close can cut it short through the stop pipe. A node carries every top-level collection of its
// HID interface; reads pass on the reports of the protocol's collections only.

#include <bitset>
#include <chrono>

#include "Source/HidChannel.h"

namespace dovod {

class HidrawChannel : public HidChannel {
 public:
  // Takes ownership of the three descriptors. `protocol_ids` are the report ids a read passes on.
  HidrawChannel(int fd, int stop_read, int stop_write, std::bitset<256> protocol_ids);
  ~HidrawChannel() override;
  HidrawChannel(const HidrawChannel&) = delete;
  HidrawChannel& operator=(const HidrawChannel&) = delete;

  ReadResult read(Bytes& buffer) override;
  WriteResult write(const Bytes& report, std::chrono::milliseconds limit) override;
  void stop() override;

 private:
  const int fd_;
  const int stop_read_;   // readable once the channel is stopped, and stays so
  const int stop_write_;
  const std::bitset<256> protocol_ids_;
};

}  // namespace dovod
