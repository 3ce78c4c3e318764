#include "Source/Windows/Win32Device.h"

#include "Source/Windows/Win32Bus.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "platform/WideText_win32.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32Device";

}  // namespace

Win32Device::Win32Device(std::weak_ptr<Win32Bus> bus, std::shared_ptr<IWin32System> system, std::string path,
                         DEVINST devnode)
    : bus_(std::move(bus)), system_(std::move(system)), path_(std::move(path)), devnode_(devnode) {}

Win32Device::~Win32Device() { close(); }

std::shared_ptr<IHardwareBus> Win32Device::bus() { return bus_.lock(); }

bool Win32Device::open() {
  static constexpr const char* kFn = "dovod::Win32Device::open";
  std::lock_guard<std::mutex> lock(mutex_);
  auto bus = bus_.lock();
  if (handle_ != INVALID_HANDLE_VALUE) {
    if (bus && bus->verifyDeviceNotificationHandleOpen(notification_, handle_)) return true;
    if (bus) bus->unregisterDeviceNotificationAndCloseTrackedHandle(notification_, handle_);
    handle_ = INVALID_HANDLE_VALUE;
    notification_ = nullptr;
  }
  if (path_.empty()) {
    set_last_error(ErrorCode::NoPath);
    return false;
  }
  HANDLE handle = system_->CreateFileW(platform::to_wide(path_).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    set_last_error(ErrorCode::OpenFailed, GetLastError(), "CreateFile failed");
    xLog(kTag, LOG_DEBUG, kFn, "Win32Device::open exit (false, CreateFile failed)");
    return false;
  }
  if (!bus) {
    CloseHandle(handle);
    set_last_error(ErrorCode::NotAvailable);
    return false;
  }
  HDEVNOTIFY notification = bus->registerDeviceNotificationAndTakeOwnershipOfHandle(handle);
  if (!notification) {
    const LastError error = last_error();
    CloseHandle(handle);
    set_last_error(error.code, error.system_error, error.message);
    xLog(kTag, LOG_DEBUG, kFn, "Win32Device::open exit (false, could not register device notification)");
    return false;
  }
  handle_ = handle;
  notification_ = notification;
  return true;
}

void Win32Device::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handle_ == INVALID_HANDLE_VALUE) return;
  if (auto bus = bus_.lock()) {
    bus->unregisterDeviceNotificationAndCloseTrackedHandle(notification_, handle_);
  }
  handle_ = INVALID_HANDLE_VALUE;
  notification_ = nullptr;
}

bool Win32Device::write(Bytes, bool) {
  set_last_error(ErrorCode::InvalidDeviceHandle);
  Producer<IHardwareDevice::Write>::produce(
      [](IHardwareDevice::Write* s) { s->onWrite({}, ErrorCode::InvalidDeviceHandle, 0); },
      "Win32Device::Write::onWrite");
  return false;
}

}  // namespace dovod
