#pragma once
// The process-wide facade of the library. It creates the device manager on first use, forwards every
// operation to it and destroys it at shutdown. The host reaches it through CDovod::instance() and
// passes its shared_ptr<IDeviceManager> conversion to Subscriber::subscribe.

#include <condition_variable>
#include <memory>
#include <mutex>

#include "dovod/IDeviceManager.h"
#include "dovod/Subscriber.h"

namespace dovod {

class DeviceManager;

class CDovod : public IDeviceManager {
 public:
  // The one instance of the process; made on first use, which registers shutdown in the clean-up list.
  static CDovod& instance();

  CDovod(const CDovod&) = delete;
  CDovod& operator=(const CDovod&) = delete;

  // Creating operations: they make the device manager when there is none.
  std::vector<std::shared_ptr<IDevice>> devices() override;
  std::vector<std::shared_ptr<IDevice>> devices_on_bus(std::shared_ptr<IDevice> bus) override;
  int swid(int value) override;
  int swid() override;
  bool is_active() override;
  void set_active(bool active) override;
  void persistent_data_directory(std::string directory) override;
  bool config_default(unsigned item, bool* out) override;
  bool config_get(unsigned item, bool* out) override;
  bool config_set(unsigned item, bool value) override;
  bool connectToHardwareBusses() override;
  std::shared_ptr<IDevice> makeDevice(std::shared_ptr<IHardwareDevice> hwdev, int force_plain,
                                      int pid) override;
  // Subscribes `s` to arrivals and removals without its own bookkeeping: its destructor will not
  // unsubscribe it, the host must call manual_unsubscribe.
  bool manual_subscribe(Subscriber<IDeviceManager::ArrivalRemoval>* s, int delivery);

  // Non-creating operations: without a device manager they do nothing.
  void report_unreported_error(const char* where) override;
  void enqueue_event_for_runloop(RunLoopCall call, const void* subscriber_key, const void* producer_key,
                                 const std::string& description) override;
  void call_event_from_runloop() override;
  void remove_runloop_events(const void* subscriber_key, const void* producer_key) override;
  void manual_unsubscribe(Subscriber<IDeviceManager::ArrivalRemoval>* s);

  // The device manager, made if needed; empty after shutdown (`ErrorCode::NotAvailable` (72)).
  std::shared_ptr<DeviceManager> getimpl();

  // Destroys the device manager for good: no operation makes one again.
  void shutdown();

  // Destroys the device manager with its queued events; the next creating operation makes a new one.
  void reset();

  // Undoes shutdown as well as reset, for tests that need a fresh facade.
  void reset_for_testing();

  // The device manager as the host keeps it and subscribes to it; empty after shutdown.
  operator std::shared_ptr<IDeviceManager>();

 private:
  CDovod();
  ~CDovod() override;

  // A manager lent to a forwarding call. A thread other than the host's must never drop the last
  // reference, since the manager's destruction joins library threads; reset waits for every loan.
  class Loan;
  Loan lend(bool create);
  void end_loan();
  // With the mutex held.
  std::shared_ptr<DeviceManager> make_or_get();

  std::mutex mutex_;
  std::condition_variable loans_done_;
  int loans_ = 0;
  std::shared_ptr<DeviceManager> impl_;
  bool shutting_down_ = false;
};

}  // namespace dovod
