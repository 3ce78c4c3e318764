#pragma once
// What a simulated keyboard runs and which faults it suffers: plain values that a test fills in, or
// picks by name from the catalogue (the application does the same through DOVOD_SIMULATE).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimProtocol.h"

namespace sim {

// Which requests a fault applies to: those of one feature (by id; -1 any) whose function is in
// `functions` (bit n for function n; 0 any), from the `occurrence`-th such request (counted from 0
// since the keyboard was made) for `count` of them (-1 for all later ones).
struct RequestMatch {
  int feature_id = -1;
  std::uint16_t functions = 0;
  int occurrence = 0;
  int count = 1;
};

// Functions 0 to 3 of feature 0x00D0 carry the image packets after the first.
constexpr std::uint16_t kDfuPacketFunctions = 0x000F;

enum class FaultKind {
  LoseReply,        // the request is carried out, its replies never arrive
  DelayReply,       // the replies arrive `duration_ms` late
  DuplicateReply,   // every reply arrives twice
  CorruptReply,     // byte `byte_index` of every reply is XORed with `xor_mask`
  ForeignRequest,   // another program's request (`foreign`) is answered just before this one
  Disconnect,       // the link drops as the request arrives and returns after `duration_ms`
  PowerLoss,        // the keyboard loses power as the request arrives; back after `duration_ms`
  Unplug,           // as PowerLoss, but it also leaves the bus and is plugged in again
  BootloaderStatus, // the bootloader refuses the packet with `status` and drops the image
};

struct Fault {
  FaultKind kind = FaultKind::LoseReply;
  RequestMatch when;
  int duration_ms = 0;
  int byte_index = 8;
  Byte xor_mask = 0xFF;
  Bytes foreign;
  Byte status = kDfuFlashError;
};

// The keyboard loses power while it restarts, where no request can meet it: `after_ms` into its
// `restart`-th restart (counted from 0 since the keyboard was made; a restart begins when it drops
// off), and it is back `duration_ms` later in the firmware it ran before that restart. Nothing
// happens when the restart is over by then.
struct RestartPowerLoss {
  int restart = 0;
  int after_ms = 0;
  int duration_ms = 0;
};

// Latency of one report in each direction, and the time a restart or power-up takes.
struct Timing {
  int host_to_device_ms = 0;
  int device_to_host_ms = 0;
  int restart_ms = 1000;
  // How long the host waits for a reply before it retries: the library's own 3 s, scaled with the
  // rest so that a lost reply costs a test milliseconds.
  int command_timeout_ms = 3000;
};

// Firmware versions as the firmware-information feature reports them (BCD).
struct FirmwareVersion {
  std::uint16_t bcd_version = 0;
  std::uint16_t bcd_build = 0;
  bool operator==(const FirmwareVersion&) const = default;
};

// How a simulated device's HID interface shows on the bus.
enum class Collections {
  Whole,         // one collection that takes short and long reports
  ShortAndLong,  // a short-report and a long-report collection of one parent (usage page 0xFF00)
  Pieces,        // three pieces of usage page 0xFF43: short, long, and one of 64-byte reports
};

// A device paired to the receiver beside the keyboard. It answers the root feature only.
struct PairedDevice {
  int slot = 1;  // 0-based
  unsigned wireless_pid = 0;
  bool link_up = true;
  Byte slot_value = 0;
};

// The keyboard behind a receiver instead of on a collection of its own.
struct ReceiverSetup {
  // The receiver's row in dovod::maker::kReceivers.
  std::size_t row = 0;
  // 0-based; the device index on the wire is one more.
  int keyboard_slot = 0;
  Byte keyboard_slot_value = 0x11;
  std::vector<PairedDevice> others;
  // Devices that register 0x02 counts but whose arrival the receiver never announces.
  int phantom_devices = 0;
};

struct Scenario {
  std::string name;
  bool start_in_bootloader = false;
  FirmwareVersion application{0x0501, 0x0016};  // 5.1.16
  FirmwareVersion updated{0x0501, 0x0017};      // what a complete transfer installs: 5.1.17
  FirmwareVersion bootloader{0x0102, 0x0009};
  std::uint32_t unit_id = 0x5EA1D00D;
  Timing timing;
  std::vector<Fault> faults;
  std::vector<RestartPowerLoss> restart_power_losses;
  // Empty: the keyboard is attached directly. An Unplug fault behind a receiver unplugs the
  // receiver, and the keyboard loses power with it as it does when attached directly.
  std::optional<ReceiverSetup> receiver;
  // Of the keyboard's collections, or of the receiver's when there is one.
  Collections collections = Collections::Whole;
  // A directly attached keyboard that restarts leaves the bus and comes back on new collections, as
  // a keyboard on a cable does; otherwise a restart only drops and restores its link.
  bool restart_leaves_bus = false;

  // A copy whose delays are all multiplied by `factor` (rounded, at least 1 ms where non-zero), so
  // that tests run the same script in milliseconds.
  Scenario scaled(double factor) const;
};

// The catalogue: "normal", "in-bootloader", "up-to-date", "lost-replies", "removed-mid-transfer",
// "bootloader-rejects", "bootloader-fails", "power-loss", "foreign-traffic", "slow-link",
// "replug-on-restart".
std::vector<Scenario> scenarios();
std::optional<Scenario> find_scenario(const std::string& name);

}  // namespace sim
