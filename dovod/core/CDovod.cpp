#include "dovod/CDovod.h"

#include <atomic>

#include "core/DeviceManager.h"
#include "dovod/LastError.h"
#include "dovod/RunLoop.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "dovod/xLog.h"

#define CD_LOG(level, fn, ...) ::dovod::xLog("CDovod", level, "dovod::CDovod::" fn, __VA_ARGS__)

namespace dovod {
namespace {

// Trivially destructible, so it can still be read after the facade itself is gone.
std::atomic<bool> g_destroyed{false};

// Loans held by the calling thread: reset waits only for other threads' loans.
thread_local int t_loans = 0;

void shutdown_routine() {
  if (!g_destroyed) CDovod::instance().shutdown();
}

}  // namespace

class CDovod::Loan {
 public:
  Loan(CDovod& facade, std::shared_ptr<DeviceManager> manager)
      : facade_(facade), manager_(std::move(manager)) {}
  ~Loan() {
    if (!manager_) return;
    manager_.reset();
    facade_.end_loan();
  }
  Loan(const Loan&) = delete;
  Loan& operator=(const Loan&) = delete;
  DeviceManager* operator->() const { return manager_.get(); }
  explicit operator bool() const { return static_cast<bool>(manager_); }

 private:
  CDovod& facade_;
  std::shared_ptr<DeviceManager> manager_;
};

CDovod& CDovod::instance() {
  static CDovod facade;
  return facade;
}

CDovod::CDovod() {
  CD_LOG(LOG_DEBUG, "CDovod", "CDovod::CDovod");
  Vs2003SingletonThreadCleanup::register_cleanup(&shutdown_routine);
}

CDovod::~CDovod() {
  CD_LOG(LOG_INFO, "~CDovod", "CDovod::~CDovod");
  bool has_manager = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    has_manager = static_cast<bool>(impl_);
  }
  if (has_manager) {
    CD_LOG(LOG_WARNING, "~CDovod", "CDovod::~CDovod calling about_to_join() to avoid deadlock");
    Vs2003SingletonThreadCleanup::about_to_join();
  }
  g_destroyed = true;
}

std::shared_ptr<DeviceManager> CDovod::make_or_get() {
  if (shutting_down_) {
    CD_LOG(LOG_WARNING, "getimpl", "CDovod::getimpl retuning nullptr due to shutdown");
    set_last_error(ErrorCode::NotAvailable);
    return nullptr;
  }
  if (!impl_) {
    CD_LOG(LOG_INFO, "getimpl", "CDovod::getimpl creating cdevio DeviceManager");
    impl_ = std::make_shared<DeviceManager>();
  }
  return impl_;
}

std::shared_ptr<DeviceManager> CDovod::getimpl() {
  if (g_destroyed) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  return make_or_get();
}

CDovod::Loan CDovod::lend(bool create) {
  if (g_destroyed) return Loan(*this, nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<DeviceManager> manager = create ? make_or_get() : impl_;
  if (manager) {
    ++loans_;
    ++t_loans;
  }
  return Loan(*this, std::move(manager));
}

void CDovod::end_loan() {
  std::lock_guard<std::mutex> lock(mutex_);
  --loans_;
  --t_loans;
  loans_done_.notify_all();
}

CDovod::operator std::shared_ptr<IDeviceManager>() {
  CD_LOG(LOG_INFO, "operator", "CDovod::shared_ptr<>");
  return getimpl();
}

void CDovod::shutdown() {
  CD_LOG(LOG_INFO, "shutdown", "CDovod::shutdown enter");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutting_down_ = true;
  }
  reset();
  CD_LOG(LOG_INFO, "shutdown", "CDovod::shutdown exit");
}

void CDovod::reset() {
  CD_LOG(LOG_INFO, "reset", "CDovod::reset enter");
  if (!g_destroyed) {
    std::shared_ptr<DeviceManager> old;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      old = std::move(impl_);
      loans_done_.wait(lock, [this] { return loans_ == t_loans; });
    }
    if (old) old->remove_runloop_events(nullptr, nullptr);
  }
  CD_LOG(LOG_INFO, "reset", "CDovod::reset exit");
}

void CDovod::reset_for_testing() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutting_down_ = false;
  }
  reset();
}

std::vector<std::shared_ptr<IDevice>> CDovod::devices() {
  CD_LOG(LOG_INFO, "devices", "CDovod::devices");
  Loan m = lend(true);
  return m ? m->devices() : std::vector<std::shared_ptr<IDevice>>{};
}

std::vector<std::shared_ptr<IDevice>> CDovod::devices_on_bus(std::shared_ptr<IDevice> bus) {
  CD_LOG(LOG_INFO, "devices_on_bus", "CDovod::devices_on_bus");
  Loan m = lend(true);
  return m ? m->devices_on_bus(std::move(bus)) : std::vector<std::shared_ptr<IDevice>>{};
}

int CDovod::swid(int value) {
  CD_LOG(LOG_INFO, "swid", "CDovod::swid");
  Loan m = lend(true);
  return m ? m->swid(value) : 15;
}

int CDovod::swid() {
  CD_LOG(LOG_INFO, "swid", "CDovod::swid");
  Loan m = lend(true);
  return m ? m->swid() : 15;
}

bool CDovod::is_active() {
  CD_LOG(LOG_INFO, "is_active", "CDovod::is_active");
  Loan m = lend(true);
  return m ? m->is_active() : false;
}

void CDovod::set_active(bool active) {
  CD_LOG(LOG_INFO, "set_active", "CDovod::set_active %s", active ? "true" : "false");
  Loan m = lend(true);
  if (m) m->set_active(active);
}

void CDovod::persistent_data_directory(std::string directory) {
  CD_LOG(LOG_INFO, "persistent_data_directory", "CDovod::persistent_data_directory");
  Loan m = lend(true);
  if (m) m->persistent_data_directory(std::move(directory));
}

bool CDovod::config_default(unsigned item, bool* out) {
  CD_LOG(LOG_INFO, "config_default", "CDovod::config_default %d", static_cast<int>(item));
  Loan m = lend(true);
  return m ? m->config_default(item, out) : false;
}

bool CDovod::config_get(unsigned item, bool* out) {
  CD_LOG(LOG_INFO, "config_get", "CDovod::config_get %d", static_cast<int>(item));
  Loan m = lend(true);
  return m ? m->config_get(item, out) : false;
}

bool CDovod::config_set(unsigned item, bool value) {
  CD_LOG(LOG_INFO, "config_set", "CDovod::config_set %d = %d", static_cast<int>(item), value ? 1 : 0);
  Loan m = lend(true);
  return m ? m->config_set(item, value) : false;
}

bool CDovod::connectToHardwareBusses() {
  CD_LOG(LOG_INFO, "connectToHardwareBusses", "CDovod::connectToHardwareBusses");
  Loan m = lend(true);
  return m ? m->connectToHardwareBusses() : false;
}

std::shared_ptr<IDevice> CDovod::makeDevice(std::shared_ptr<IHardwareDevice> hwdev, int force_plain, int pid) {
  CD_LOG(LOG_INFO, "makeDevice", "CDovod::makeDevice");
  Loan m = lend(true);
  return m ? m->makeDevice(std::move(hwdev), force_plain, pid) : nullptr;
}

bool CDovod::manual_subscribe(Subscriber<IDeviceManager::ArrivalRemoval>* s, int delivery) {
  CD_LOG(LOG_INFO, "manual_subscribe", "CDovod::manual_subscribe");
  Loan m = lend(true);
  return m ? m->Producer<IDeviceManager::ArrivalRemoval>::subscribe(s, delivery) : false;
}

void CDovod::report_unreported_error(const char* where) {
  CD_LOG(LOG_INFO, "report_unreported_error", "CDovod::report_unreported_error");
  Loan m = lend(false);
  if (!m) {
    CD_LOG(LOG_INFO, "report_unreported_error", "skipping CDovod::report_unreported_error");
    return;
  }
  m->report_unreported_error(where);
}

void CDovod::enqueue_event_for_runloop(RunLoopCall call, const void* subscriber_key, const void* producer_key,
                                       const std::string& description) {
  Loan m = lend(false);
  if (!m) {
    CD_LOG(LOG_DEBUG, "enqueue_event_for_runloop", "skipping CDovod::enqueue_event_for_runloop");
    return;
  }
  m->enqueue_event_for_runloop(std::move(call), subscriber_key, producer_key, description);
}

void CDovod::call_event_from_runloop() {
  Loan m = lend(false);
  if (m) m->call_event_from_runloop();
}

void CDovod::remove_runloop_events(const void* subscriber_key, const void* producer_key) {
  CD_LOG(LOG_DEBUG, "remove_runloop_events", "CDovod::remove_runloop_events start");
  {
    Loan m = lend(false);
    if (m) {
      m->remove_runloop_events(subscriber_key, producer_key);
    } else {
      CD_LOG(LOG_DEBUG, "remove_runloop_events", "skipping CDovod::remove_runloop_events");
    }
  }
  CD_LOG(LOG_DEBUG, "remove_runloop_events", "CDovod::remove_runloop_events end");
}

void CDovod::manual_unsubscribe(Subscriber<IDeviceManager::ArrivalRemoval>* s) {
  CD_LOG(LOG_INFO, "manual_unsubscribe", "CDovod::manual_unsubscribe");
  Loan m = lend(false);
  if (!m) {
    CD_LOG(LOG_INFO, "manual_unsubscribe", "skipping CDovod::manual_unsubscribe");
    return;
  }
  m->Producer<IDeviceManager::ArrivalRemoval>::unsubscribe(s);
}

}  // namespace dovod

// The run-loop functions that every producer calls; they may run while the process exits, after the
// facade is gone, so they look at g_destroyed before touching it.
namespace dovod {

void enqueue_event_for_runloop(RunLoopCall call, const void* subscriber_key, const void* producer_key,
                               const std::string& description) {
  if (g_destroyed) return;
  CDovod::instance().enqueue_event_for_runloop(std::move(call), subscriber_key, producer_key, description);
}

void remove_runloop_events(const void* subscriber_key, const void* producer_key) {
  if (g_destroyed) return;
  CDovod::instance().remove_runloop_events(subscriber_key, producer_key);
}

}  // namespace dovod
