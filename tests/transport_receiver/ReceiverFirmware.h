#pragma once
// A receiver's firmware as a fake hardware device's answer hook: answers the Vexa 1.0 register
// requests from a small register file and announces its paired devices when asked. Paired devices'
// requests go to a hook (by default answered with a Vexa 1.0 error: "not a Vexa 2.0 device").

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "dovod/Types.h"

namespace dovod::testing {

struct PairedSlot {
  unsigned pid = 0;
  bool link_up = true;
  std::string name;
};

class ReceiverFirmware {
 public:
  // Answers instead of the register file when it returns reports (none: the request is lost).
  using Hook = std::function<std::optional<std::vector<Bytes>>(const Bytes& request)>;

  explicit ReceiverFirmware(int receiver_type) : receiver_type_(receiver_type) {}

  // Pairs a device in `slot` (0-based) without telling anybody.
  void Pair(int slot, unsigned pid, bool link_up = true, std::string name = "Vorn");
  void Unpair(int slot);
  // Connection notification for `slot` as the receiver sends it for its current pairing.
  Bytes connection_of(int slot);
  // Another program writes register 0 with these bytes; returns the echo the receiver sends to
  // everyone.
  Bytes register_zero_written(Byte b4, Byte b5, Byte b6);

  // Any thread; called on the thread that answers.
  void set_hook(Hook hook);
  void set_device_hook(Hook hook);
  // The reports the receiver sends for a written request.
  std::vector<Bytes> respond(const Bytes& request);

  std::array<Byte, 3> register_value(Byte reg);
  void set_register(Byte reg, std::array<Byte, 3> value);

  // Announcements the receiver leaves out when asked for every paired device.
  std::atomic<int> silent_slot{-1};
  // The device count it reports; -1 reports the number of paired devices.
  std::atomic<int> reported_count{-1};
  std::array<Byte, 6> slot_values{};

  // A short connection notification as the receiver sends it.
  static Bytes connection(int index, int receiver_type, unsigned pid, bool link_up);

 private:
  std::vector<Bytes> answer(const Bytes& request);
  std::vector<Bytes> announce_all();

  const int receiver_type_;
  std::mutex mutex_;
  Hook hook_;
  Hook device_hook_;
  std::map<Byte, std::array<Byte, 3>> registers_;
  std::map<int, PairedSlot> paired_;
};

}  // namespace dovod::testing
