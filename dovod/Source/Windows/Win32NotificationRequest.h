#pragma once
// The record one thread hands to the bus's window thread to have a device notification registered
// or unregistered there: Windows delivers a window's notifications to the thread that owns the
// window, so every registration happens on that thread.

#include <windows.h>

#include <cstdint>

#include "dovod/ErrorCode.h"

namespace dovod {

struct NotificationRequest {
  std::uint32_t size;             // sizeof(NotificationRequest); also the message's wParam
  std::uint8_t is_handle;         // 1: a device-handle notification, 0: an interface-class one
  std::uint8_t unregister;        // 1: unregister, 0: register
  ErrorCode result_code;          // filled by the window thread when a registration failed
  std::uint32_t result_system_error;
  HANDLE device;                  // handle kind
  HDEVNOTIFY notification;        // handle kind: result of registering, input of unregistering
  GUID interface_class;           // interface kind
  HDEVNOTIFY interface_notification;  // interface kind: result of registering, input of unregistering
};

// The record is 44 bytes where handles are 32-bit and 56 where they are 64-bit; both sides check
// the size they were built with, so a message from anything else is never taken for a request.
constexpr std::uint32_t kNotificationRequestSize = sizeof(NotificationRequest);
static_assert(sizeof(void*) != 4 || kNotificationRequestSize == 44);
static_assert(sizeof(void*) != 8 || kNotificationRequestSize == 56);

}  // namespace dovod
