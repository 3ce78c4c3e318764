#pragma once
// The root object of the library behind the facade: starts the hardware buses, turns accepted
// hardware devices into devices, announces arrivals and removals, keeps the run-loop queue and the
// library-wide switches. Everything but the run-loop queue runs on the host thread.

#include <array>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dovod/IDevice.h"
#include "dovod/IDeviceManager.h"
#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/ITimer.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

// One queued run-loop event; the two keys say which subscription it belongs to.
struct RunLoopEntry {
  RunLoopCall call;
  const void* subscriber_key;
  const void* producer_key;
  std::string description;
};

// Hardware devices are matched by path: an unplug event carries a fresh object.
struct HardwareDeviceByPath {
  bool operator()(const std::shared_ptr<IHardwareDevice>& a,
                  const std::shared_ptr<IHardwareDevice>& b) const {
    return a->path() < b->path();
  }
};

class DeviceManager : public IDeviceManager,
                      public Producer<IDeviceManager::ArrivalRemoval>,
                      public Producer<IDeviceManager::ActiveChanged>,
                      public Producer<IDeviceManager::UnreportedError>,
                      public Producer<IDeviceManager::RunLoopEvent>,
                      public Subscriber<IHardwareBus::PlugUnplug>,
                      public Subscriber<IDeviceManager::ActiveChanged>,
                      public Subscriber<ITimer::TimerEvent>,
                      public std::enable_shared_from_this<DeviceManager> {
 public:
  static constexpr int kAddbusRetryTimerId = 1;
  static constexpr int kDefaultAddbusRetryBaseMs = 2000;
  // Passes of the receiver-bus retry after which the receiver is given up.
  static constexpr int kMaxAddbusRetries = 9;

  DeviceManager();
  ~DeviceManager() override;
  DeviceManager(const DeviceManager&) = delete;
  DeviceManager& operator=(const DeviceManager&) = delete;

  std::vector<std::shared_ptr<IDevice>> devices() override;
  std::vector<std::shared_ptr<IDevice>> devices_on_bus(std::shared_ptr<IDevice> bus) override;
  int swid(int value) override;
  int swid() override;
  bool is_active() override;
  void set_active(bool active) override;
  void report_unreported_error(const char* where) override;
  void enqueue_event_for_runloop(RunLoopCall call, const void* subscriber_key, const void* producer_key,
                                 const std::string& description) override;
  void call_event_from_runloop() override;
  void remove_runloop_events(const void* subscriber_key, const void* producer_key) override;
  void persistent_data_directory(std::string directory) override;
  bool config_default(unsigned item, bool* out) override;
  bool config_get(unsigned item, bool* out) override;
  bool config_set(unsigned item, bool value) override;
  bool connectToHardwareBusses() override;
  std::shared_ptr<IDevice> makeDevice(std::shared_ptr<IHardwareDevice> hwdev, int force_plain,
                                      int pid) override;

  bool addBus(std::shared_ptr<IHardwareBus> bus);
  void removeBus(std::shared_ptr<IHardwareBus> bus);

  // The run-loop trigger goes to Direct subscribers only: a queued trigger would queue a trigger.
  bool subscribe(Subscriber<IDeviceManager::RunLoopEvent>* s, int delivery) override;

  // The first delay of the receiver-bus retry; later passes back off from it. Host thread.
  void set_addbus_retry_base_ms(int ms) { addbus_retry_base_ms_ = ms; }

  // The persistent data directory as stored (with its trailing separator).
  std::string persistent_dir() const { return persistent_dir_; }

  // Bus events, handled on the host thread through the run loop (addBus calls onPlug directly).
  void onPlug(std::shared_ptr<IHardwareDevice> hwdev) override;
  void onUnplug(std::shared_ptr<IHardwareDevice> hwdev) override;
  void onPowerChange(bool standBy) override;
  void onActiveChanged(bool active) override;
  void onTimerEvent(int timer_id) override;

 protected:
  bool on_subscribe(Subscriber<IDeviceManager::ArrivalRemoval>* s) override;
  void on_subscription_added(Subscriber<IDeviceManager::RunLoopEvent>* s, int delivery) override;

 private:
  bool lazyInitializeHardwareBusses();
  bool accepts(IHardwareDevice& hwdev);
  bool flag(unsigned item) const;
  void dumpDevices();
  void produce_trigger();

  bool initialized_ = false;
  int swid_ = 0;
  std::atomic<bool> active_{true};
  bool subscribed_to_active_ = false;
  std::string persistent_dir_;
  std::atomic<bool> destroying_{false};

  std::mutex queue_mutex_;
  std::deque<RunLoopEntry> queue_;
  int in_flight_ = 0;

  std::map<std::shared_ptr<IHardwareDevice>, std::shared_ptr<IDevice>, HardwareDeviceByPath> deviceList_;
  std::set<std::shared_ptr<IHardwareBus>> allBuses_;
  std::set<std::shared_ptr<IHardwareBus>> topBuses_;
  std::set<std::shared_ptr<IHardwareBus>> pendingBuses_;

  // Items other than gatt_process_wide, which is one value for the whole process.
  std::array<std::atomic<bool>, kConfigItemCount> config_{};

  std::shared_ptr<ITimer> addbusRetryTimer_;
  int retryCount_ = 0;
  int addbus_retry_base_ms_ = kDefaultAddbusRetryBaseMs;
};

}  // namespace dovod
