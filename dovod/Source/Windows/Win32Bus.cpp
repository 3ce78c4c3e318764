#include "Source/Windows/Win32Bus.h"

#include "Source/Windows/DovodException.h"
#include "Source/Windows/Win32Device.h"
#include "dovod/IDeviceManager.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32Bus";

}  // namespace

Win32Bus::Win32Bus(const std::shared_ptr<IDeviceManager>& manager)
    : manager_(manager), has_manager_(manager != nullptr) {}

Win32Bus::~Win32Bus() {
  if (HWND window = window_.load()) PostMessageW(window, WM_CLOSE, 0, 0);
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      // The last owner let go inside a handler on the window thread, which cannot join itself.
      xLog(kTag, LOG_ERROR, "dovod::Win32Bus::~Win32Bus", "Win32Bus destroyed on its own window thread");
      thread_.detach();
    } else {
      try {
        thread_.join();
      } catch (...) {
      }
    }
  }
}

void Win32Bus::init() {
  // The Bluetooth bus and the GATT bus, which share this bus's window, are made here once they
  // exist; until then the bus has neither and the lists stay empty.
  xLog(kTag, LOG_DEBUG, "dovod::Win32Bus::init", "Win32Bus::init");
}

std::shared_ptr<IWin32System> Win32Bus::makeWin32System() { return make_win32_system(); }

std::shared_ptr<IHardwareDevice> Win32Bus::make_device(const std::string& path, DEVINST devnode) {
  return std::make_shared<Win32Device>(weak_from_this(), system_, path, devnode);
}

void Win32Bus::lazyStart(HWND* window_out, std::shared_ptr<IWin32System>* system_out) {
  std::lock_guard<std::mutex> lazy(lazy_start_mutex_);
  if (!start_done_) {
    system_ = makeWin32System();
    if (!system_) throw DovodException("no system object", ErrorCode::SystemFunctionMissing, 0);
    system_->HidD_GetHidGuid(&hid_class_);
    {
      std::lock_guard<std::mutex> lock(started_mutex_);
      start_state_ = StartState::NotStarted;
    }
    thread_ = std::thread(&Win32Bus::window_thread_static, this);
    std::unique_lock<std::mutex> lock(started_mutex_);
    // The thread reports either its start or the failure that ended it before it could start.
    started_cv_.wait(lock, [this] { return start_state_ != StartState::NotStarted; });
    start_done_ = true;
  }
  {
    std::lock_guard<std::mutex> lock(started_mutex_);
    if (start_state_ == StartState::Failed) {
      throw DovodException(thread_error_.message, thread_error_.code, thread_error_.system_error);
    }
  }
  if (window_out) *window_out = window_.load();
  if (system_out) *system_out = system_;
}

std::vector<std::shared_ptr<IHardwareDevice>> Win32Bus::devices() {
  static constexpr const char* kFn = "dovod::Win32Bus::devices";
  std::vector<std::shared_ptr<IHardwareDevice>> found;
  try {
    lazyStart(nullptr, nullptr);
    EnumerateInterfaces(hid_class_, found);
  } catch (const DovodException& e) {
    e.store_as_last_error();
    xLog(kTag, LOG_ERROR, kFn, "Win32Bus::devices exception, code=%d err=%lu %s", to_int(e.code()),
         e.system_error(), e.what());
    return {};
  }
  if (found.empty()) clear_last_error();
  xLog(kTag, LOG_DEBUG, kFn, "Win32Bus::devices exit, returning %d devices", static_cast<int>(found.size()));
  return found;
}

bool Win32Bus::verify_device_exists(const std::string& path) {
  static constexpr const char* kFn = "dovod::Win32Bus::verify_device_exists";
  for (const auto& device : devices()) {
    if (device->path() == path) {
      xLog(kTag, LOG_DEBUG, kFn, "Win32Bus::verify_device_exists - device is present: %s", path.c_str());
      return true;
    }
  }
  xLog(kTag, LOG_WARNING, kFn, "Win32Bus::verify_device_exists - device was lost: %s", path.c_str());
  read_failed_with_disconnect_error(path);
  return false;
}

void Win32Bus::read_failed_with_disconnect_error(const std::string& path) {
  // Called from a device's thread; a bus already on its way out announces nothing.
  auto self = weak_from_this().lock();
  if (!self) return;
  xLog(kTag, LOG_INFO, "dovod::Win32Bus::read_failed_with_disconnect_error",
       "Win32Bus::read_failed_with_disconnect_error producing onUnPlug event");
  auto departed = make_device(path, 0);
  produce([departed](IHardwareBus::PlugUnplug* s) { s->onUnplug(departed); }, "Win32Bus::PlugUnplug::onUnplug");
}

bool Win32Bus::on_subscribe(Subscriber<IHardwareBus::PlugUnplug>*) {
  try {
    lazyStart(nullptr, nullptr);
  } catch (const DovodException& e) {
    e.store_as_last_error();
    xLog(kTag, LOG_WARNING, "dovod::Win32Bus::on_subscribe", "Win32Bus::on_subscribe exception, code=%d",
         to_int(e.code()));
    return false;
  }
  return true;
}

bool Win32Bus::manager_alive() const { return !has_manager_ || !manager_.expired(); }

void Win32Bus::report_to_manager(const char* where) {
  if (auto manager = manager_.lock()) {
    manager->report_unreported_error(where);
  } else {
    xLog(kTag, LOG_WARNING, "dovod::Win32Bus::report_to_manager", "%s could not lock manager", where);
  }
}

}  // namespace dovod
