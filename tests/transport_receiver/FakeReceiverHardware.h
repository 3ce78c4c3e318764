#pragma once
// The HID collection of a receiver for tests: answers the Vexa 1.0 register requests from a small
// register file on a thread of its own, announces its paired devices when asked, records every
// write, and sends notifications when a test calls Simulate...(). Paired devices' requests go to a
// hook (by default answered with a Vexa 1.0 error: "not a Vexa 2.0 device").

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"

namespace dovod::testing {

struct PairedSlot {
  unsigned pid = 0;
  bool link_up = true;
  std::string name;
};

class FakeReceiverHardware : public IHardwareDevice,
                             public Producer<IHardwareDevice::Write>,
                             public Producer<IHardwareDevice::Read>,
                             public Producer<IHardwareDevice::Connect> {
 public:
  // Answers instead of the register file when it returns reports (none: the request is lost).
  using Hook = std::function<std::optional<std::vector<Bytes>>(const Bytes& request)>;

  FakeReceiverHardware(unsigned pid, int receiver_type, std::string path = "receiver-1");
  ~FakeReceiverHardware() override;

  bool connected() override { return true; }
  bool open() override { return true; }
  void close() override {}
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<IHardwareBus> bus() override { return nullptr; }
  std::string path() override { return path_; }
  unsigned pid() override { return pid_; }
  std::string product_name() override { return "Fake receiver"; }
  int command_timeout_ms() override { return timeout_ms; }
  int receiver_detail() override { return 0x5A; }

  // Pairs a device in `slot` (0-based) without telling anybody.
  void Pair(int slot, unsigned pid, bool link_up = true, std::string name = "Vorn");
  void Unpair(int slot);
  // Sends a report as if the receiver had read it from the air or produced it itself.
  void SimulateReport(Bytes report);
  // Connection notification for `slot` as the receiver sends it for its current pairing.
  void SimulateConnection(int slot);
  // Another program writes register 0 with these bytes; the receiver echoes the write to everyone.
  void SimulateRegisterZeroWrite(Byte b4, Byte b5, Byte b6);

  void set_hook(Hook hook);
  void set_device_hook(Hook hook);
  // Waits until every request and report queued so far has been handled.
  void wait_idle();

  std::vector<Bytes> writes();
  // Writes to the receiver itself with this sub-id and register (and, when given, byte 4).
  int count_requests(Byte sub_id, Byte reg, int byte4 = -1);
  std::array<Byte, 3> register_value(Byte reg);
  void set_register(Byte reg, std::array<Byte, 3> value);

  // Announcements the receiver leaves out when asked for every paired device.
  std::atomic<int> silent_slot{-1};
  // The device count it reports; -1 reports the number of paired devices.
  std::atomic<int> reported_count{-1};
  std::atomic<int> timeout_ms{60};
  std::array<Byte, 6> slot_values{};

  // A short connection notification as the receiver sends it.
  static Bytes connection(int index, int receiver_type, unsigned pid, bool link_up);

 private:
  std::vector<Bytes> answer(const Bytes& request);
  std::vector<Bytes> announce_all();
  void run();

  const unsigned pid_;
  const int receiver_type_;
  const std::string path_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::pair<bool, Bytes>> queue_;  // true: a request to answer; false: a report to send
  bool busy_ = false;
  bool stopping_ = false;
  Hook hook_;
  Hook device_hook_;
  std::vector<Bytes> writes_;
  std::map<Byte, std::array<Byte, 3>> registers_;
  std::map<int, PairedSlot> paired_;
  std::thread thread_;
};

// A Vexa 1.0 error answer to `request` with `error` in byte 5.
Bytes vxp10_error_to(const Bytes& request, Byte error);

}  // namespace dovod::testing
