#pragma once
// The simulated receiver: one row of the maker's receiver table, its Vexa 1.0 registers and
// notifications, and the devices paired to it: the keyboard in one slot, and optionally simple
// devices in others that answer their root feature only. Requests with a device index go to the
// device in that slot; the device's reports come back with its index in byte 1. Everything the
// receiver sends to the host leaves from its own thread, which plays the receiver's read thread.
//
// Notifications (0x40, 0x41, 0x4A) are sent only while bit 0 of byte 5 of register 0 is set. A set
// of register 0, by us or by another program, is answered with {0x10, 0xFF, 0x80, 0x00, ...}, which
// every reader of the receiver sees.

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "dovod/MakerValues.h"
#include "sim/Scenario.h"
#include "sim/SimEndpoint.h"

namespace sim {

class Scheduler;
class SimKeyboard;

class SimReceiver : public SimEndpoint, public std::enable_shared_from_this<SimReceiver> {
 public:
  static constexpr const char* kPath = "sim/vorn-receiver";
  static constexpr const char* kProductName = "Corvane Wireless Receiver";

  // Sub ids and notifications of the receiver protocol (byte 2).
  static constexpr Byte kSetShort = 0x80;
  static constexpr Byte kGetShort = 0x81;
  static constexpr Byte kGetLong = 0x83;
  static constexpr Byte kErrorAnswer = 0x8F;
  static constexpr Byte kDisconnection = 0x40;
  static constexpr Byte kConnection = 0x41;
  static constexpr Byte kLockChange = 0x4A;
  // Error bytes (byte 5) of its error answers.
  static constexpr Byte kErrUnknownSubId = 0x01;
  static constexpr Byte kErrInvalidAddress = 0x02;
  static constexpr Byte kErrInvalidValue = 0x03;
  static constexpr Byte kErrUnknownDevice = 0x08;
  // Bit 6 of byte 4 of a connection notification: the link is not established.
  static constexpr Byte kLinkNotEstablished = 0x40;

  using ShortRegister = std::array<Byte, 3>;

  // The scenario's receiver, with `keyboard` in its slot. Made by the bus.
  static std::shared_ptr<SimReceiver> create(const Scenario& scenario, std::shared_ptr<SimKeyboard> keyboard);
  SimReceiver(const Scenario& scenario, std::shared_ptr<SimKeyboard> keyboard);
  ~SimReceiver() override;
  SimReceiver(const SimReceiver&) = delete;
  SimReceiver& operator=(const SimReceiver&) = delete;

  bool receive(const Bytes& report) override;
  bool reachable() const override { return true; }
  bool on_delivery_thread() const override;
  int command_timeout_ms() const override { return timing_.command_timeout_ms; }
  unsigned pid() const override { return row_.pid; }
  std::string product_name() const override { return kProductName; }
  CollectionSet& collections() override { return *collections_; }

  // Called by the bus: the registers lose their values with the power; pairings stay.
  void unplugged();

  const dovod::maker::ReceiverRow& row() const { return row_; }
  // The keyboard's device index: its slot plus 1.
  int keyboard_index() const { return keyboard_slot_ + 1; }
  // Bytes 4 to 6 of short register 0x00 or 0x03.
  ShortRegister register_value(Byte address) const;
  bool lock_open() const;
  // The wireless product id in `slot`; 0 when it is free.
  unsigned slot_pid(int slot) const;

  // Scripted faults and events.
  // Another program sets a short register; its answer reaches our readers too.
  void foreign_register_write(Byte address, ShortRegister value);
  // The pairing lock changed on its own (it timed out, or another program opened it).
  void pairing_lock_changed(Byte state, Byte error);
  // A device pairs into `slot` while the lock is open, which closes it. False when the lock is closed.
  bool pair(int slot, unsigned wireless_pid);
  // Another product takes `slot`: a connection notification with its id. The keyboard, if it was
  // there, is no longer reachable through the receiver.
  void replace_device(int slot, unsigned wireless_pid);
  // Register 0x02 counts `count` devices more than the receiver will announce.
  void set_phantom_devices(int count);
  // Any report, sent as the receiver sends its own (no notification gating).
  void send_report(Bytes report);
  // A connection notification with any index and type code.
  static Bytes connection_notification(int index, int type_code, unsigned wireless_pid, bool link_up);

 private:
  struct Slot {
    unsigned pid = 0;
    bool keyboard = false;
    bool link_up = false;
    Byte value = 0;
  };
  class Uplink;

  void handle_register(const Bytes& request);
  void handle_paired(const Bytes& request);
  std::vector<Bytes> set_short(const Bytes& request);
  std::vector<Bytes> get_long(const Bytes& request) const;
  std::vector<Bytes> pairing_control(const Bytes& request);
  std::vector<Bytes> arrivals() const;
  bool notifying() const { return (reg0_[1] & 0x01) != 0; }
  Bytes connection_of(int slot) const;

  void from_keyboard(const Bytes& report);
  void keyboard_link(bool up);
  // Reports to the host after the wire's latency, in order.
  void send(std::vector<Bytes> reports);

  const Timing timing_;
  const dovod::maker::ReceiverRow row_;
  const int keyboard_slot_;
  const std::shared_ptr<SimKeyboard> keyboard_;

  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
  ShortRegister reg0_{};
  ShortRegister reg3_{};
  bool lock_open_ = false;
  int phantom_ = 0;

  std::shared_ptr<Uplink> uplink_;
  std::unique_ptr<CollectionSet> collections_;
  // Last, so that it stops before anything its tasks use goes away.
  std::unique_ptr<Scheduler> scheduler_;
};

}  // namespace sim
