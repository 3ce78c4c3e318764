#pragma once
// One simulated HID collection as the library sees it: writes go to the device behind it (the
// keyboard or the receiver), that device's reports come back as Read events from its own thread,
// and the keyboard's restarts show as Connect events. Bus type 0, the maker's vendor id.
//
// A whole collection takes short and long reports by their report id. A piece of a device in
// several collections (see CollectionShape) takes only reports of its own length, stamped with its
// own report id, as a HID collection does.

#include <atomic>
#include <memory>
#include <string>

#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "sim/SimProtocol.h"

namespace sim {

class SimEndpoint;

// Where a collection sits among its device's collections.
struct CollectionShape {
  std::string path;
  // The parent instance that groups pieces; empty for a whole collection (its path then).
  std::string combine_key;
  int piece_bits = 2;
  int expected_pieces = 2;
  int report_length = kLongReportLength;
  // 0 for a whole collection.
  Byte report_id = 0;
};

class SimHardwareDevice : public dovod::IHardwareDevice,
                          public dovod::Producer<dovod::IHardwareDevice::Write>,
                          public dovod::Producer<dovod::IHardwareDevice::Read>,
                          public dovod::Producer<dovod::IHardwareDevice::Connect>,
                          public std::enable_shared_from_this<SimHardwareDevice> {
 public:
  // The system error of a write while the keyboard is away (the device is not connected).
  static constexpr unsigned kNotConnectedSystemError = 1167;

  SimHardwareDevice(const std::shared_ptr<SimEndpoint>& endpoint, std::weak_ptr<dovod::IHardwareBus> bus,
                    CollectionShape shape);

  bool connected() override;
  bool open() override;
  void close() override;
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<dovod::IHardwareBus> bus() override { return bus_.lock(); }
  std::string path() override { return shape_.path; }
  unsigned pid() override { return pid_; }
  std::string product_name() override { return product_name_; }
  bool verify_connection_following_timeout() override { return connected(); }
  int command_timeout_ms() override;
  std::string combine_key() override { return shape_.combine_key.empty() ? shape_.path : shape_.combine_key; }
  int piece_bits() override { return shape_.piece_bits; }
  int expected_pieces() override { return shape_.expected_pieces; }
  int report_length() override { return shape_.report_length; }

  unsigned vendor_id() const;
  bool is_open() const { return open_.load(); }
  bool removed() const { return removed_.load(); }
  const CollectionShape& shape() const { return shape_; }

  // The device's side: one input report, a change of the keyboard's link, the end of this channel.
  void deliver(const Bytes& report);
  void announce(bool connected);
  void mark_removed() { removed_ = true; }

 private:
  bool fail(dovod::ErrorCode code, unsigned system_error, const char* message);

  const std::weak_ptr<SimEndpoint> endpoint_;
  const std::weak_ptr<dovod::IHardwareBus> bus_;
  const CollectionShape shape_;
  const unsigned pid_;
  const std::string product_name_;
  std::atomic<bool> open_{false};
  std::atomic<bool> removed_{false};
};

}  // namespace sim
