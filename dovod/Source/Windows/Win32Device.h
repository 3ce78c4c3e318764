#pragma once
// One Windows HID collection as the bus makes it: a path that opens with overlapped I/O and whose
// handle the bus watches while it is open. Reading and writing come with the shared HID device base.

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

#include "Source/Windows/IWin32System.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

class Win32Bus;

class Win32Device : public IHardwareDevice,
                    public Producer<IHardwareDevice::Write>,
                    public Producer<IHardwareDevice::Read>,
                    public Producer<IHardwareDevice::Connect>,
                    public std::enable_shared_from_this<Win32Device> {
 public:
  Win32Device(std::weak_ptr<Win32Bus> bus, std::shared_ptr<IWin32System> system, std::string path, DEVINST devnode);
  ~Win32Device() override;

  bool connected() override { return true; }
  // Opens the path and hands the handle to the bus. Fails with `ErrorCode::NoPath` (32),
  // `ErrorCode::OpenFailed` (33), `ErrorCode::NotAvailable` (72) when the bus is gone, or the bus's
  // registration error.
  bool open() override;
  void close() override;
  // Not yet: fails with `ErrorCode::InvalidDeviceHandle` (7) and one onWrite.
  bool write(Bytes report, bool blocking) override;
  std::shared_ptr<IHardwareBus> bus() override;
  std::string path() override { return path_; }
  unsigned pid() override { return 0; }
  std::string product_name() override { return {}; }

  DEVINST devnode() const { return devnode_; }

 private:
  const std::weak_ptr<Win32Bus> bus_;
  const std::shared_ptr<IWin32System> system_;
  const std::string path_;
  const DEVINST devnode_;

  std::mutex mutex_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  HDEVNOTIFY notification_ = nullptr;
};

}  // namespace dovod
