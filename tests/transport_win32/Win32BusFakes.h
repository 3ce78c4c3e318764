#pragma once
// What the bus tests put around a real Win32Bus: a stand-in system that answers SetupAPI's listing
// and the HID class from a script and passes notification registrations to Wine, a device manager
// that records the errors reported to it, a bus whose devices open or refuse by script, and
// recorders for the events the bus produces.

#include <windows.h>

#include <dbt.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "FakeHardwareDevice.h"
#include "Source/Windows/Win32Bus.h"
#include "dovod/IDeviceManager.h"
#include "dovod/IHardwareSecondaryBus.h"

namespace dovod::testing {

// {4d1e55b2-f16f-11cf-88cb-001111000030}: the HID interface class as Windows names it.
inline constexpr GUID kHidClass = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
inline constexpr GUID kOtherClass = {0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

class StandInSystem : public IWin32System {
 public:
  struct Interface {
    std::wstring path;
    DEVINST devnode;
  };
  // The step of the listing that fails, with the system error it leaves.
  enum class Fail { None, ClassDevs, EnumInterfaces, DetailProbe, Detail };

  std::vector<Interface> interfaces;
  Fail fail = Fail::None;
  DWORD fail_error = ERROR_ACCESS_DENIED;
  // The index at which SetupDiEnumDeviceInterfaces fails when `fail` says so.
  DWORD fail_index = 0;
  std::atomic<int> lists_made{0};
  std::atomic<int> lists_destroyed{0};
  // When set, every registration fails with this system error.
  std::atomic<DWORD> refuse_registration{0};
  std::atomic<DWORD> registering_thread{0};
  // Answers of Wine's RegisterDeviceNotificationW, by filter type.
  std::mutex mutex;
  std::map<DWORD, std::pair<bool, DWORD>> wine_answers;

  void HidD_GetHidGuid(LPGUID guid) override { *guid = kHidClass; }
  BOOLEAN HidD_GetAttributes(HANDLE, PHIDD_ATTRIBUTES) override { return FALSE; }
  BOOLEAN HidD_GetProductString(HANDLE, PVOID, ULONG) override { return FALSE; }
  BOOLEAN HidD_GetPreparsedData(HANDLE, PHIDP_PREPARSED_DATA*) override { return FALSE; }
  BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA) override { return FALSE; }
  NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA, PHIDP_CAPS) override { return -1; }
  NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE, PHIDP_VALUE_CAPS, PUSHORT, PHIDP_PREPARSED_DATA) override { return -1; }
  NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE, PHIDP_BUTTON_CAPS, PUSHORT, PHIDP_PREPARSED_DATA) override {
    return -1;
  }
  NTSTATUS HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE, PULONG, PHIDP_PREPARSED_DATA) override {
    return -1;
  }
  HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) override {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) override {
    registering_thread = GetCurrentThreadId();
    if (DWORD error = refuse_registration.load()) {
      SetLastError(error);
      return nullptr;
    }
    HDEVNOTIFY notification = ::RegisterDeviceNotificationW(recipient, filter, flags);
    const DWORD error = notification ? 0 : GetLastError();
    {
      std::lock_guard<std::mutex> lock(mutex);
      wine_answers[static_cast<DEV_BROADCAST_HDR*>(filter)->dbch_devicetype] = {notification != nullptr, error};
    }
    SetLastError(error);
    return notification;
  }

  HDEVINFO SetupDiCreateDeviceInfoList(const GUID*, HWND) override { return INVALID_HANDLE_VALUE; }
  BOOL SetupDiOpenDeviceInterfaceW(HDEVINFO, PCWSTR, DWORD, PSP_DEVICE_INTERFACE_DATA) override { return FALSE; }
  BOOL SetupDiEnumDeviceInfo(HDEVINFO, DWORD, PSP_DEVINFO_DATA) override { return FALSE; }
  BOOL SetupDiOpenDeviceInfoW(HDEVINFO, PCWSTR, HWND, DWORD, PSP_DEVINFO_DATA) override { return FALSE; }
  BOOL SetupDiGetDevicePropertyW(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE, DWORD, PDWORD,
                                 DWORD) override {
    return FALSE;
  }

  HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, PCWSTR, HWND, DWORD flags) override {
    if (fail == Fail::ClassDevs || !IsEqualGUID(*class_guid, kHidClass) ||
        flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
      SetLastError(fail_error);
      return INVALID_HANDLE_VALUE;
    }
    ++lists_made;
    return kList;
  }
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override {
    if (set == kList) ++lists_destroyed;
    return set == kList;
  }
  BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                                   PSP_DEVICE_INTERFACE_DATA data) override {
    if (set != kList || data->cbSize != sizeof(*data) || (fail == Fail::EnumInterfaces && index == fail_index)) {
      SetLastError(fail_error);
      return FALSE;
    }
    if (index >= interfaces.size()) {
      SetLastError(ERROR_NO_MORE_ITEMS);
      return FALSE;
    }
    data->Reserved = index;
    return TRUE;
  }
  BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size, PDWORD required,
                                        PSP_DEVINFO_DATA info) override {
    const Interface& found = interfaces.at(data->Reserved);
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (found.path.size() + 1) * 2);
    if (required) *required = needed;
    if (!detail) {
      SetLastError(fail == Fail::DetailProbe ? fail_error : ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    if (fail == Fail::Detail || size < needed || detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) ||
        !info || info->cbSize != sizeof(*info)) {
      SetLastError(fail == Fail::Detail ? fail_error : ERROR_INVALID_USER_BUFFER);
      return FALSE;
    }
    std::memcpy(detail->DevicePath, found.path.c_str(), (found.path.size() + 1) * 2);
    info->DevInst = found.devnode;
    return TRUE;
  }

  HMODULE cfgmgr32() override { return nullptr; }
  CONFIGRET CM_Get_Parent(PDEVINST, DEVINST, ULONG) override { return CR_FAILURE; }
  CONFIGRET CM_Get_Device_ID_Size(PULONG, DEVINST, ULONG) override { return CR_FAILURE; }
  CONFIGRET CM_Get_Device_IDW(DEVINST, PWSTR, ULONG, ULONG) override { return CR_FAILURE; }
  DWORD BluetoothGetDeviceInfo(HANDLE, BLUETOOTH_DEVICE_INFO*) override { return ERROR_NOT_FOUND; }
  HRESULT BluetoothGATTGetServices(HANDLE, USHORT, gatt::Service*, USHORT*, ULONG) override { return E_NOTIMPL; }
  HRESULT BluetoothGATTGetIncludedServices(HANDLE, gatt::Service*, USHORT, gatt::Service*, USHORT*, ULONG) override {
    return E_NOTIMPL;
  }
  HRESULT BluetoothGATTGetCharacteristics(HANDLE, gatt::Service*, USHORT, gatt::Characteristic*, USHORT*,
                                          ULONG) override {
    return E_NOTIMPL;
  }
  HRESULT BluetoothGATTGetDescriptors(HANDLE, gatt::Characteristic*, USHORT, gatt::Descriptor*, USHORT*,
                                      ULONG) override {
    return E_NOTIMPL;
  }
  HRESULT BluetoothGATTGetCharacteristicValue(HANDLE, gatt::Characteristic*, ULONG, gatt::CharacteristicValue*,
                                              USHORT*, ULONG) override {
    return E_NOTIMPL;
  }
  HRESULT BluetoothGATTGetDescriptorValue(HANDLE, gatt::Descriptor*, ULONG, gatt::DescriptorValue*, USHORT*,
                                          ULONG) override {
    return E_NOTIMPL;
  }
  HRESULT BluetoothGATTSetDescriptorValue(HANDLE, gatt::Descriptor*, gatt::DescriptorValue*, ULONG) override {
    return E_NOTIMPL;
  }
  HRESULT BluetoothGATTRegisterEvent(HANDLE, gatt::EventType, PVOID, gatt::EventCallback, PVOID, gatt::EventHandle*,
                                     ULONG) override {
    return E_NOTIMPL;
  }
  HRESULT BluetoothGATTUnregisterEvent(gatt::EventHandle, ULONG) override { return E_NOTIMPL; }
  HRESULT BluetoothGATTSetCharacteristicValue(HANDLE, gatt::Characteristic*, gatt::CharacteristicValue*,
                                              gatt::ReliableWriteContext, ULONG) override {
    return E_NOTIMPL;
  }
  std::string setupdi_parent(const std::string& instance) override { return instance; }
  std::string setupdi_instance_from_devnode(DEVINST) override { return {}; }
  std::string setupdi_instance_from_path(const std::string&) override { return {}; }
  std::string setupdi_path_from_instance(const std::string&, const GUID*) override { return {}; }

 private:
  static inline const HDEVINFO kList = reinterpret_cast<HDEVINFO>(0x5e70);
};

// Only report_unreported_error matters to the bus; it records the calling thread's LastError.
class RecordingManager : public IDeviceManager {
 public:
  struct Report {
    std::string where;
    ErrorCode code;
  };
  std::vector<Report> reports() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }
  void report_unreported_error(const char* where) override {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back({where, last_error().code});
  }

  std::vector<std::shared_ptr<IDevice>> devices() override { return {}; }
  std::vector<std::shared_ptr<IDevice>> devices_on_bus(std::shared_ptr<IDevice>) override { return {}; }
  int swid(int value) override { return value; }
  int swid() override { return 10; }
  bool is_active() override { return true; }
  void set_active(bool) override {}
  void enqueue_event_for_runloop(RunLoopCall, const void*, const void*, const std::string&) override {}
  void call_event_from_runloop() override {}
  void remove_runloop_events(const void*, const void*) override {}
  void persistent_data_directory(std::string) override {}
  bool config_default(unsigned, bool*) override { return false; }
  bool config_get(unsigned, bool*) override { return false; }
  bool config_set(unsigned, bool) override { return false; }
  bool connectToHardwareBusses() override { return false; }
  std::shared_ptr<IDevice> makeDevice(std::shared_ptr<IHardwareDevice>, int, int) override { return {}; }

 private:
  std::mutex mutex_;
  std::vector<Report> reports_;
};

// A Win32Bus on the stand-in system whose devices are fakes that open unless their path is refused.
class TestBus : public Win32Bus {
 public:
  TestBus(const std::shared_ptr<IDeviceManager>& manager, std::shared_ptr<StandInSystem> system)
      : Win32Bus(manager), stand_in_(std::move(system)) {}

  std::shared_ptr<StandInSystem> stand_in_;
  std::set<std::string> refused;
  std::atomic<int> systems_made{0};
  std::atomic<int> window_threads{0};
  // When set, the window thread throws before it does anything.
  bool thread_throws = false;

  using Win32Bus::add_bluetooth_bus;
  using Win32Bus::add_secondary_bus;

  HWND window() {
    HWND window = nullptr;
    lazyStart(&window, nullptr);
    return window;
  }

 protected:
  std::shared_ptr<IWin32System> makeWin32System() override {
    ++systems_made;
    return stand_in_;
  }
  std::shared_ptr<IHardwareDevice> make_device(const std::string& path, DEVINST) override {
    auto device = std::make_shared<FakeHardwareDevice>(path, 0, FakeHardwareDevice::Answering::Inline, 0,
                                                       weak_from_this());
    device->open_fails = refused.count(path) > 0;
    return device;
  }
  void window_thread() override {
    ++window_threads;
    if (thread_throws) throw std::runtime_error("window thread failed");
    Win32Bus::window_thread();
  }
};

// Every event a bus produced, with the thread it came on.
class PlugLog : public Subscriber<IHardwareBus::PlugUnplug> {
 public:
  struct Entry {
    std::string kind;  // "plug", "unplug", "power"
    std::string path;  // empty for power; "resume" or "standby" there
    DWORD thread;
  };
  void onPlug(std::shared_ptr<IHardwareDevice> device) override { add({"plug", device->path(), GetCurrentThreadId()}); }
  void onUnplug(std::shared_ptr<IHardwareDevice> device) override {
    add({"unplug", device->path(), GetCurrentThreadId()});
  }
  void onPowerChange(bool standby) override { add({"power", standby ? "standby" : "resume", GetCurrentThreadId()}); }
  std::vector<Entry> entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }

 private:
  void add(Entry entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(entry));
  }
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

// A bus beside the HID bus that records what the window forwards to it.
class ForwardLog : public IHardwareSecondaryBus, public IBluetoothBus {
 public:
  std::vector<std::shared_ptr<IHardwareDevice>> devices() override { return {}; }
  bool device_paired_on_path(const std::string&) override { return false; }
  void process_wm_devicechange(unsigned event, const DEV_BROADCAST_HDR* header) override {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back({event, header ? header->dbch_devicetype : 0xFFFFFFFFu});
    if (throws) throw std::runtime_error("secondary bus failed");
  }
  std::vector<std::pair<unsigned, DWORD>> seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }
  bool throws = false;

 private:
  std::mutex mutex_;
  std::vector<std::pair<unsigned, DWORD>> seen_;
};

}  // namespace dovod::testing
