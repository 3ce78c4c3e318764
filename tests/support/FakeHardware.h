#pragma once
// A hardware bus and hardware devices for tests: devices appear and leave when a test calls the
// Simulate... methods, and every bus operation can be made to fail.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/IHardwareSecondaryBus.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod::testing {

class FakeHardwareDevice : public IHardwareDevice,
                           public Producer<IHardwareDevice::Write>,
                           public Producer<IHardwareDevice::Read>,
                           public Producer<IHardwareDevice::Connect> {
 public:
  FakeHardwareDevice(std::string path, unsigned pid, int bus_type, std::weak_ptr<IHardwareBus> bus);

  bool connected() override { return true; }
  bool open() override;
  void close() override { ++closes; }
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<IHardwareBus> bus() override { return bus_.lock(); }
  std::string path() override { return path_; }
  unsigned pid() override { return pid_; }
  std::string product_name() override { return "Fake " + path_; }
  int bus_type() override { return bus_type_; }
  bool verify_connection_following_timeout() override;
  std::string combine_key() override { return piece_.combine_key.empty() ? path_ : piece_.combine_key; }
  int piece_bits() override { return piece_.bits; }
  int expected_pieces() override { return piece_.expected; }
  int report_length() override { return piece_.report_length; }

  // How the device presents itself as a collection of a larger device; the defaults make it
  // complete by itself. Set before the device is handed out.
  struct Piece {
    std::string combine_key;  // empty: the path
    int bits = 2;
    int expected = 2;
    int report_length = 20;
  };
  void set_piece(Piece piece) { piece_ = std::move(piece); }

  // A new, unopened object naming the same device, as an unplug event carries.
  std::shared_ptr<FakeHardwareDevice> fresh_copy() const;

  // Produces onRead(report, false, error, report size) on the calling thread.
  void SimulateRead(Bytes report, unsigned error = 0);
  // Every report given to write, in order.
  std::vector<Bytes> written() const;

  std::atomic<bool> open_fails{false};
  std::atomic<int> opens{0};
  std::atomic<int> closes{0};
  // A failing write produces onWrite(empty, WriteFailed, 0) and sets that LastError.
  std::atomic<bool> write_fails{false};
  std::atomic<bool> verify_answer{true};
  std::atomic<int> verifications{0};
  // Read and Write subscriptions are refused with LastError NotPresent.
  std::atomic<bool> refuse_subscriptions{false};

 protected:
  bool on_subscribe(Subscriber<IHardwareDevice::Read>* s) override;
  bool on_subscribe(Subscriber<IHardwareDevice::Write>* s) override;

 private:
  const std::string path_;
  const unsigned pid_;
  const int bus_type_;
  const std::weak_ptr<IHardwareBus> bus_;
  Piece piece_;
  mutable std::mutex written_mutex_;
  std::vector<Bytes> written_;
};

class FakeHardwareBus : public IHardwareSecondaryBus, public Producer<IHardwareBus::PlugUnplug> {
 public:
  // Buses must know their own shared pointer to hand it to their devices.
  static std::shared_ptr<FakeHardwareBus> create();
  void attach_self(const std::shared_ptr<IHardwareBus>& self) { self_ = self; }

  std::vector<std::shared_ptr<IHardwareDevice>> devices() override;
  std::vector<std::shared_ptr<IHardwareSecondaryBus>> secondary_busses() override;
  bool wants_combiner() override { return combiner_wanted; }
  void persistent_data_directory(std::string directory) override;
  void refresh() override { ++refreshes; }
  void process_wm_devicechange(unsigned event, const DEV_BROADCAST_HDR* header) override {}

  // A device of this bus that is not present yet.
  std::shared_ptr<FakeHardwareDevice> Make(const std::string& path, unsigned pid, int bus_type = 0);
  // A collection of a larger device, not present yet.
  std::shared_ptr<FakeHardwareDevice> MakePiece(const std::string& path, unsigned pid, FakeHardwareDevice::Piece piece);
  // Adds a device that is present from the start, without an event.
  std::shared_ptr<FakeHardwareDevice> AddPresent(const std::string& path, unsigned pid, int bus_type = 0);
  void AddPresent(const std::shared_ptr<FakeHardwareDevice>& device);
  // Adds a device and produces onPlug for it.
  std::shared_ptr<FakeHardwareDevice> SimulatePlug(const std::string& path, unsigned pid, int bus_type = 0);
  void SimulatePlug(const std::shared_ptr<FakeHardwareDevice>& device);
  // Removes the device and produces onUnplug with a fresh object of the same path.
  void SimulateUnplug(const std::string& path);
  void SimulatePowerChange(bool standBy);
  // The next `times` enumerations fail with LastError NotPresent; -1 fails for good.
  void FailEnumeration(int times);
  void AddSecondary(std::shared_ptr<IHardwareSecondaryBus> bus);

  std::atomic<int> enumerations{0};
  // Whether the device manager is to put a combiner bus in front of this bus.
  std::atomic<bool> combiner_wanted{false};
  std::atomic<int> refreshes{0};
  std::string last_persistent_dir() const;

 private:
  mutable std::mutex mutex_;
  std::weak_ptr<IHardwareBus> self_;
  std::vector<std::shared_ptr<FakeHardwareDevice>> devices_;
  std::vector<std::shared_ptr<IHardwareSecondaryBus>> secondaries_;
  std::string persistent_dir_;
  int failures_left_ = 0;
};

}  // namespace dovod::testing
