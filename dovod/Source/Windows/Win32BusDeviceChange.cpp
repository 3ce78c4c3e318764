// What the bus makes of the window's device-change messages.

#include <windows.h>
// clang-format off
#include <dbt.h>
// clang-format on

#include <cstddef>
#include <cwchar>
#include <exception>
#include <string_view>

#include "Source/Windows/PathText.h"
#include "Source/Windows/Win32Bus.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32Bus";
constexpr const char* kFn = "dovod::Win32Bus::processDeviceChange";

const char* event_name(WPARAM event) {
  switch (event) {
    case DBT_DEVICEARRIVAL: return "DBT_DEVICEARRIVAL";
    case DBT_DEVICEQUERYREMOVE: return "DBT_DEVICEQUERYREMOVE";
    case DBT_DEVICEQUERYREMOVEFAILED: return "DBT_DEVICEQUERYREMOVEFAILED";
    case DBT_DEVICEREMOVEPENDING: return "DBT_DEVICEREMOVEPENDING";
    case DBT_DEVICEREMOVECOMPLETE: return "DBT_DEVICEREMOVECOMPLETE";
    default: return nullptr;
  }
}

}  // namespace

void Win32Bus::processDeviceChange(WPARAM event, LPARAM data) {
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (const char* name = event_name(event)) {
    xLog(kTag, LOG_DEBUG, kFn, "Win32Bus::processDeviceChange %s", name);
  } else {
    xLog(kTag, LOG_DEBUG, kFn, "Win32Bus::processDeviceChange DBT=%d", static_cast<int>(event));
  }
  if (header) {
    switch (event) {
      case DBT_DEVICEARRIVAL:
      case DBT_DEVICEQUERYREMOVEFAILED:
        device_arrived(header);
        break;
      case DBT_DEVICEQUERYREMOVE:
      case DBT_DEVICEREMOVEPENDING:
      case DBT_DEVICEREMOVECOMPLETE:
        device_left(header);
        break;
      default:
        break;
    }
  }
  forward_to_other_busses(static_cast<unsigned>(event), header);
}

std::string Win32Bus::hid_interface_path(const DEV_BROADCAST_HDR* header) const {
  const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
  const std::size_t name_offset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
  if (header->dbch_size < name_offset || !IsEqualGUID(record->dbcc_classguid, hid_class_)) return {};
  // The name runs to the end of the record, which the sender may not have terminated.
  const std::size_t room = (header->dbch_size - name_offset) / sizeof(wchar_t);
  const std::wstring_view name(record->dbcc_name, wcsnlen(record->dbcc_name, room));
  return path_text(name);
}

void Win32Bus::device_arrived(const DEV_BROADCAST_HDR* header) {
  if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    xLog(kTag, LOG_DEBUG, kFn, "Win32Bus::processDeviceChange arrive type=%lu", header->dbch_devicetype);
    return;
  }
  const std::string path = hid_interface_path(header);
  if (path.empty()) return;
  xLog(kTag, LOG_INFO, kFn, "-hid- arrive HID interface, path=%s", path.c_str());
  if (!manager_alive()) return;
  auto device = make_device(path, 0);
  produce([device](IHardwareBus::PlugUnplug* s) { s->onPlug(device); }, "Win32Bus::PlugUnplug::onPlug");
}

void Win32Bus::device_left(const DEV_BROADCAST_HDR* header) {
  if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
    const auto* watched = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(header);
    xLog(kTag, LOG_INFO, kFn, "-hid- remove type=DBT_DEVTYP_HANDLE, handle=%p", watched->dbch_handle);
    // Windows removes the device only once every handle to it is closed.
    closeTrackedHandle(watched->dbch_hdevnotify, watched->dbch_handle);
    return;
  }
  if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    xLog(kTag, LOG_DEBUG, kFn, "Win32Bus::processDeviceChange remove type=%lu", header->dbch_devicetype);
    return;
  }
  const std::string path = hid_interface_path(header);
  if (path.empty()) return;
  xLog(kTag, LOG_INFO, kFn, "-hid- remove HID interface, path=%s", path.c_str());
  if (!manager_alive()) return;
  auto departed = make_device(path, 0);
  produce([departed](IHardwareBus::PlugUnplug* s) { s->onUnplug(departed); }, "Win32Bus::PlugUnplug::onUnplug");
}

void Win32Bus::forward_to_other_busses(unsigned event, const DEV_BROADCAST_HDR* header) {
  for (const auto& bus : bluetooth_busses_) {
    try {
      bus->process_wm_devicechange(event, header);
    } catch (...) {
      xLog(kTag, LOG_ERROR, kFn, "Win32Bus WM_DEVICECHANGE secondary_busses exception");
    }
  }
  for (const auto& bus : secondary_busses_) {
    try {
      bus->process_wm_devicechange(event, header);
    } catch (...) {
      xLog(kTag, LOG_ERROR, kFn, "Win32Bus WM_DEVICECHANGE secondary_busses exception");
    }
  }
}

}  // namespace dovod
