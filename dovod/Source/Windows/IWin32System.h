#pragma once
// Every HID, SetupAPI, configuration-manager and Bluetooth call of the Windows transport goes
// through this interface, so that a test can stand in for the system where no HID device can
// exist. Each operation has the signature of the Windows function it is named after and returns
// its result. The implementation binds the functions at run time: a computer that lacks one only
// fails the call that needs it (code SystemFunctionMissing), never the start of the library.

#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <hidsdi.h>
#include <hidpi.h>
#include <bluetoothapis.h>
// clang-format on

#include <memory>
#include <string>

#include "Source/Windows/BluetoothLeTypes.h"

namespace dovod {

class IWin32System {
 public:
  virtual ~IWin32System() = default;

  // hid.dll
  virtual void HidD_GetHidGuid(LPGUID hid_guid) = 0;
  virtual BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) = 0;
  virtual BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG buffer_length) = 0;
  virtual BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsed) = 0;
  virtual BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsed) = 0;
  virtual NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps) = 0;
  virtual NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, PUSHORT length,
                                     PHIDP_PREPARSED_DATA preparsed) = 0;
  virtual NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps, PUSHORT length,
                                      PHIDP_PREPARSED_DATA preparsed) = 0;
  virtual NTSTATUS HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                               PHIDP_PREPARSED_DATA preparsed) = 0;

  // Called directly, not bound: every Windows has them.
  virtual HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE template_file) = 0;
  virtual HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) = 0;

  // setupapi.dll
  virtual HDEVINFO SetupDiCreateDeviceInfoList(const GUID* class_guid, HWND parent) = 0;
  virtual BOOL SetupDiOpenDeviceInterfaceW(HDEVINFO set, PCWSTR path, DWORD flags,
                                           PSP_DEVICE_INTERFACE_DATA interface_data) = 0;
  virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) = 0;
  virtual BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instance, HWND parent, DWORD flags,
                                      PSP_DEVINFO_DATA info) = 0;
  virtual BOOL SetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA info, const DEVPROPKEY* key,
                                         DEVPROPTYPE* type, PBYTE buffer, DWORD size, PDWORD required,
                                         DWORD flags) = 0;
  virtual HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, PCWSTR enumerator, HWND parent,
                                        DWORD flags) = 0;
  virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) = 0;
  virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* class_guid,
                                           DWORD index, PSP_DEVICE_INTERFACE_DATA interface_data) = 0;
  virtual BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                                PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                                PDWORD required, PSP_DEVINFO_DATA info) = 0;

  // cfgmgr32.dll, loaded on first use.
  virtual HMODULE cfgmgr32() = 0;
  virtual CONFIGRET CM_Get_Parent(PDEVINST parent, DEVINST devnode, ULONG flags) = 0;
  virtual CONFIGRET CM_Get_Device_ID_Size(PULONG length, DEVINST devnode, ULONG flags) = 0;
  virtual CONFIGRET CM_Get_Device_IDW(DEVINST devnode, PWSTR buffer, ULONG length, ULONG flags) = 0;

  // bthprops.cpl
  virtual DWORD BluetoothGetDeviceInfo(HANDLE radio, BLUETOOTH_DEVICE_INFO* info) = 0;

  // BluetoothApis.dll
  virtual HRESULT BluetoothGATTGetServices(HANDLE device, USHORT count, gatt::Service* services,
                                           USHORT* actual, ULONG flags) = 0;
  virtual HRESULT BluetoothGATTGetIncludedServices(HANDLE device, gatt::Service* parent, USHORT count,
                                                   gatt::Service* services, USHORT* actual, ULONG flags) = 0;
  virtual HRESULT BluetoothGATTGetCharacteristics(HANDLE device, gatt::Service* service, USHORT count,
                                                  gatt::Characteristic* characteristics, USHORT* actual,
                                                  ULONG flags) = 0;
  virtual HRESULT BluetoothGATTGetDescriptors(HANDLE device, gatt::Characteristic* characteristic,
                                              USHORT count, gatt::Descriptor* descriptors, USHORT* actual,
                                              ULONG flags) = 0;
  virtual HRESULT BluetoothGATTGetCharacteristicValue(HANDLE device, gatt::Characteristic* characteristic,
                                                      ULONG size, gatt::CharacteristicValue* value,
                                                      USHORT* required, ULONG flags) = 0;
  virtual HRESULT BluetoothGATTGetDescriptorValue(HANDLE device, gatt::Descriptor* descriptor, ULONG size,
                                                  gatt::DescriptorValue* value, USHORT* required,
                                                  ULONG flags) = 0;
  virtual HRESULT BluetoothGATTSetDescriptorValue(HANDLE device, gatt::Descriptor* descriptor,
                                                  gatt::DescriptorValue* value, ULONG flags) = 0;
  virtual HRESULT BluetoothGATTRegisterEvent(HANDLE service, gatt::EventType type, PVOID parameter,
                                             gatt::EventCallback callback, PVOID context,
                                             gatt::EventHandle* handle, ULONG flags) = 0;
  virtual HRESULT BluetoothGATTUnregisterEvent(gatt::EventHandle handle, ULONG flags) = 0;
  virtual HRESULT BluetoothGATTSetCharacteristicValue(HANDLE device, gatt::Characteristic* characteristic,
                                                      gatt::CharacteristicValue* value,
                                                      gatt::ReliableWriteContext context, ULONG flags) = 0;

  // Built on the operations above, so a stand-in system gets them from its own answers. Paths and
  // instance identifiers are UTF-8 and lower case; a step that fails yields an empty string (the
  // parent: the instance unchanged).
  virtual std::string setupdi_parent(const std::string& instance);
  virtual std::string setupdi_instance_from_devnode(DEVINST devnode);
  virtual std::string setupdi_instance_from_path(const std::string& path);
  virtual std::string setupdi_path_from_instance(const std::string& instance, const GUID* interface_class);
};

// The running Windows, its functions bound at run time.
std::shared_ptr<IWin32System> make_win32_system();

}  // namespace dovod
