#pragma once
// Sends a firmware image to the simulated bootloader packet by packet, the way the update does:
// the header through DFU start, then each next packet after a status 1, numbered after that status.

#include <chrono>
#include <cstdint>
#include <vector>

#include "KeyboardLink.h"

namespace simtest {

struct TransferOutcome {
  Byte start_status = 0;
  // The first status other than 1 and the packet it answered.
  Byte last_status = 0;
  std::uint32_t last_number = 0;
  // Packets written again because their reply did not come.
  int resends = 0;
  // No reply came to a packet even after resending it.
  bool silent = false;
  // Statuses of the replies, in order, starting with the notification after the start.
  std::vector<Byte> statuses;
};

// The packet number and status of a DFU reply or notification.
std::uint32_t dfu_number(const Bytes& report);
Byte dfu_status(const Bytes& report);

TransferOutcome send_image(KeyboardLink& link, int dfu_index, const std::vector<Bytes>& packets,
                           std::chrono::milliseconds reply_limit = kGuard);

}  // namespace simtest
