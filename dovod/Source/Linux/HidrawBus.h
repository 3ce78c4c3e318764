#pragma once
// The Linux HID bus: the hidraw nodes that speak the maker's protocol, and their arrival and
// removal as udev reports it, followed on a monitor thread of the bus's own. Each removal is
// announced once, whichever of udev, a device's read thread or a failed check finds it first.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Source/HidBusLink.h"
#include "Source/Linux/HidrawDevice.h"
#include "Source/Linux/HidrawDeviceSource.h"
#include "Source/Linux/HidrawSystem.h"
#include "dovod/IHardwareBus.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

struct HidrawMonitorChannel;

class HidrawBus : public IHardwareBus,
                  public Producer<IHardwareBus::PlugUnplug>,
                  public IHidBusLink,
                  public std::enable_shared_from_this<HidrawBus> {
 public:
  HidrawBus(std::shared_ptr<IHidrawDeviceSource> source, std::shared_ptr<IHidrawSystem> system,
            std::chrono::milliseconds write_limit = HidrawDevice::kWriteLimit);
  ~HidrawBus() override;
  HidrawBus(const HidrawBus&) = delete;
  HidrawBus& operator=(const HidrawBus&) = delete;

  // The maker's nodes present now, each opened once to check it and closed again. Empty with
  // `ErrorCode::EnumerationFailed` (42) when the nodes cannot be listed, empty with LastError
  // cleared when there are none.
  std::vector<std::shared_ptr<IHardwareDevice>> devices() override;

  std::shared_ptr<IHardwareBus> hardware_bus() override { return shared_from_this(); }
  void read_failed_with_disconnect_error(const std::string& path, std::uint64_t generation) override;
  // Lists the nodes again; a path that is no longer among them is announced as removed.
  bool verify_device_exists(const std::string& path) override;

 protected:
  // The first subscriber starts the monitor, so that no arrival after it goes unseen.
  bool on_subscribe(Subscriber<IHardwareBus::PlugUnplug>* s) override;

 private:
  friend void hidraw_monitor_loop(std::shared_ptr<HidrawMonitorChannel> channel,
                                  std::weak_ptr<HidrawBus> bus);

  void lazy_start();
  void node_added(const HidrawNode& node);
  // Announces the removal of `path` if it is still present (and, when given, still the same
  // arrival); false when there was nothing to announce.
  bool unplug(const std::string& path, std::optional<std::uint64_t> generation);
  std::shared_ptr<HidrawDevice> make_device(const HidrawNode& node, std::uint64_t generation);

  const std::shared_ptr<IHidrawDeviceSource> source_;
  const std::shared_ptr<IHidrawSystem> system_;
  const std::chrono::milliseconds write_limit_;

  std::mutex start_mutex_;
  bool started_ = false;
  std::thread monitor_;
  std::shared_ptr<HidrawMonitorChannel> channel_;

  // Paths announced to subscribers (by devices or onPlug) and not yet announced as removed, with
  // the arrival each belongs to.
  std::mutex present_mutex_;
  std::map<std::string, std::uint64_t> present_;
  std::uint64_t last_generation_ = 0;
};

// The bus over udev and the kernel's hidraw nodes.
std::shared_ptr<HidrawBus> make_hidraw_bus();

}  // namespace dovod
