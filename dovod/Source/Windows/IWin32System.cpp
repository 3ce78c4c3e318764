#include "Source/Windows/IWin32System.h"

#include <cstddef>
#include <cwchar>
#include <vector>

#include "Source/Windows/DeviceInfoList.h"
#include "Source/Windows/DovodException.h"
#include "Source/Windows/PathText.h"
#include "dovod/xLog.h"
#include "platform/WideText_win32.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32System";


}  // namespace

std::string IWin32System::setupdi_parent(const std::string& instance) {
  static constexpr const char* kFn = "dovod::IWin32System::setupdi_parent";
  if (instance.empty()) {
    xLog(kTag, LOG_DEBUG, kFn, "setupdi_parent exit, returning empty instance for empty instance");
    return instance;
  }
  DeviceInfoList list(*this, SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!list.valid()) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiCreateDeviceInfoList fail, err = 0x%08lx", GetLastError());
    return instance;
  }
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof(info);
  if (!SetupDiOpenDeviceInfoW(list.get(), platform::to_wide(instance).c_str(), nullptr, 0, &info)) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiOpenDeviceInfo fail, err = 0x%08lx", GetLastError());
    return instance;
  }
  DEVINST parent = 0;
  const CONFIGRET result = CM_Get_Parent(&parent, info.DevInst, 0);
  if (result != CR_SUCCESS) {
    xLog(kTag, LOG_ERROR, kFn, "CM_Get_Parent fail, err = 0x%08lx", static_cast<unsigned long>(result));
    return instance;
  }
  return setupdi_instance_from_devnode(parent);
}

std::string IWin32System::setupdi_instance_from_devnode(DEVINST devnode) {
  static constexpr const char* kFn = "dovod::IWin32System::setupdi_instance_from_devnode";
  ULONG length = 0;
  CONFIGRET result = CM_Get_Device_ID_Size(&length, devnode, 0);
  if (result != CR_SUCCESS) {
    xLog(kTag, LOG_ERROR, kFn, "CM_Get_Device_ID_Size fail, err = 0x%08lx", static_cast<unsigned long>(result));
    return {};
  }
  // One character more than the identifier, for the terminating zero.
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
  result = CM_Get_Device_IDW(devnode, buffer.data(), static_cast<ULONG>(buffer.size()), 0);
  if (result != CR_SUCCESS) {
    xLog(kTag, LOG_ERROR, kFn, "CM_Get_Device_ID fail, err = 0x%08lx", static_cast<unsigned long>(result));
    return {};
  }
  return path_text(std::wstring_view(buffer.data(), wcsnlen(buffer.data(), buffer.size())));
}

std::string IWin32System::setupdi_instance_from_path(const std::string& path) {
  static constexpr const char* kFn = "dovod::IWin32System::setupdi_instance_from_path";
  if (path.empty()) return {};
  DeviceInfoList list(*this, SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!list.valid()) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiCreateDeviceInfoList fail, err = 0x%08lx", GetLastError());
    return {};
  }
  SP_DEVICE_INTERFACE_DATA interface_data{};
  interface_data.cbSize = sizeof(interface_data);
  if (!SetupDiOpenDeviceInterfaceW(list.get(), platform::to_wide(path).c_str(), 0, &interface_data)) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiOpenDeviceInterface fail, err = 0x%08lx", GetLastError());
    return {};
  }
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof(info);
  if (!SetupDiEnumDeviceInfo(list.get(), 0, &info)) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiEnumDeviceInfo fail, err = 0x%08lx", GetLastError());
    return {};
  }
  return setupdi_instance_from_devnode(info.DevInst);
}

std::string IWin32System::setupdi_path_from_instance(const std::string& instance, const GUID* interface_class) {
  static constexpr const char* kFn = "dovod::IWin32System::setupdi_path_from_instance";
  if (instance.empty()) return {};
  DeviceInfoList list(*this, SetupDiGetClassDevsW(interface_class, platform::to_wide(instance).c_str(), nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!list.valid()) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiGetClassDevs fail, err = 0x%08lx", GetLastError());
    return {};
  }
  SP_DEVICE_INTERFACE_DATA interface_data{};
  interface_data.cbSize = sizeof(interface_data);
  if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, interface_class, 0, &interface_data)) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiEnumDeviceInterfaces fail, err = 0x%08lx", GetLastError());
    return {};
  }
  DWORD size = 0;
  if (!SetupDiGetDeviceInterfaceDetailW(list.get(), &interface_data, nullptr, 0, &size, nullptr) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiGetDeviceInterfaceDetail probe fail, err = 0x%08lx", GetLastError());
    return {};
  }
  constexpr std::size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  // A size that cannot hold the record's header would have the read below write past the buffer.
  if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiGetDeviceInterfaceDetail probe gave size %lu", size);
    return {};
  }
  // Held in DWORDs so that the record's fields are aligned.
  std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (!SetupDiGetDeviceInterfaceDetailW(list.get(), &interface_data, detail, size, nullptr, nullptr)) {
    xLog(kTag, LOG_ERROR, kFn, "SetupDiGetDeviceInterfaceDetail fail, err = 0x%08lx", GetLastError());
    return {};
  }
  // The path ends at its zero or at the end of the buffer, whichever comes first.
  const std::size_t room = (size - kPathOffset) / sizeof(wchar_t);
  return path_text(std::wstring_view(detail->DevicePath, wcsnlen(detail->DevicePath, room)));
}

}  // namespace dovod
