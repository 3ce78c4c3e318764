#include "Source/Windows/Win32Channel.h"

#include <algorithm>
#include <functional>

#include "Source/Windows/Win32Bus.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32Device";
// How long a cancelled request may take to let go of its buffer. Cancelling ends a request at
// once on every system we know; the bound only keeps a broken driver from holding a thread.
constexpr DWORD kCancelWaitMs = 5000;

DWORD wait_limit(std::chrono::milliseconds limit) {
  if (limit.count() <= 0) return 0;
  return static_cast<DWORD>(std::min<long long>(limit.count(), INFINITE - 1));
}

HidChannel::WriteResult write_failure(DWORD error) {
  // Windows' HID driver answers a write the device did not take with ERROR_GEN_FAILURE.
  if (error == ERROR_GEN_FAILURE) return {HidChannel::WriteKind::NotTaken, error};
  return {HidChannel::WriteKind::Failed, error};
}

}  // namespace

Win32Channel::Win32Channel(std::weak_ptr<Win32Bus> bus, HANDLE handle, HDEVNOTIFY notification,
                           unsigned input_length)
    : bus_(std::move(bus)),
      handle_(handle),
      notification_(notification),
      stop_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      read_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      write_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      read_buffer_(input_length > 0 ? input_length : 1) {}

Win32Channel::~Win32Channel() {
  if (auto bus = bus_.lock()) {
    bus->unregisterDeviceNotificationAndCloseTrackedHandle(notification_, handle_);
  }
  // Without its bus the handle is closed already: the bus's window thread closes every handle it
  // still tracks on its way out. Closing the handle ends a request still pending; its buffer
  // and record are ours, so wait for that before they go.
  if (read_pending_) WaitForSingleObject(read_event_, kCancelWaitMs);
  for (HANDLE event : {stop_event_, read_event_, write_event_}) {
    if (event) CloseHandle(event);
  }
}

template <typename Call>
bool Win32Channel::with_handle(Call start) {
  auto bus = bus_.lock();
  return bus && bus->with_tracked_handle(notification_, handle_, std::function<void()>(start));
}

void Win32Channel::stop() { SetEvent(stop_event_); }

bool Win32Channel::still_open() {
  auto bus = bus_.lock();
  return bus && bus->verifyDeviceNotificationHandleOpen(notification_, handle_);
}

void Win32Channel::cancel_and_wait(OVERLAPPED& request) {
  with_handle([&] { CancelIoEx(handle_, &request); });
  WaitForSingleObject(request.hEvent, kCancelWaitMs);
}

HidChannel::ReadResult Win32Channel::read(Bytes& buffer) {
  if (WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0) return {ReadKind::Stopped};
  read_request_ = OVERLAPPED{};
  read_request_.hEvent = read_event_;
  BOOL done = FALSE;
  DWORD error = 0;
  const bool tracked = with_handle([&] {
    done = ReadFile(handle_, read_buffer_.data(), static_cast<DWORD>(read_buffer_.size()), nullptr, &read_request_);
    error = done ? 0 : GetLastError();
    read_pending_ = !done && error == ERROR_IO_PENDING;
  });
  // The bus closed the handle for a removal Windows announced: this handle is over, and the
  // device's next open starts with a new one.
  if (!tracked) return {ReadKind::Stopped};
  if (!done && error != ERROR_IO_PENDING) return finish_read(error, 0, buffer);
  if (read_pending_) {
    const HANDLE events[2] = {stop_event_, read_event_};
    const DWORD which = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0 + 1) {
      xLog(kTag, LOG_DEBUG, "dovod::Win32Device::read_thread", "Win32Device::read_thread got stop event");
      cancel_and_wait(read_request_);
      read_pending_ = false;
      return {ReadKind::Stopped};
    }
    read_pending_ = false;
  }
  DWORD transferred = 0;
  const BOOL ok = GetOverlappedResult(handle_, &read_request_, &transferred, FALSE);
  return finish_read(ok ? 0 : GetLastError(), transferred, buffer);
}

HidChannel::ReadResult Win32Channel::finish_read(DWORD error, DWORD transferred, Bytes& buffer) {
  if (error == 0) {
    const std::size_t length = std::min<std::size_t>({transferred, buffer.size(), read_buffer_.size()});
    std::copy_n(read_buffer_.begin(), length, buffer.begin());
    return {ReadKind::Report, length};
  }
  if (error == ERROR_DEVICE_NOT_CONNECTED) {
    xLog(kTag, LOG_INFO, "dovod::Win32Device::read_thread", "Win32Device::read_thread ERROR_DEVICE_NOT_CONNECTED");
    return {ReadKind::Gone, 0, error};
  }
  // A request ended by our own stop, or by the bus closing the handle, is the end of this handle
  // rather than a failed read.
  if (WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0 || !still_open()) return {ReadKind::Stopped};
  return {ReadKind::Failed, 0, error};
}

HidChannel::WriteResult Win32Channel::write(const Bytes& report, std::chrono::milliseconds limit) {
  if (WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0) return {WriteKind::Failed, ERROR_OPERATION_ABORTED};
  // The system reads from the buffer until the request ends, which a cancelled request may do
  // after this call returned: the bytes are the channel's own.
  write_buffer_ = report;
  write_request_ = OVERLAPPED{};
  write_request_.hEvent = write_event_;
  BOOL done = FALSE;
  DWORD error = 0;
  const bool tracked = with_handle([&] {
    done = WriteFile(handle_, write_buffer_.data(), static_cast<DWORD>(write_buffer_.size()), nullptr, &write_request_);
    error = done ? 0 : GetLastError();
  });
  if (!tracked) return {WriteKind::Failed, ERROR_INVALID_HANDLE};
  if (!done && error != ERROR_IO_PENDING) return write_failure(error);
  if (!done) {
    const HANDLE events[2] = {stop_event_, write_event_};
    const DWORD which = WaitForMultipleObjects(2, events, FALSE, wait_limit(limit));
    if (which != WAIT_OBJECT_0 + 1) {
      cancel_and_wait(write_request_);
      if (which == WAIT_TIMEOUT) {
        xLog(kTag, LOG_WARNING, "dovod::Win32Device::write", "Win32Device::write timeout, waitresult=0x%08lx", which);
        return {WriteKind::TimedOut};
      }
      return {WriteKind::Failed, ERROR_OPERATION_ABORTED};
    }
  }
  DWORD written = 0;
  if (!GetOverlappedResult(handle_, &write_request_, &written, FALSE)) return write_failure(GetLastError());
  return {WriteKind::Ok};
}

}  // namespace dovod
