#include "Source/Windows/Win32System.h"

#include "Source/Windows/DovodException.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32System";

// The Bluetooth LE functions, declared here because the MinGW headers lack them.
using GattGetServices = HRESULT(WINAPI*)(HANDLE, USHORT, gatt::Service*, USHORT*, ULONG);
using GattGetIncludedServices = HRESULT(WINAPI*)(HANDLE, gatt::Service*, USHORT, gatt::Service*, USHORT*, ULONG);
using GattGetCharacteristics = HRESULT(WINAPI*)(HANDLE, gatt::Service*, USHORT, gatt::Characteristic*, USHORT*, ULONG);
using GattGetDescriptors = HRESULT(WINAPI*)(HANDLE, gatt::Characteristic*, USHORT, gatt::Descriptor*, USHORT*, ULONG);
using GattGetCharacteristicValue = HRESULT(WINAPI*)(HANDLE, gatt::Characteristic*, ULONG, gatt::CharacteristicValue*,
                                                    USHORT*, ULONG);
using GattGetDescriptorValue = HRESULT(WINAPI*)(HANDLE, gatt::Descriptor*, ULONG, gatt::DescriptorValue*, USHORT*,
                                                ULONG);
using GattSetDescriptorValue = HRESULT(WINAPI*)(HANDLE, gatt::Descriptor*, gatt::DescriptorValue*, ULONG);
using GattRegisterEvent = HRESULT(WINAPI*)(HANDLE, gatt::EventType, PVOID, gatt::EventCallback, PVOID,
                                           gatt::EventHandle*, ULONG);
using GattUnregisterEvent = HRESULT(WINAPI*)(gatt::EventHandle, ULONG);
using GattSetCharacteristicValue = HRESULT(WINAPI*)(HANDLE, gatt::Characteristic*, gatt::CharacteristicValue*,
                                                    gatt::ReliableWriteContext, ULONG);

// GetProcAddress answers one generic function type; the cast through void(*)() says that the
// caller knows the real one.
template <typename Function>
Function as(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

// The address of `function` in `library`, typed by the function's own declaration; the name and the
// message of a missing function both come from the one token.
#define DOVOD_BOUND(library, function) \
  as<decltype(&::function)>((library).address(#function, #function " ProcAddress Missing"))
#define DOVOD_BOUND_AS(library, type, function) as<type>((library).address(#function, #function " ProcAddress Missing"))

Win32System::Library::Library(const wchar_t* file_name, const char* load_failed)
    : file_name_(file_name), load_failed_(load_failed) {}

Win32System::Library::~Library() {
  if (HMODULE module = module_.load()) FreeLibrary(module);
}

HMODULE Win32System::Library::handle() {
  if (HMODULE module = module_.load(std::memory_order_acquire)) return module;
  // Two threads that need the library at once load it once; the one that waited finds it loaded.
  std::lock_guard<std::mutex> lock(load_mutex_);
  if (HMODULE module = module_.load(std::memory_order_relaxed)) return module;
  HMODULE module = LoadLibraryW(file_name_);
  if (!module) {
    const DWORD error = GetLastError();
    xLog(kTag, LOG_ERROR, "dovod::Win32System::Library::handle", "%s, err=%lu", load_failed_, error);
    throw DovodException(load_failed_, ErrorCode::SystemFunctionMissing, error);
  }
  module_.store(module, std::memory_order_release);
  return module;
}

FARPROC Win32System::Library::address(const char* name, const char* missing) {
  FARPROC address = GetProcAddress(handle(), name);
  if (!address) {
    const DWORD error = GetLastError();
    xLog(kTag, LOG_ERROR, "dovod::Win32System::Library::address", "%s, err=%lu", missing, error);
    throw DovodException(missing, ErrorCode::SystemFunctionMissing, error);
  }
  return address;
}

Win32System::Win32System()
    : Win32System(LibraryFiles{L"hid.dll", L"setupapi.dll", L"cfgmgr32.dll", L"bthprops.cpl", L"BluetoothApis.dll"}) {}

Win32System::Win32System(const LibraryFiles& files)
    : hid_(files.hid, "LoadLibrary hid.dll failed"),
      setupapi_(files.setupapi, "LoadLibrary setupapi.dll failed"),
      cfgmgr32_(files.cfgmgr32, "LoadLibrary cfgmgr32.dll failed"),
      bthprops_(files.bthprops, "LoadLibrary bthprops.cpl failed"),
      bluetooth_apis_(files.bluetooth_apis, "LoadLibrary BluetoothApis.dll failed") {}

Win32System::~Win32System() = default;

void Win32System::HidD_GetHidGuid(LPGUID hid_guid) { DOVOD_BOUND(hid_, HidD_GetHidGuid)(hid_guid); }

BOOLEAN Win32System::HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
  return DOVOD_BOUND(hid_, HidD_GetAttributes)(device, attributes);
}

BOOLEAN Win32System::HidD_GetProductString(HANDLE device, PVOID buffer, ULONG buffer_length) {
  return DOVOD_BOUND(hid_, HidD_GetProductString)(device, buffer, buffer_length);
}

BOOLEAN Win32System::HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsed) {
  return DOVOD_BOUND(hid_, HidD_GetPreparsedData)(device, preparsed);
}

BOOLEAN Win32System::HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsed) {
  return DOVOD_BOUND(hid_, HidD_FreePreparsedData)(preparsed);
}

NTSTATUS Win32System::HidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps) {
  return DOVOD_BOUND(hid_, HidP_GetCaps)(preparsed, caps);
}

NTSTATUS Win32System::HidP_GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, PUSHORT length,
                                        PHIDP_PREPARSED_DATA preparsed) {
  return DOVOD_BOUND(hid_, HidP_GetValueCaps)(type, caps, length, preparsed);
}

NTSTATUS Win32System::HidP_GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps, PUSHORT length,
                                         PHIDP_PREPARSED_DATA preparsed) {
  return DOVOD_BOUND(hid_, HidP_GetButtonCaps)(type, caps, length, preparsed);
}

NTSTATUS Win32System::HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                                  PHIDP_PREPARSED_DATA preparsed) {
  return DOVOD_BOUND(hid_, HidP_GetLinkCollectionNodes)(nodes, length, preparsed);
}

HANDLE Win32System::CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE template_file) {
  return ::CreateFileW(name, access, share, security, disposition, flags, template_file);
}

HDEVNOTIFY Win32System::RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
  return ::RegisterDeviceNotificationW(recipient, filter, flags);
}

HDEVINFO Win32System::SetupDiCreateDeviceInfoList(const GUID* class_guid, HWND parent) {
  return DOVOD_BOUND(setupapi_, SetupDiCreateDeviceInfoList)(class_guid, parent);
}

BOOL Win32System::SetupDiOpenDeviceInterfaceW(HDEVINFO set, PCWSTR path, DWORD flags,
                                              PSP_DEVICE_INTERFACE_DATA interface_data) {
  return DOVOD_BOUND(setupapi_, SetupDiOpenDeviceInterfaceW)(set, path, flags, interface_data);
}

BOOL Win32System::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) {
  return DOVOD_BOUND(setupapi_, SetupDiEnumDeviceInfo)(set, index, info);
}

BOOL Win32System::SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instance, HWND parent, DWORD flags,
                                         PSP_DEVINFO_DATA info) {
  return DOVOD_BOUND(setupapi_, SetupDiOpenDeviceInfoW)(set, instance, parent, flags, info);
}

BOOL Win32System::SetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA info, const DEVPROPKEY* key,
                                            DEVPROPTYPE* type, PBYTE buffer, DWORD size, PDWORD required, DWORD flags) {
  return DOVOD_BOUND(setupapi_, SetupDiGetDevicePropertyW)(set, info, key, type, buffer, size, required, flags);
}

HDEVINFO Win32System::SetupDiGetClassDevsW(const GUID* class_guid, PCWSTR enumerator, HWND parent, DWORD flags) {
  return DOVOD_BOUND(setupapi_, SetupDiGetClassDevsW)(class_guid, enumerator, parent, flags);
}

BOOL Win32System::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  return DOVOD_BOUND(setupapi_, SetupDiDestroyDeviceInfoList)(set);
}

BOOL Win32System::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* class_guid, DWORD index,
                                              PSP_DEVICE_INTERFACE_DATA interface_data) {
  return DOVOD_BOUND(setupapi_, SetupDiEnumDeviceInterfaces)(set, info, class_guid, index, interface_data);
}

BOOL Win32System::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                                   PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                                   PDWORD required, PSP_DEVINFO_DATA info) {
  return DOVOD_BOUND(setupapi_, SetupDiGetDeviceInterfaceDetailW)(set, interface_data, detail, size, required, info);
}

HMODULE Win32System::cfgmgr32() { return cfgmgr32_.handle(); }

CONFIGRET Win32System::CM_Get_Parent(PDEVINST parent, DEVINST devnode, ULONG flags) {
  return DOVOD_BOUND(cfgmgr32_, CM_Get_Parent)(parent, devnode, flags);
}

CONFIGRET Win32System::CM_Get_Device_ID_Size(PULONG length, DEVINST devnode, ULONG flags) {
  return DOVOD_BOUND(cfgmgr32_, CM_Get_Device_ID_Size)(length, devnode, flags);
}

CONFIGRET Win32System::CM_Get_Device_IDW(DEVINST devnode, PWSTR buffer, ULONG length, ULONG flags) {
  // Its missing-function message names the function without its character-set suffix.
  auto function = as<decltype(&::CM_Get_Device_IDW)>(
      cfgmgr32_.address("CM_Get_Device_IDW", "CM_Get_Device_ID ProcAddress Missing"));
  return function(devnode, buffer, length, flags);
}

DWORD Win32System::BluetoothGetDeviceInfo(HANDLE radio, BLUETOOTH_DEVICE_INFO* info) {
  return DOVOD_BOUND(bthprops_, BluetoothGetDeviceInfo)(radio, info);
}

HRESULT Win32System::BluetoothGATTGetServices(HANDLE device, USHORT count, gatt::Service* services, USHORT* actual,
                                              ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattGetServices, BluetoothGATTGetServices)(device, count, services, actual,
                                                                                    flags);
}

HRESULT Win32System::BluetoothGATTGetIncludedServices(HANDLE device, gatt::Service* parent, USHORT count,
                                                      gatt::Service* services, USHORT* actual, ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattGetIncludedServices, BluetoothGATTGetIncludedServices)(
      device, parent, count, services, actual, flags);
}

HRESULT Win32System::BluetoothGATTGetCharacteristics(HANDLE device, gatt::Service* service, USHORT count,
                                                     gatt::Characteristic* characteristics, USHORT* actual,
                                                     ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattGetCharacteristics, BluetoothGATTGetCharacteristics)(
      device, service, count, characteristics, actual, flags);
}

HRESULT Win32System::BluetoothGATTGetDescriptors(HANDLE device, gatt::Characteristic* characteristic, USHORT count,
                                                 gatt::Descriptor* descriptors, USHORT* actual, ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattGetDescriptors, BluetoothGATTGetDescriptors)(device, characteristic, count,
                                                                                          descriptors, actual, flags);
}

HRESULT Win32System::BluetoothGATTGetCharacteristicValue(HANDLE device, gatt::Characteristic* characteristic,
                                                         ULONG size, gatt::CharacteristicValue* value, USHORT* required,
                                                         ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattGetCharacteristicValue, BluetoothGATTGetCharacteristicValue)(
      device, characteristic, size, value, required, flags);
}

HRESULT Win32System::BluetoothGATTGetDescriptorValue(HANDLE device, gatt::Descriptor* descriptor, ULONG size,
                                                     gatt::DescriptorValue* value, USHORT* required, ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattGetDescriptorValue, BluetoothGATTGetDescriptorValue)(
      device, descriptor, size, value, required, flags);
}

HRESULT Win32System::BluetoothGATTSetDescriptorValue(HANDLE device, gatt::Descriptor* descriptor,
                                                     gatt::DescriptorValue* value, ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattSetDescriptorValue, BluetoothGATTSetDescriptorValue)(device, descriptor,
                                                                                                  value, flags);
}

HRESULT Win32System::BluetoothGATTRegisterEvent(HANDLE service, gatt::EventType type, PVOID parameter,
                                                gatt::EventCallback callback, PVOID context, gatt::EventHandle* handle,
                                                ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattRegisterEvent, BluetoothGATTRegisterEvent)(
      service, type, parameter, callback, context, handle, flags);
}

HRESULT Win32System::BluetoothGATTUnregisterEvent(gatt::EventHandle handle, ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattUnregisterEvent, BluetoothGATTUnregisterEvent)(handle, flags);
}

HRESULT Win32System::BluetoothGATTSetCharacteristicValue(HANDLE device, gatt::Characteristic* characteristic,
                                                         gatt::CharacteristicValue* value,
                                                         gatt::ReliableWriteContext context, ULONG flags) {
  return DOVOD_BOUND_AS(bluetooth_apis_, GattSetCharacteristicValue, BluetoothGATTSetCharacteristicValue)(
      device, characteristic, value, context, flags);
}

#undef DOVOD_BOUND
#undef DOVOD_BOUND_AS

std::shared_ptr<IWin32System> make_win32_system() { return std::make_shared<Win32System>(); }

}  // namespace dovod
