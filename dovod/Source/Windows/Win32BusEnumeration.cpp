// The HID interfaces present, as SetupAPI lists them.

#include <cstddef>
#include <vector>

#include "Source/Windows/DeviceInfoList.h"
#include "Source/Windows/DovodException.h"
#include "Source/Windows/PathText.h"
#include "Source/Windows/Win32Bus.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32Bus";
constexpr const char* kFn = "dovod::Win32Bus::EnumerateInterfaces";

}  // namespace

void Win32Bus::EnumerateInterfaces(const GUID& interface_class, std::vector<std::shared_ptr<IHardwareDevice>>& out) {
  IWin32System& system = *system_;
  HDEVINFO handle =
      system.SetupDiGetClassDevsW(&interface_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (handle == INVALID_HANDLE_VALUE) {
    throw DovodException("SetupDiGetClassDevs failed", ErrorCode::EnumerationFailed, GetLastError());
  }
  DeviceInfoList list(system, handle);
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA interface_data{};
    interface_data.cbSize = sizeof(interface_data);
    if (!system.SetupDiEnumDeviceInterfaces(list.get(), nullptr, &interface_class, index, &interface_data)) {
      const DWORD error = GetLastError();
      if (error == ERROR_NO_MORE_ITEMS) break;
      throw DovodException("SetupDiEnumDeviceInterfaces failed", ErrorCode::EnumerationFailed, error);
    }
    DWORD required = 0;
    if (!system.SetupDiGetDeviceInterfaceDetailW(list.get(), &interface_data, nullptr, 0, &required, nullptr)) {
      const DWORD error = GetLastError();
      if (error != ERROR_INSUFFICIENT_BUFFER) {
        throw DovodException("SetupDiGetDeviceInterfaceDetail probe failed", ErrorCode::EnumerationFailed, error);
      }
    }
    // Room for the record's fixed part and a terminated name, whatever size the probe answered.
    const std::size_t fixed = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    std::vector<std::byte> buffer(std::max<std::size_t>(required, fixed) + sizeof(wchar_t));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    if (!system.SetupDiGetDeviceInterfaceDetailW(list.get(), &interface_data, detail,
                                                 static_cast<DWORD>(buffer.size() - sizeof(wchar_t)), nullptr,
                                                 &info)) {
      throw DovodException("SetupDiGetDeviceInterfaceDetail failed", ErrorCode::EnumerationFailed, GetLastError());
    }
    const std::string path = path_text(detail->DevicePath);
    auto device = make_device(path, info.DevInst);
    if (!device->open()) {
      xLog(kTag, LOG_DEBUG, kFn, "Win32Bus::EnumerateInterfaces ignoring device it could not open: %s", path.c_str());
      continue;
    }
    device->close();
    xLog(kTag, LOG_DEBUG, kFn, "Win32Bus::EnumerateInterfaces adding device to list: %s", path.c_str());
    out.push_back(std::move(device));
  }
}

}  // namespace dovod
