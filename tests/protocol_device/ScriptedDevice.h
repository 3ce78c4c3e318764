#pragma once
// A hardware device that answers each written request from its own thread, as a keyboard behind a
// HID collection would: a small table of features (root, feature set, firmware information, config
// cookie, ...) answered by position, and a hook through which a test replaces, loses or adds replies.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"

namespace dovod::testing {

class ScriptedDevice : public IHardwareDevice,
                       public Producer<IHardwareDevice::Write>,
                       public Producer<IHardwareDevice::Read>,
                       public Producer<IHardwareDevice::Connect> {
 public:
  // Returns nothing to let the table answer; otherwise the reports to send instead (none = lost).
  using Hook = std::function<std::optional<std::vector<Bytes>>(const Bytes& request)>;

  // feature_ids[i] is the feature at index i; index 0 must be the root (0x0000).
  explicit ScriptedDevice(std::vector<int> feature_ids = {0x0000, 0x0001, 0x0003, 0x0020}, unsigned pid = 0xB3F1,
                          int bus_type = 0, std::string path = "scripted-device");
  ~ScriptedDevice() override;

  bool connected() override { return connected_; }
  bool open() override { return true; }
  void close() override {}
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<IHardwareBus> bus() override { return nullptr; }
  std::string path() override { return path_; }
  unsigned pid() override { return pid_; }
  std::string product_name() override { return "Scripted"; }
  int bus_type() override { return bus_type_; }
  int command_timeout_ms() override { return timeout_ms; }
  bool verify_connection_following_timeout() override { return still_connected; }

  void set_hook(Hook hook);
  // Sends a report from the device's thread, after anything already queued.
  void inject(Bytes report);
  // Waits until every queued request and report has been handled.
  void wait_idle();
  // Changes the connection and produces the Connect event.
  void set_connected(bool value);

  std::vector<Bytes> writes();
  // Requests written for a feature index and function (the ping is index 0, function 1).
  int count_writes(Byte index, int function);

  // The table's answer to a request: the reply a keyboard would send; a plain acknowledgement for
  // an index beyond the table.
  Bytes answer(const Bytes& request);

  // Device state the table answers from.
  std::atomic<int> timeout_ms{40};
  std::atomic<bool> still_connected{true};
  std::atomic<std::uint16_t> fw_version{0x0512};
  std::atomic<std::uint16_t> cookie{0};
  // A Vexa 1.0 error byte for the protocol-version request; -1 answers it normally.
  std::atomic<int> protocol_error{-1};

 private:
  void run();

  const std::vector<int> feature_ids_;
  const unsigned pid_;
  const int bus_type_;
  const std::string path_;
  std::atomic<bool> connected_{true};

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::pair<bool, Bytes>> queue_;  // true: a request to answer; false: a report to send
  bool busy_ = false;
  bool stopping_ = false;
  Hook hook_;
  std::vector<Bytes> writes_;
  std::thread thread_;
};

// Builds a long reply to `request` carrying `params` (padded to 16 bytes).
Bytes reply_to(const Bytes& request, const Bytes& params);
// A Vexa 2.0 error reply to `request` with error byte `error`.
Bytes vxp20_error(const Bytes& request, Byte error);
// A Vexa 1.0 error reply to `request` with error byte `error`.
Bytes vxp10_error(const Bytes& request, Byte error);

}  // namespace dovod::testing
