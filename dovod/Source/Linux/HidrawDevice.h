#pragma once
// The IHardwareDevice of one hidraw node. A node carries every top-level collection of its HID
// interface, so one object holds the maker's short and long collections together. The first open
// decides whether the node speaks the maker's protocol; everything after the open is the HID
// device base's, over a HidrawChannel.

#include <bitset>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "Source/HidDevice.h"
#include "Source/Linux/HidrawSystem.h"

namespace dovod {

class HidrawDevice : public HidDevice {
 public:
  // `parent` names the physical device the node belongs to; it groups the node with its siblings
  // when the node is only a piece of a device. `generation` is the bus's count of arrivals at this
  // path, handed back when the device reports its removal. Nothing is opened here.
  HidrawDevice(std::weak_ptr<IHidBusLink> bus, std::shared_ptr<IHidrawSystem> system, std::string path,
               std::string parent = {}, std::chrono::milliseconds write_limit = kWriteLimit,
               std::uint64_t generation = 0);

 protected:
  std::shared_ptr<HidChannel> open_channel(HidLayout* layout) override;

 private:
  bool validate(int fd, HidLayout& layout);

  const std::shared_ptr<IHidrawSystem> system_;
  const std::string parent_;
  // Report ids of the protocol collections, learnt on the first open; guarded as open_channel is.
  std::bitset<256> protocol_ids_;
};

}  // namespace dovod
