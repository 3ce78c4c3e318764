#pragma once
// The library's object for one device of the maker's protocol, made by the device manager for every
// accepted hardware device and the base of the receiver bus. It owns the command engine that matches
// replies to requests, discovers features on demand, watches the firmware identity, follows the
// device's connection and the library's active state, owns the configuration cookie and keeps the
// reply cache with its file.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dovod/IDevice.h"
#include "dovod/IDeviceManager.h"
#include "dovod/IFeature.h"
#include "dovod/IFeature1D4BWirelessStatus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/ITimer.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"
#include "protocol/CommandEngine.h"
#include "protocol/ICommandEngineHost.h"

namespace dovod {

class Feature;
class Timer;
class IFeature0020ConfigChange;

class Device : public IDevice,
               public Producer<IDevice::Report>,
               public Producer<IDevice::WriteReport>,
               public Producer<IDevice::Connect>,
               public Producer<IDevice::ConfigChange>,
               public Subscriber<IHardwareDevice::Read>,
               public Subscriber<IHardwareDevice::Write>,
               public Subscriber<IHardwareDevice::Connect>,
               public Subscriber<IDeviceManager::ActiveChanged>,
               public Subscriber<IFeature1D4BWirelessStatus::Report>,
               public Subscriber<ITimer::TimerEvent>,
               public std::enable_shared_from_this<Device> {
 public:
  enum TimerId : int { kDeactivationTimer = 0, kCacheWriteTimer = 1, kFwCheckTimer = 2 };

  Device(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> hwdev);
  ~Device() override;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool initDevice(std::shared_ptr<IDeviceManager> manager) override;
  void uninitDevice() override;

  bool connected() override;
  bool is_removed() override;
  int bus_type() override;
  int device_index() override;
  int transport_detail() override;
  std::string name() override;
  unsigned pid() override;
  std::string product_name() override;
  int swid() override;
  std::shared_ptr<IHardwareDevice> hardware_device() override;

  bool set_configured(std::shared_ptr<IFeature> feature) override;
  bool configured() override;
  bool add_pending_change(std::shared_ptr<IFeature> feature) override;
  bool has_pending_changes() override;

  void shutdown() override;
  void forget() override;
  void persistent_data_directory(const std::string& directory) override;

  std::shared_ptr<IFeature> feature_by_id(int id) override;
  std::vector<std::shared_ptr<IFeature>> features() override;

  bool sendCommand(const Bytes& request, bool subscribe_first) override;
  bool sendSynchronousCommand(const Bytes& request, Bytes& reply, int cache_mode,
                              const std::vector<int>& echo_positions) override;
  void abandon() override;
  bool retry_load_feature_root() override;
  std::string fwinfo() override;
  void confirm_configuration() override;

  // lo + rand() mod (hi - lo + 1), through the engine's random seam.
  int random(int lo, int hi);

  // One attempt of a synchronous command: write, wait for the matching reply or the timeout.
  bool sendSynchronousCommandWithoutRetry(const Bytes& request, Bytes& reply, const std::vector<int>& echo_positions,
                                          bool first_attempt);

  // Classifies one report read from the hardware device, completes the pending request it answers
  // and routes notifications and other programs' replies to their features. Read thread.
  ReportType onReadHandler(Bytes report, bool relayed, unsigned a, unsigned b);

  // Enumerates every feature of the device through feature 0x0001.
  bool load_features();
  // Loads the root feature and the firmware identity; remembers a device that is not Vexa 2.0.
  bool load_feature_root(bool retry);

  // The directory last given, with its trailing separator; "" when none.
  std::string persistent_dir() const;
  // Reads the cache file of this device (or the generic one) into the reply cache.
  void perform_cache_read();
  // Writes the reply cache to this device's file (and the generic one when enabled).
  void perform_cache_write();

  // The wireless status of a receiver-paired device: checks whether the device kept our settings.
  void onWirelessStatusEvent(bool reconnect, bool config_needed, bool powerswitch) override;

  // Hardware, manager, timer and subscription events.
  void onRead(Bytes report, bool relayed, unsigned error, unsigned length) override;
  void onWrite(Bytes report, ErrorCode error, unsigned system_error) override;
  void onConnect(std::shared_ptr<IHardwareDevice> hwdev) override;
  void onDisconnect(std::shared_ptr<IHardwareDevice> hwdev) override;
  void onActiveChanged(bool active) override;
  void onTimerEvent(int timer_id) override;

 protected:
  // Whether the library is active, as this device last heard from the device manager.
  bool library_active() const { return active_; }

  bool on_subscribe(Subscriber<IDevice::Connect>* s) override;
  bool on_subscribe(Subscriber<IDevice::WriteReport>* s) override;
  using Producer<IDevice::Report>::on_subscribe;
  using Producer<IDevice::ConfigChange>::on_subscribe;

 private:
  using Clock = std::chrono::steady_clock;

  // The engine's view of this device; forwards to the device's private members.
  class EngineHost final : public ICommandEngineHost {
   public:
    explicit EngineHost(Device& device) : device_(device) {}
    bool feature_based() override;
    bool removed() override;
    bool ensure_subscribed() override;
    void report_write_failure(ErrorCode code, unsigned third) override;
    void quarantine() override;
    bool check_firmware() override;
    void command_failed() override;
    void cache_changed() override;
    int manager_swid() override;

   private:
    Device& device_;
  };

  // Engine helpers.
  void clear_cookie() { cookie_ = 0; }
  bool has_features();
  std::shared_ptr<Feature> feature_at(Byte index);
  // Routes a reply that answers some other program to the feature it belongs to.
  void route_foreign(const Bytes& report);

  // Lifecycle helpers.
  bool ensure_hw_subscription();
  void handle_hw_connect();

  // What the connection processing learnt about the settings this library wrote.
  struct ConnectCheck {
    bool lost = false;
    // Another program's cookie was found in the device.
    bool foreign_found = false;
    // The device proved it still holds our configuration.
    bool verified = false;
  };
  // Subscribes to reads and marks the device connected; true when it already was.
  bool attach_on_connect();
  // A reconnection right after a report is processed later by the fw-check timer; true when deferred.
  bool defer_quick_reconnect();
  // The firmware check and the cookie; false when the device is gone and no connect is announced.
  bool verify_configuration_on_connect(ConnectCheck& check);
  // Lets features write the changes kept for this connection, then the cookie; false as above.
  bool write_pending_changes_on_connect(ConnectCheck& check);
  // Announces lost settings, then the connection itself.
  void announce_connect(const ConnectCheck& check);
  void handle_hw_disconnect();
  void perform_deactivate();
  std::shared_ptr<IFeature> load_feature(int id);
  void subscribe_wireless_status();
  std::string read_fwinfo(bool cached);
  bool load_fwinfo(bool force_check);
  bool do_fwcheck();
  void set_fwinfo(const std::string& value);
  std::shared_ptr<IFeature0020ConfigChange> config_feature();
  std::vector<std::shared_ptr<IFeature>> configured_snapshot();
  // `cause` completes the log line "telling feature ... about the <cause>".
  void mark_unconfigured_and_announce(const char* cause);

  // What a device paired to a receiver asks of the receiver, through its hardware device (which
  // implements IReceiverLink); a device with any other hardware device has nothing to prepare.
  bool prepare_receiver_for_configuration();
  bool prepare_receiver_for_pending_change();
  void release_receiver();

  // Lock order: a mutex on the right may be taken while holding one on its left, never the reverse.
  //   hw_mutex_ -> producer locks of the hardware device, the manager and the features
  //   hardware device's producer lock (held by its read thread) -> engine's cmd_mutex_ -> features_mutex_
  //   engine's named mutex -> engine's cmd_mutex_ (CommandEngine.h has the engine's own order)
  //   features_mutex_ -> a feature's producer lock (only when unsubscribing at destruction)
  // hw_mutex_ is therefore never waited for under cmd_mutex_: the engine subscribes before it takes
  // cmd_mutex_, and under it meets only the lock-free fast path of ensure_hw_subscription.
  // config_mutex_, fwinfo_mutex_ and path_mutex_ are leaves. No device mutex is held while an event
  // is produced, while a feature sends a command or while the receiver link is called; the only
  // mutexes held across a hardware write are the engine's named mutex and cmd_mutex_.

  // Identity and ownership.
  std::weak_ptr<IDeviceManager> manager_;
  const std::shared_ptr<IHardwareDevice> hwdev_;

  std::atomic<bool> removed_{false};
  std::atomic<bool> active_{true};

  // Declared before the engine, which keeps a reference to it.
  EngineHost engine_host_{*this};
  CommandEngine engine_;

  // Features, guarded by features_mutex_.
  std::mutex features_mutex_;
  std::map<Byte, std::shared_ptr<Feature>> features_;
  std::atomic<int> root_state_{0};
  std::atomic<bool> all_features_loaded_{false};

  mutable std::mutex fwinfo_mutex_;
  std::string fwinfo_;
  int fwinfo_entity_ = -1;
  std::atomic<bool> fwcheck_running_{false};
  // Set by read_fwinfo when the root or feature 0x0003 could not even be loaded.
  std::atomic<bool> fwinfo_load_failed_{false};

  // Configuration ownership (host thread), guarded by config_mutex_ for readers on other threads.
  std::mutex config_mutex_;
  std::vector<std::shared_ptr<IFeature>> configured_features_;
  std::vector<std::shared_ptr<IFeature>> pending_changes_;
  std::atomic<std::uint16_t> cookie_{0};
  std::atomic<std::uint16_t> foreign_cookie_{0};
  bool device_unowned_but_dirty_ = false;
  bool suppress_configuration_ = false;
  bool receiver_prepared_ = false;

  // Connection, guarded by hw_mutex_ where the command thread may meet the host thread.
  std::recursive_mutex hw_mutex_;
  int connection_state_ = 0;
  std::atomic<bool> hw_subscribed_{false};
  bool hw_connected_ = false;

  std::shared_ptr<Timer> deactivation_timer_;
  std::shared_ptr<Timer> cache_write_timer_;
  std::shared_ptr<Timer> fw_check_timer_;

  mutable std::mutex path_mutex_;
  std::string persistent_path_;
  std::atomic<bool> generic_cache_enabled_{false};
};

}  // namespace dovod
