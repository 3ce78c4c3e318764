// Notification requests: asked for on any thread, carried out on the window thread, which is the
// one Windows delivers the window's notifications to; and the device handles the bus keeps.

#include <windows.h>
// clang-format off
#include <dbt.h>
// clang-format on

#include "Source/Windows/Win32Bus.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32Bus";

NotificationRequest make_request(bool is_handle, bool unregister) {
  NotificationRequest request{};
  request.size = kNotificationRequestSize;
  request.is_handle = is_handle ? 1 : 0;
  request.unregister = unregister ? 1 : 0;
  return request;
}

}  // namespace

bool Win32Bus::send_request(NotificationRequest* request, const char* what) {
  static constexpr const char* kFn = "dovod::Win32Bus::send_request";
  HWND window = window_.load();
  if (!window) {
    xLog(kTag, LOG_WARNING, kFn, "-hid- %s: no window", what);
    if (!request->unregister) set_last_error(ErrorCode::NotAvailable);
    return false;
  }
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, WM_USER, kNotificationRequestSize, reinterpret_cast<LPARAM>(request), SMTO_BLOCK,
                           kRequestTimeoutMs, &answer)) {
    xLog(kTag, LOG_ERROR, kFn, "-hid- SendMessageTimeout failed or timed out");
    return false;
  }
  return true;
}

HDEVNOTIFY Win32Bus::registerInterfaceNotification(const GUID& interface_class) {
  NotificationRequest request = make_request(false, false);
  request.interface_class = interface_class;
  if (!send_request(&request, "registerInterfaceNotification")) return nullptr;
  if (!request.interface_notification) set_last_error(request.result_code, request.result_system_error);
  return request.interface_notification;
}

void Win32Bus::unregisterInterfaceNotification(HDEVNOTIFY notification) {
  NotificationRequest request = make_request(false, true);
  request.interface_notification = notification;
  send_request(&request, "unregisterInterfaceNotification");
}

HDEVNOTIFY Win32Bus::registerDeviceNotificationAndTakeOwnershipOfHandle(HANDLE device) {
  NotificationRequest request = make_request(true, false);
  request.device = device;
  if (!send_request(&request, "registerDeviceNotificationAndTakeOwnershipOfHandle")) return nullptr;
  if (!request.notification) set_last_error(request.result_code, request.result_system_error);
  return request.notification;
}

void Win32Bus::unregisterDeviceNotificationAndCloseTrackedHandle(HDEVNOTIFY notification, HANDLE device) {
  NotificationRequest request = make_request(true, true);
  request.notification = notification;
  request.device = device;
  send_request(&request, "unregisterDeviceNotificationAndCloseTrackedHandle");
}

void Win32Bus::carry_out(NotificationRequest* request) {
  HDEVNOTIFY result = nullptr;
  if (request->is_handle && !request->unregister) {
    result = request->notification = registerDeviceNotificationAndTakeOwnershipOfHandle_worker(request->device);
  } else if (request->is_handle) {
    unregisterDeviceNotificationAndCloseTrackedHandle_worker(request->notification, request->device);
    return;
  } else if (!request->unregister) {
    result = request->interface_notification = registerInterfaceNotification_worker(request->interface_class);
  } else {
    unregisterInterfaceNotification_worker(request->interface_notification);
    return;
  }
  if (!result) {
    request->result_code = last_error().code;
    request->result_system_error = static_cast<std::uint32_t>(last_error().system_error);
  }
}

HDEVNOTIFY Win32Bus::registerInterfaceNotification_worker(const GUID& interface_class) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = interface_class;
  HDEVNOTIFY notification = system_->RegisterDeviceNotificationW(window_.load(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (!notification) {
    const DWORD error = GetLastError();
    xLog(kTag, LOG_ERROR, "dovod::Win32Bus::registerInterfaceNotification_worker",
         "-hid- RegisterDeviceNotification_worker failed, syserr=%lu", error);
    set_last_error(ErrorCode::InterfaceNotificationFailed, error);
    return nullptr;
  }
  interface_notifications_.insert(notification);
  return notification;
}

void Win32Bus::unregisterInterfaceNotification_worker(HDEVNOTIFY notification) {
  if (interface_notifications_.erase(notification)) UnregisterDeviceNotification(notification);
}

HDEVNOTIFY Win32Bus::registerDeviceNotificationAndTakeOwnershipOfHandle_worker(HANDLE device) {
  static constexpr const char* kFn = "dovod::Win32Bus::registerDeviceNotificationAndTakeOwnershipOfHandle_worker";
  DEV_BROADCAST_HANDLE filter{};
  filter.dbch_size = sizeof(filter);
  filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
  filter.dbch_handle = device;
  HDEVNOTIFY notification = system_->RegisterDeviceNotificationW(window_.load(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (!notification) {
    const DWORD error = GetLastError();
    xLog(kTag, LOG_ERROR, kFn, "registerDeviceNotificationAndTakeOwnershipOfHandle_worker failed, err=%lu", error);
    set_last_error(ErrorCode::NotificationRegistrationFailed, error, "RegisterDeviceNotification");
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(tracked_mutex_);
  auto [it, inserted] = tracked_handles_.emplace(notification, device);
  if (!inserted) {
    xLog(kTag, LOG_ERROR, kFn,
         "registerDeviceNotificationAndTakeOwnershipOfHandle_worker: new notif %p to track handle %p already "
         "tracking handle %p",
         static_cast<void*>(notification), device, it->second);
    it->second = device;
  }
  return notification;
}

void Win32Bus::close_tracked_locked(HDEVNOTIFY notification, HANDLE device, HANDLE tracked) {
  static constexpr const char* kFn = "dovod::Win32Bus::closeTrackedHandle";
  // The bus owns only the handle it tracks; a different value from the caller could by now name
  // another object of the process, so it is never closed.
  if (tracked != device) {
    xLog(kTag, LOG_ERROR, kFn, "closeTrackedHandle notif %p tracks handle %p, asked to close %p",
         static_cast<void*>(notification), tracked, device);
  }
  if (!CloseHandle(tracked)) {
    xLog(kTag, LOG_ERROR, kFn, "CloseHandle %p failed, err=%lu", tracked, GetLastError());
  }
  tracked_handles_[notification] = INVALID_HANDLE_VALUE;
}

void Win32Bus::closeTrackedHandle(HDEVNOTIFY notification, HANDLE device) {
  static constexpr const char* kFn = "dovod::Win32Bus::closeTrackedHandle";
  if (!notification || !device) {
    xLog(kTag, LOG_ERROR, kFn, "closeTrackedHandle null notification %p or handle %p",
         static_cast<void*>(notification), device);
    return;
  }
  std::lock_guard<std::mutex> lock(tracked_mutex_);
  auto it = tracked_handles_.find(notification);
  if (it == tracked_handles_.end()) {
    xLog(kTag, LOG_WARNING, kFn, "closeTrackedHandle hNotification not tracked");
  } else if (it->second == INVALID_HANDLE_VALUE) {
    xLog(kTag, LOG_INFO, kFn, "handle %p already closed", device);
  } else {
    close_tracked_locked(notification, device, it->second);
  }
}

void Win32Bus::unregisterDeviceNotificationAndCloseTrackedHandle_worker(HDEVNOTIFY notification, HANDLE device) {
  static constexpr const char* kFn = "dovod::Win32Bus::unregisterDeviceNotificationAndCloseTrackedHandle_worker";
  if (!notification || !device) {
    xLog(kTag, LOG_ERROR, kFn, "unregister: null notification %p or handle %p", static_cast<void*>(notification),
         device);
    return;
  }
  std::lock_guard<std::mutex> lock(tracked_mutex_);
  auto it = tracked_handles_.find(notification);
  if (it == tracked_handles_.end()) {
    xLog(kTag, LOG_ERROR, kFn, "unregister: notif %p not tracked", static_cast<void*>(notification));
    return;
  }
  if (it->second != INVALID_HANDLE_VALUE) close_tracked_locked(notification, device, it->second);
  if (!UnregisterDeviceNotification(notification)) {
    xLog(kTag, LOG_ERROR, kFn, "UnregisterDeviceNotification %p failed, err=%lu", static_cast<void*>(notification),
         GetLastError());
  }
  tracked_handles_.erase(notification);
}

bool Win32Bus::verifyDeviceNotificationHandleOpen(HDEVNOTIFY notification, HANDLE device) {
  std::lock_guard<std::mutex> lock(tracked_mutex_);
  auto it = tracked_handles_.find(notification);
  return device != INVALID_HANDLE_VALUE && it != tracked_handles_.end() && it->second == device;
}

bool Win32Bus::with_tracked_handle(HDEVNOTIFY notification, HANDLE device, const std::function<void()>& call) {
  std::lock_guard<std::mutex> lock(tracked_mutex_);
  auto it = tracked_handles_.find(notification);
  if (device == INVALID_HANDLE_VALUE || it == tracked_handles_.end() || it->second != device) return false;
  call();
  return true;
}

}  // namespace dovod
