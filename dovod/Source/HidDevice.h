#pragma once
// The part of a HID device that is the same on every platform: the queries, the first-open rule,
// the write rules (report id, padding, blocking, one onWrite per call), the read thread's life and
// the single announcement of a removal. A platform supplies the opening of a handle, with the
// checks of the first open, as a HidChannel that does the I/O.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Source/HidBusLink.h"
#include "Source/HidChannel.h"
#include "Source/HidLayout.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

class HidDevice : public IHardwareDevice,
                  public Producer<IHardwareDevice::Write>,
                  public Producer<IHardwareDevice::Read>,
                  public Producer<IHardwareDevice::Connect>,
                  public std::enable_shared_from_this<HidDevice> {
 public:
  static constexpr std::chrono::milliseconds kWriteLimit{10000};

  ~HidDevice() override;
  HidDevice(const HidDevice&) = delete;
  HidDevice& operator=(const HidDevice&) = delete;

  bool connected() override { return true; }
  // Fails with 28 once the device is gone, 72 while it is being destroyed, 32 for an empty path,
  // or with the code the platform's open set.
  bool open() override;
  // Stops and joins the read thread (detaches it when called on it) and waits until a write under
  // way lets go of the handle.
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
  // `name` is the platform class's name, the prefix of every log line ("HidrawDevice::open ...");
  // `generation` is the bus's count of arrivals at this path, handed back with a removal.
  HidDevice(const char* name, std::weak_ptr<IHidBusLink> bus, std::string path,
            std::chrono::milliseconds write_limit, std::uint64_t generation);

  // Opens a handle for the path. On the first open `layout` is given: the platform checks that
  // the device speaks the maker's protocol and fills it; later opens pass null and skip the
  // checks. Null on failure, with LastError set and the reason logged. Called with the device's
  // lock held: it must not call the device's queries. The channel must not refer back to the
  // device, which may be destroyed while its read thread still holds the channel.
  virtual std::shared_ptr<HidChannel> open_channel(HidLayout* layout) = 0;

  const std::string& device_path() const { return path_; }
  const char* name() const { return name_; }
  const std::weak_ptr<IHidBusLink>& bus_link() const { return bus_; }

  void on_subscription_added(Subscriber<IHardwareDevice::Read>* s, int delivery) override;

 private:
  struct ReadThread;
  static void read_loop(std::shared_ptr<ReadThread> state, std::weak_ptr<HidDevice> device);

  bool fail_open(ErrorCode code, const char* why);
  void start_read_thread();
  // Produces onWrite and answers whether the write succeeded; LastError is set on failure.
  bool finish_write(Bytes report, ErrorCode code, unsigned system_error, const char* what,
                    const char* message = nullptr);
  // Marks the device gone and tells the bus, once however many threads find out.
  void report_removal();
  void deliver(Bytes report, unsigned length);
  void deliver_failure(unsigned error, unsigned length);
  void deliver_removal(unsigned error);

  const char* const name_;
  const std::weak_ptr<IHidBusLink> bus_;
  const std::string path_;
  const std::chrono::milliseconds write_limit_;
  const std::uint64_t generation_;
  // "dovod::<name>::<operation>", the function field of the log lines.
  const std::string open_fn_, close_fn_, write_fn_, start_fn_, verify_fn_;

  // Layout, handle and read thread; never held while the read thread is joined or an event is
  // produced.
  std::mutex mutex_;
  bool validated_ = false;
  HidLayout layout_;
  bool open_ = false;
  bool subscribed_ = false;
  std::shared_ptr<HidChannel> channel_;
  std::thread reader_;
  std::shared_ptr<ReadThread> read_state_;

  // Held for a whole write, so that close cannot release the handle under it.
  std::mutex write_mutex_;

  std::atomic<bool> destructing_{false};
  std::atomic<bool> removed_{false};
};

}  // namespace dovod
