#pragma once
// The bootloader's side of a firmware transfer: numbers the packets, checks each image's records,
// answers repeated packets again without taking them twice, and remembers which images arrived whole.

#include <array>
#include <cstdint>

#include "firmware/RecordChecker.h"
#include "sim/SimProtocol.h"

namespace sim {

class BootloaderDfu {
 public:
  struct Answer {
    Byte status = 0;
    std::uint32_t packet_number = 0;
  };

  // The header packet (packet 0) of a new image; drops any image in progress.
  Answer start(const Bytes& header);
  // A data packet sent with `function` (its number modulo 4).
  Answer packet(int function, const Bytes& data);
  // Refuses the packet with `status` and drops the image in progress.
  Answer refuse(Byte status);

  bool image_complete(Byte selector) const;
  bool both_images_complete() const { return image_complete(0x01) && image_complete(0x02); }
  // A restart or power loss: the image in progress is gone, complete ones stay.
  void drop_partial();
  // The images were installed.
  void forget_images();

 private:
  Answer remember(Answer answer, const Bytes& data);

  firmware::RecordChecker checker_;
  bool transferring_ = false;
  std::uint32_t received_ = 0;  // number of the last packet taken; the header is 0
  bool have_last_ = false;
  Bytes last_packet_;
  Answer last_answer_;
  std::array<bool, 2> complete_{};
};

}  // namespace sim
