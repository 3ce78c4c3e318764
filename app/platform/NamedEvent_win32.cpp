#include "app/platform/NamedEvent.h"

#include <windows.h>

#include <string>

namespace vorn::platform {

NamedEvent::~NamedEvent() { close(); }

bool NamedEvent::open_existing(std::wstring_view name) {
  close();
  std::wstring text(name);
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, text.c_str());
  if (!event) return false;
  handle_ = event;
  return true;
}

bool NamedEvent::set() { return handle_ && SetEvent(static_cast<HANDLE>(handle_)); }

bool NamedEvent::create(std::wstring_view name) {
  close();
  std::wstring text(name);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, text.c_str());
  if (!event) return false;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(event);
    return false;
  }
  handle_ = event;
  return true;
}

bool NamedEvent::wait(std::chrono::milliseconds timeout) {
  if (!handle_) return false;
  DWORD ms = timeout.count() < 0 ? INFINITE : static_cast<DWORD>(timeout.count());
  return WaitForSingleObject(static_cast<HANDLE>(handle_), ms) == WAIT_OBJECT_0;
}

void NamedEvent::close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

}  // namespace vorn::platform
