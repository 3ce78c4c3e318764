#pragma once
// The hardware device of one wireless device paired to a receiver: one slot of a TandemBus. It has
// no handle of its own: writes go out through the receiver's protocol device with the slot's device
// index in byte 1, reads are the reports the bus routes to it, and its connection follows the
// receiver's notifications. The protocol device on top reaches the receiver through IReceiverLink.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "protocol/IReceiverLink.h"

namespace dovod {

class TandemBus;

class TandemDevice : public IHardwareDevice,
                     public Producer<IHardwareDevice::Write>,
                     public Producer<IHardwareDevice::Read>,
                     public Producer<IHardwareDevice::Connect>,
                     public IReceiverLink,
                     public std::enable_shared_from_this<TandemDevice> {
 public:
  // `slot` is 0-based; the path is fixed here, so a fresh object for the same slot names the same
  // device.
  TandemDevice(const std::shared_ptr<TandemBus>& bus, int slot, unsigned pid, bool connected);
  ~TandemDevice() override;
  TandemDevice(const TandemDevice&) = delete;
  TandemDevice& operator=(const TandemDevice&) = delete;

  bool connected() override { return connected_; }
  bool open() override { return true; }
  void close() override {}
  // Caller's thread. False with 28 when the receiver bus is gone, 5 when the device is not
  // connected (nothing is sent), otherwise the receiver's write failure.
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<IHardwareBus> bus() override;
  std::string path() override { return path_; }
  unsigned pid() override { return pid_; }
  // Read from the receiver once; an empty name (28 when the bus is gone) is asked again next time.
  std::string product_name() override;
  int slot_value() override { return slot_value_; }
  int bus_type() override { return 1; }
  int device_index() override { return slot_ + 1; }
  int receiver_detail() override;
  // False only when the receiver reported the device disconnected since the last write.
  bool verify_connection_following_timeout() override;
  // A request and its reply travel the receiver's wire: the receiver's hardware device's; the
  // interface's default once the bus is gone.
  int command_timeout_ms() override;

  // IReceiverLink: the requests of the protocol device on top, passed to the bus.
  bool set_software_present() override;
  bool set_configuration_complete() override;
  void release_receiver() override;

  // Called by the bus on the receiver's read thread.
  void processConnect();
  void processDisconnect();
  void deliver_read(const Bytes& report, unsigned error, unsigned length);
  void deliver_write(const Bytes& report, ErrorCode error, unsigned system_error);
  void set_slot_value(int value) { slot_value_ = value; }

 protected:
  // Write subscribers get the receiver's write outcomes, which the bus routes by device index.
  bool on_subscribe(Subscriber<IHardwareDevice::Write>* s) override;
  using Producer<IHardwareDevice::Read>::on_subscribe;
  using Producer<IHardwareDevice::Connect>::on_subscribe;

 private:
  std::shared_ptr<TandemBus> lock_bus(const char* where);

  const std::weak_ptr<TandemBus> bus_;
  const int slot_;
  const unsigned pid_;
  const std::string path_;
  std::atomic<bool> connected_;
  std::atomic<bool> disconnected_since_write_{false};
  std::atomic<int> slot_value_{0};

  std::mutex name_mutex_;
  std::string name_;
  bool name_read_ = false;
};

}  // namespace dovod
