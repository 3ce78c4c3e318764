#pragma once
// A SetupAPI device-information list, destroyed on every way out of the code that made it: a
// return, a thrown failure, or a system that lacks the function to destroy it (logged; a
// destructor must not throw).

#include "Source/Windows/DovodException.h"
#include "Source/Windows/IWin32System.h"
#include "dovod/xLog.h"

namespace dovod {

class DeviceInfoList {
 public:
  DeviceInfoList(IWin32System& system, HDEVINFO list) : system_(system), list_(list) {}
  ~DeviceInfoList() {
    if (!valid()) return;
    try {
      system_.SetupDiDestroyDeviceInfoList(list_);
    } catch (const DovodException& e) {
      xLog("Win32System", LOG_ERROR, "dovod::DeviceInfoList::~DeviceInfoList",
           "could not destroy device information list: %s", e.what());
    }
  }
  DeviceInfoList(const DeviceInfoList&) = delete;
  DeviceInfoList& operator=(const DeviceInfoList&) = delete;

  bool valid() const { return list_ != INVALID_HANDLE_VALUE; }
  HDEVINFO get() const { return list_; }

 private:
  IWin32System& system_;
  HDEVINFO list_;
};

}  // namespace dovod
