#pragma once
// The simulated keyboard's HID channel as the library sees it: writes go to the keyboard, its
// reports come back as Read events from the keyboard's own thread, and its restarts show as
// Connect events. Bus type 0, 20-byte reports, the keyboard's vendor and product ids.

#include <atomic>
#include <memory>
#include <string>

#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "sim/SimProtocol.h"

namespace sim {

class SimKeyboard;

class SimHardwareDevice : public dovod::IHardwareDevice,
                          public dovod::Producer<dovod::IHardwareDevice::Write>,
                          public dovod::Producer<dovod::IHardwareDevice::Read>,
                          public dovod::Producer<dovod::IHardwareDevice::Connect>,
                          public std::enable_shared_from_this<SimHardwareDevice> {
 public:
  // The system error of a write while the keyboard is away (the device is not connected).
  static constexpr unsigned kNotConnectedSystemError = 1167;
  // A blocking write on the thread that delivers the reports: its caller would wait for a reply
  // that only this thread can deliver.
  static constexpr dovod::ErrorCode kBlockingWriteOnReadThread = static_cast<dovod::ErrorCode>(26);

  SimHardwareDevice(std::weak_ptr<SimKeyboard> keyboard, std::weak_ptr<dovod::IHardwareBus> bus, std::string path);

  bool connected() override;
  bool open() override;
  void close() override;
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<dovod::IHardwareBus> bus() override { return bus_.lock(); }
  std::string path() override { return path_; }
  unsigned pid() override;
  std::string product_name() override { return kProductName; }
  bool verify_connection_following_timeout() override { return connected(); }
  int command_timeout_ms() override;

  unsigned vendor_id() const;
  bool is_open() const { return open_.load(); }
  bool removed() const { return removed_.load(); }

  // The keyboard's side: one input report, a change of the link, the end of this channel.
  void deliver(const Bytes& report);
  void announce(bool connected);
  void mark_removed() { removed_ = true; }

 private:
  bool fail(dovod::ErrorCode code, unsigned system_error, const char* message);

  const std::weak_ptr<SimKeyboard> keyboard_;
  const std::weak_ptr<dovod::IHardwareBus> bus_;
  const std::string path_;
  std::atomic<bool> open_{false};
  std::atomic<bool> removed_{false};
};

}  // namespace sim
