#pragma once
// A hardware bus for tests: devices appear and leave when a test calls the Simulate... methods, and
// every bus operation can be made to fail.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeHardwareDevice.h"
#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareSecondaryBus.h"
#include "dovod/Producer.h"

namespace dovod::testing {

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
