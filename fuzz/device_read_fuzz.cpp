// Feeds arbitrary reports to a device's read routing, the way a device or another program could send
// them: to a device without features and to one with its root, firmware information, cookie and
// wireless-status features loaded, with and without a command waiting for its reply.
// Input: byte 0 holds flags (bit 0 loaded device, bit 1 a command waits, bit 2 relayed reports,
// bits 3-4 the echo position), bytes 1-3 the waiting request's index, function and parameter,
// then reports, each as a length byte followed by that many bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "FakeHardwareDevice.h"
#include "KeyboardFirmware.h"
#include "protocol/Device.h"

namespace {

using dovod::Byte;
using dovod::Bytes;

// The discovery requests are answered from a small feature table, unless the input scripts the
// reports sent instead.
std::shared_ptr<dovod::testing::FakeHardwareDevice> fuzz_hardware() {
  using dovod::testing::FakeHardwareDevice;
  auto keyboard = std::make_shared<dovod::testing::KeyboardFirmware>(std::vector<int>{0x0000, 0x0001, 0x0003, 0x0020, 0x1D4B});
  auto hw = std::make_shared<FakeHardwareDevice>("fuzz", 0xB3F1, FakeHardwareDevice::Answering::Threaded);
  hw->timeout_ms = 5;
  hw->set_answer([keyboard](const Bytes& request) { return keyboard->respond(request); });
  return hw;
}

struct Rig {
  std::shared_ptr<dovod::testing::FakeHardwareDevice> hw = fuzz_hardware();
  std::shared_ptr<dovod::Device> device = std::make_shared<dovod::Device>(nullptr, hw);
  explicit Rig(bool loaded) {
    device->initDevice(nullptr);
    if (loaded) {
      device->feature_by_id(0x0020);
      device->feature_by_id(0x1D4B);
    }
  }
};

Rig& rig(bool loaded) {
  static Rig plain(false);
  static Rig with_features(true);
  return loaded ? with_features : plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const Byte flags = data[0];
  std::vector<Bytes> reports;
  for (std::size_t at = 4; at < size;) {
    const std::size_t length = data[at++];
    const std::size_t end = std::min(size, at + length);
    reports.emplace_back(data + at, data + end);
    at = end;
  }
  Rig& r = rig(flags & 1);
  const bool relayed = flags & 4;
  if (flags & 2) {
    const Bytes request{0x10, 0xFF, data[1], data[2], 0, 0, data[3]};
    r.hw->ScriptNextAnswer(reports);
    Bytes reply;
    if (r.device->sendSynchronousCommandWithoutRetry(request, reply, {(flags >> 3) & 3}, true) && reply.size() < 7) {
      __builtin_trap();  // a completed command always carries a whole report
    }
    r.hw->wait_idle();
  } else {
    for (const Bytes& report : reports) r.device->onRead(report, relayed, 0, static_cast<unsigned>(report.size()));
  }
  // The rigs live through every input; what they were sent is of no use to the next one.
  r.hw->clear_written();
  return 0;
}
