// Feeds arbitrary reports to a receiver bus, the way a receiver, its paired devices or another
// program could send them: straight into its read handler (connection, disconnection, lock and
// register notifications, reports routed to paired devices, each of which gets a protocol device on
// plug), or as the answer to one of the bus's own register commands.
// Input: byte 0 holds flags (bit 0 a command waits, bits 1-2 which one), byte 1 the slot count (1-7)
// and the slot a command asks about, then reports, each as a length byte followed by that many bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "FakeHardwareDevice.h"
#include "ProtocolReplies.h"
#include "Source/TandemBus.h"
#include "dovod/CDovod.h"
#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "protocol/Device.h"

namespace {

using dovod::Byte;
using dovod::Bytes;

// A receiver's HID collection that answers every register request plainly, or with the fuzzed
// reports instead when they are scripted.
std::shared_ptr<dovod::testing::FakeHardwareDevice> fuzz_receiver() {
  using dovod::testing::FakeHardwareDevice;
  auto hw = std::make_shared<FakeHardwareDevice>("fuzz-receiver", 0xC510, FakeHardwareDevice::Answering::Threaded);
  hw->timeout_ms = 5;
  hw->set_answer([](const Bytes& r) -> std::vector<Bytes> {
    if (r.size() < 7 || r[1] != 0xFF) return {};
    if (r[2] == 0x83) return {dovod::testing::reply_to(r, {r[4]})};
    return {dovod::testing::short_reply_to(r, {r[4], 0, 0})};
  });
  return hw;
}

// Gives every plugged paired device a protocol device, so routed reports reach a read handler.
class Pairer : public dovod::Subscriber<dovod::IHardwareBus::PlugUnplug> {
 public:
  void onPlug(std::shared_ptr<dovod::IHardwareDevice> hwdev) override {
    auto device = std::make_shared<dovod::Device>(manager, hwdev);
    device->initDevice(manager);
    device->connected();
    devices.push_back(device);
  }
  std::shared_ptr<dovod::IDeviceManager> manager;
  std::vector<std::shared_ptr<dovod::Device>> devices;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const auto hw = fuzz_receiver();
  const Byte flags = data[0];
  const int slots = 1 + (data[1] & 0x07) % 7;
  const int asked_slot = data[1] >> 4;
  std::vector<Bytes> reports;
  for (std::size_t at = 2; at < size;) {
    const std::size_t length = data[at++];
    const std::size_t end = std::min(size, at + length);
    reports.emplace_back(data + at, data + end);
    at = end;
  }

  std::shared_ptr<dovod::IDeviceManager> manager = dovod::CDovod::instance();
  {
    auto bus = std::make_shared<dovod::TandemBus>(manager, hw, 4, slots);
    bus->initDevice(manager);
    Pairer pairer;
    pairer.manager = manager;
    pairer.subscribe(bus, dovod::Direct);
    if (flags & 1) {
      // A receiver never sends an empty report.
      std::vector<Bytes> scripted;
      std::copy_if(reports.begin(), reports.end(), std::back_inserter(scripted), [](const Bytes& r) { return !r.empty(); });
      hw->ScriptNextAnswer(std::move(scripted));
      switch ((flags >> 1) & 3) {
        case 0:
          // A name can never be longer than a long report holds.
          if (bus->devname(asked_slot).size() > 14) __builtin_trap();
          break;
        case 1:
          bus->read_slot_values();
          break;
        case 2:
          bus->devices();
          break;
        default:
          bus->open_lock();
          break;
      }
    } else {
      for (const Bytes& report : reports) bus->onRead(report, false, 0, static_cast<unsigned>(report.size()));
    }
    hw->wait_idle();
    // The receiver lives through every input; what it was sent is of no use to the next one.
    hw->clear_written();
    pairer.unsubscribe(bus);
  }
  // Nothing pumps the run loop here; queued events of this input go with it.
  dovod::remove_runloop_events(nullptr, nullptr);
  return 0;
}
