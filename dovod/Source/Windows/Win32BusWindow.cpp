// The bus's hidden window: its thread, its message loop and its message table.

#include <windows.h>
// clang-format off
#include <dbt.h>
// clang-format on

#include <exception>

#include "Source/Windows/DovodException.h"
#include "Source/Windows/Win32Bus.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32Bus";

}  // namespace

void Win32Bus::window_thread_static(Win32Bus* bus) {
  bus->thread_id_ = GetCurrentThreadId();
  try {
    bus->window_thread();
    return;
  } catch (const std::exception& e) {
    xLog(kTag, LOG_ERROR, "dovod::Win32Bus::window_thread_static", "Win32Bus::window_thread_static exception: %s",
         e.what());
  } catch (...) {
    xLog(kTag, LOG_ERROR, "dovod::Win32Bus::window_thread_static", "Win32Bus::window_thread_static unknown exception");
  }
  set_last_error(ErrorCode::WindowThreadFailed);
  bus->report_to_manager("Win32Bus::window_thread_static");
  bus->window_ = nullptr;
  bus->finished_ = true;
  // A thread that failed before its start must still wake lazyStart, which waits for it; last, so
  // that whoever it wakes finds the thread's end already recorded.
  bus->window_thread_has_started(StartState::Failed, last_error());
}

void Win32Bus::window_thread() {
  static constexpr const char* kFn = "dovod::Win32Bus::window_thread";
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &Win32Bus::WindowProcStatic;
  window_class.lpszClassName = kWindowClass;
  // A second bus of the process finds the class registered already, which serves it as well.
  RegisterClassW(&window_class);
  HWND window = create_window(nullptr);
  if (!window) {
    // A session without a desktop refuses top-level windows. A message-only window still hears
    // the device notifications registered for it, though no broadcast such as the power events.
    xLog(kTag, LOG_WARNING, kFn, "Win32Bus::window_thread no top-level window, err=%lu; using a message-only one",
         GetLastError());
    window = create_window(HWND_MESSAGE);
  }
  if (!window) {
    const DWORD error = GetLastError();
    xLog(kTag, LOG_ERROR, kFn, "Win32Bus::window_thread CreateWindowEx failed, err=%lu", error);
    throw DovodException("could not create window", ErrorCode::WindowFailed, error);
  }
  window_ = window;
  ShowWindow(window, SW_HIDE);
  if (!registerInterfaceNotification_worker(hid_class_)) {
    if (has_manager_ && !manager_.expired()) {
      report_to_manager("Win32Bus::window_thread");
    } else {
      xLog(kTag, LOG_WARNING, kFn, "Win32Bus::window_thread could not lock manager");
    }
  }
  window_thread_has_started(StartState::Started, LastError{});
  run_message_loop();
  release_everything_on_window_thread();
  finished_ = true;
}

HWND Win32Bus::create_window(HWND parent) {
  return CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, kWindowClass, WS_POPUP, 0, 0, 0, 0, parent, nullptr, nullptr,
                         this);
}

void Win32Bus::window_thread_has_started(StartState state, const LastError& error) {
  std::lock_guard<std::mutex> lock(started_mutex_);
  if (start_state_ != StartState::NotStarted) return;
  start_state_ = state;
  thread_error_ = error;
  started_cv_.notify_all();
}

void Win32Bus::run_message_loop() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The window is gone now: requests made from here on find no window.
  window_ = nullptr;
}

void Win32Bus::release_everything_on_window_thread() {
  const std::set<HDEVNOTIFY> interfaces = interface_notifications_;
  for (HDEVNOTIFY notification : interfaces) unregisterInterfaceNotification_worker(notification);
  std::map<HDEVNOTIFY, HANDLE> tracked;
  {
    std::lock_guard<std::mutex> lock(tracked_mutex_);
    tracked = tracked_handles_;
  }
  for (const auto& [notification, device] : tracked) {
    unregisterDeviceNotificationAndCloseTrackedHandle_worker(notification, device);
  }
}

LRESULT CALLBACK Win32Bus::WindowProcStatic(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    // The pointer-sized slot: a 32-bit one would cut the bus's address in half on 64-bit Windows.
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* bus = reinterpret_cast<Win32Bus*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!bus) return message == WM_NCCREATE ? DefWindowProcW(window, message, wparam, lparam) : 0;
  return bus->WindowProc(window, message, wparam, lparam);
}

LRESULT Win32Bus::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_POWERBROADCAST:
      if (wparam == PBT_APMRESUMEAUTOMATIC) {
        xLog(kTag, LOG_INFO, "dovod::Win32Bus::WindowProc", "Win32Bus WM_POWERBROADCAST - PBT_APMRESUMEAUTOMATIC");
        produce([](IHardwareBus::PlugUnplug* s) { s->onPowerChange(false); }, "Win32Bus::PlugUnplug::onPowerChange");
      }
      return 0;
    case WM_DEVICECHANGE:
      try {
        processDeviceChange(wparam, lparam);
      } catch (...) {
        xLog(kTag, LOG_ERROR, "dovod::Win32Bus::WindowProc", "Win32Bus WM_DEVICECHANGE exception");
      }
      return 0;
    case WM_USER: {
      auto* request = reinterpret_cast<NotificationRequest*>(lparam);
      if (wparam == kNotificationRequestSize && request && request->size == kNotificationRequestSize) {
        carry_out(request);
      } else {
        xLog(kTag, LOG_WARNING, "dovod::Win32Bus::WindowProc",
             "Win32Bus::WindowProc got WM_USER with unexpected parameters");
      }
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace dovod
