#pragma once
// The keyboard's firmware as a plain state machine: a request in, the reports it answers with out.
// It keeps no time and no thread; SimKeyboard serialises calls and decides when reports travel.

#include <cstdint>
#include <span>
#include <vector>

#include "BootloaderDfu.h"
#include "sim/Scenario.h"

namespace sim {

struct ModelResult {
  std::vector<Bytes> reports;
  // The keyboard restarts once the reports are sent; boot() then runs what it chose.
  bool restart = false;
};

class KeyboardModel {
 public:
  explicit KeyboardModel(const Scenario& scenario);

  ModelResult handle(const Bytes& request);
  // The bootloader refuses this packet with `status`; anything but a DFU packet is handled as usual.
  ModelResult refuse_packet(const Bytes& request, Byte status);

  // Ends a restart: from here on the firmware the restart chose answers.
  void boot();
  // The memory of the running firmware is gone; the same firmware starts again on power-up.
  void power_loss();

  bool in_bootloader() const { return running_ == Firmware::Bootloader; }
  // The index of a feature in the running firmware; -1 when it has none.
  int index_of(int feature_id) const;
  // The id of the feature at `index` in the running firmware; -1 when there is none.
  int feature_at(int index) const;
  FirmwareVersion application_version() const { return application_; }
  std::uint16_t cookie() const { return cookie_; }
  bool image_complete(Byte selector) const { return dfu_.image_complete(selector); }
  // A wireless-status notification as the keyboard sends it after its link came back.
  Bytes wireless_status(bool reconnect, bool powerswitch) const;

 private:
  enum class Firmware { Application, Bootloader };

  std::span<const int> features() const;
  ModelResult answer(const Bytes& request, const Bytes& payload) const;
  ModelResult error(const Bytes& request, Byte code) const;

  ModelResult root(const Bytes& request);
  ModelResult feature_set(const Bytes& request);
  ModelResult firmware_info(const Bytes& request);
  ModelResult device_name(const Bytes& request);
  ModelResult config_change(const Bytes& request);
  ModelResult dfu_control(const Bytes& request);
  ModelResult dfu(const Bytes& request);
  ModelResult dfu_answer(const Bytes& request, BootloaderDfu::Answer answer, bool notify) const;

  Firmware running_;
  Firmware next_;
  FirmwareVersion application_;
  const FirmwareVersion updated_;
  const FirmwareVersion bootloader_;
  const std::uint32_t unit_id_;
  std::uint16_t cookie_ = 0;
  BootloaderDfu dfu_;
};

}  // namespace sim
