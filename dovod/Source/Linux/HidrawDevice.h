#pragma once
// The IHardwareDevice of one hidraw node. A node carries every top-level collection of its HID
// interface, so one object holds the maker's short and long collections together. The first open
// decides whether the node speaks the maker's protocol; reads run on a thread of the device's own
// while it is open and someone listens; writes are bounded in time.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Source/Linux/HidrawBusLink.h"
#include "Source/Linux/HidrawSystem.h"
#include "Source/ProtocolCollections.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

struct HidrawReadChannel;

class HidrawDevice : public IHardwareDevice,
                     public Producer<IHardwareDevice::Write>,
                     public Producer<IHardwareDevice::Read>,
                     public Producer<IHardwareDevice::Connect>,
                     public std::enable_shared_from_this<HidrawDevice> {
 public:
  static constexpr std::chrono::milliseconds kWriteLimit{10000};

  // `parent` names the physical device the node belongs to; it groups the node with its siblings
  // when the node is only a piece of a device. `generation` is the bus's count of arrivals at this
  // path, handed back when the device reports its removal. Nothing is opened here.
  HidrawDevice(std::weak_ptr<IHidrawBusLink> bus, std::shared_ptr<IHidrawSystem> system,
               std::string path, std::string parent = {},
               std::chrono::milliseconds write_limit = kWriteLimit, std::uint64_t generation = 0);
  ~HidrawDevice() override;
  HidrawDevice(const HidrawDevice&) = delete;
  HidrawDevice& operator=(const HidrawDevice&) = delete;

  bool connected() override { return true; }
  bool open() override;
  void close() override;
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<IHardwareBus> bus() override;
  std::string path() override { return path_; }
  unsigned pid() override;
  std::string product_name() override;
  bool verify_connection_following_timeout() override;
  std::string combine_key() override;
  int piece_bits() override;
  int expected_pieces() override;
  int report_length() override;

  unsigned vendor_id();
  bool removed() const { return removed_.load(); }

 protected:
  void on_subscription_added(Subscriber<IHardwareDevice::Read>* s, int delivery) override;

 private:
  friend void hidraw_read_loop(std::shared_ptr<HidrawReadChannel> channel,
                               std::weak_ptr<HidrawDevice> device);

  bool validate(int fd);
  void start_read_thread();
  // Produces onWrite and answers whether the write succeeded; LastError is set on failure.
  bool finish_write(Bytes report, ErrorCode code, unsigned system_error, const char* what,
                    const char* message = nullptr);
  // Marks the node gone and tells the bus, once however many threads find out.
  void report_removal();
  void deliver(Bytes report, unsigned length);
  void deliver_failure(int error, unsigned length);
  void deliver_removal(int error);

  const std::weak_ptr<IHidrawBusLink> bus_;
  const std::shared_ptr<IHidrawSystem> system_;
  const std::string path_;
  const std::string parent_;
  const std::chrono::milliseconds write_limit_;
  const std::uint64_t generation_;

  // Identity, protocol layout, the descriptors and the read thread; never held while the read
  // thread is joined or an event is produced.
  std::mutex mutex_;
  bool validated_ = false;
  unsigned vendor_id_ = 0;
  unsigned product_id_ = 0;
  std::string product_name_;
  ProtocolCollections protocol_;
  unsigned read_length_ = 0;
  bool open_ = false;
  bool subscribed_ = false;
  int fd_ = -1;
  int stop_read_ = -1;
  int stop_write_ = -1;
  std::thread reader_;
  std::shared_ptr<HidrawReadChannel> channel_;

  // Held for a whole write, so that close cannot release the descriptor under it.
  std::mutex write_mutex_;

  std::atomic<bool> destructing_{false};
  std::atomic<bool> removed_{false};
};

}  // namespace dovod
