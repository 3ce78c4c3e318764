#pragma once
// The simulated keyboard behind a hidraw node: each open of the node makes a SOCK_SEQPACKET socket
// pair (one message per report, as hidraw has), whose far end carries the reports to and from the
// simulator. A restart of the keyboard is what the kernel shows of a USB device that re-enumerates:
// the node leaves (its descriptor reads end of file) and comes back.

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedDeviceSource.h"
#include "Source/Linux/HidrawSystem.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Subscriber.h"
#include "sim/SimHardwareBus.h"

namespace dovod::test {

class SimHidrawWire : public IHidrawSystem,
                      public Subscriber<IHardwareDevice::Read>,
                      public Subscriber<IHardwareDevice::Connect> {
 public:
  static constexpr const char* kNode = "/dev/hidraw0";

  SimHidrawWire(std::shared_ptr<sim::SimHardwareBus> keyboard_bus, std::shared_ptr<ScriptedDeviceSource> source);
  ~SimHidrawWire() override;

  // Connects to the keyboard and lists its node.
  bool start();

  int open_node(const std::string& path) override;
  bool raw_info(int fd, HidrawInfo& info) override;
  bool report_descriptor(int fd, Bytes& descriptor) override;
  bool raw_name(int fd, std::string& name) override;

  void onRead(Bytes report, bool relayed, unsigned error, unsigned length) override;
  void onConnect(std::shared_ptr<IHardwareDevice> device) override;
  void onDisconnect(std::shared_ptr<IHardwareDevice> device) override;

 private:
  void carry_requests(int firmware_end, int stop);

  const std::shared_ptr<sim::SimHardwareBus> keyboard_bus_;
  const std::shared_ptr<ScriptedDeviceSource> source_;
  std::shared_ptr<IHardwareDevice> keyboard_;
  std::mutex mutex_;
  // The far ends of the descriptors open now: like a hidraw node, every one gets every input report.
  std::vector<int> open_ends_;
  int stop_[2] = {-1, -1};
  std::vector<int> ends_;
  std::vector<std::thread> carriers_;
};

}  // namespace dovod::test
