#pragma once
// The running Windows behind IWin32System. The HID, SetupAPI, configuration-manager and Bluetooth
// libraries are never linked: each is loaded the first time one of its functions is needed and
// every call looks its function up again, so a computer that lacks a library or a function fails
// only the call that needs it, with a DovodException of code SystemFunctionMissing. A library that
// did not load is tried again on the next call. Safe from any thread.

#include <atomic>
#include <mutex>

#include "Source/Windows/IWin32System.h"

namespace dovod {

class Win32System : public IWin32System {
 public:
  Win32System();
  ~Win32System() override;
  Win32System(const Win32System&) = delete;
  Win32System& operator=(const Win32System&) = delete;

  void HidD_GetHidGuid(LPGUID hid_guid) override;
  BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) override;
  BOOLEAN HidD_GetProductString(HANDLE device, PVOID buffer, ULONG buffer_length) override;
  BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsed) override;
  BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsed) override;
  NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps) override;
  NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, PUSHORT length,
                             PHIDP_PREPARSED_DATA preparsed) override;
  NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps, PUSHORT length,
                              PHIDP_PREPARSED_DATA preparsed) override;
  NTSTATUS HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                       PHIDP_PREPARSED_DATA preparsed) override;

  HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                     DWORD flags, HANDLE template_file) override;
  HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) override;

  HDEVINFO SetupDiCreateDeviceInfoList(const GUID* class_guid, HWND parent) override;
  BOOL SetupDiOpenDeviceInterfaceW(HDEVINFO set, PCWSTR path, DWORD flags,
                                   PSP_DEVICE_INTERFACE_DATA interface_data) override;
  BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) override;
  BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instance, HWND parent, DWORD flags, PSP_DEVINFO_DATA info) override;
  BOOL SetupDiGetDevicePropertyW(HDEVINFO set, PSP_DEVINFO_DATA info, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                 PBYTE buffer, DWORD size, PDWORD required, DWORD flags) override;
  HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, PCWSTR enumerator, HWND parent, DWORD flags) override;
  BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
  BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* class_guid, DWORD index,
                                   PSP_DEVICE_INTERFACE_DATA interface_data) override;
  BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size, PDWORD required,
                                        PSP_DEVINFO_DATA info) override;

  HMODULE cfgmgr32() override;
  CONFIGRET CM_Get_Parent(PDEVINST parent, DEVINST devnode, ULONG flags) override;
  CONFIGRET CM_Get_Device_ID_Size(PULONG length, DEVINST devnode, ULONG flags) override;
  CONFIGRET CM_Get_Device_IDW(DEVINST devnode, PWSTR buffer, ULONG length, ULONG flags) override;

  DWORD BluetoothGetDeviceInfo(HANDLE radio, BLUETOOTH_DEVICE_INFO* info) override;

  HRESULT BluetoothGATTGetServices(HANDLE device, USHORT count, gatt::Service* services, USHORT* actual,
                                   ULONG flags) override;
  HRESULT BluetoothGATTGetIncludedServices(HANDLE device, gatt::Service* parent, USHORT count, gatt::Service* services,
                                           USHORT* actual, ULONG flags) override;
  HRESULT BluetoothGATTGetCharacteristics(HANDLE device, gatt::Service* service, USHORT count,
                                          gatt::Characteristic* characteristics, USHORT* actual, ULONG flags) override;
  HRESULT BluetoothGATTGetDescriptors(HANDLE device, gatt::Characteristic* characteristic, USHORT count,
                                      gatt::Descriptor* descriptors, USHORT* actual, ULONG flags) override;
  HRESULT BluetoothGATTGetCharacteristicValue(HANDLE device, gatt::Characteristic* characteristic, ULONG size,
                                              gatt::CharacteristicValue* value, USHORT* required, ULONG flags) override;
  HRESULT BluetoothGATTGetDescriptorValue(HANDLE device, gatt::Descriptor* descriptor, ULONG size,
                                          gatt::DescriptorValue* value, USHORT* required, ULONG flags) override;
  HRESULT BluetoothGATTSetDescriptorValue(HANDLE device, gatt::Descriptor* descriptor, gatt::DescriptorValue* value,
                                          ULONG flags) override;
  HRESULT BluetoothGATTRegisterEvent(HANDLE service, gatt::EventType type, PVOID parameter,
                                     gatt::EventCallback callback, PVOID context, gatt::EventHandle* handle,
                                     ULONG flags) override;
  HRESULT BluetoothGATTUnregisterEvent(gatt::EventHandle handle, ULONG flags) override;
  HRESULT BluetoothGATTSetCharacteristicValue(HANDLE device, gatt::Characteristic* characteristic,
                                              gatt::CharacteristicValue* value, gatt::ReliableWriteContext context,
                                              ULONG flags) override;

 protected:
  // The file names of the five libraries (HID, SetupAPI, configuration manager, classic Bluetooth,
  // Bluetooth LE), so that a test can bind against a library that lacks a function or does not
  // exist. The names must outlive the object.
  struct LibraryFiles {
    const wchar_t* hid;
    const wchar_t* setupapi;
    const wchar_t* cfgmgr32;
    const wchar_t* bthprops;
    const wchar_t* bluetooth_apis;
  };
  explicit Win32System(const LibraryFiles& files);

 private:
  // One system library, loaded on first use and freed with the object.
  class Library {
   public:
    // `load_failed` is the static text of the DovodException thrown when the library does not load.
    Library(const wchar_t* file_name, const char* load_failed);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    // The module handle; throws DovodException (SystemFunctionMissing) when the library does not load.
    HMODULE handle();
    // The address of function `name`; throws DovodException (SystemFunctionMissing, `missing`) when absent.
    FARPROC address(const char* name, const char* missing);

   private:
    const wchar_t* const file_name_;
    const char* const load_failed_;
    std::mutex load_mutex_;
    std::atomic<HMODULE> module_{nullptr};
  };

  Library hid_;
  Library setupapi_;
  Library cfgmgr32_;
  Library bthprops_;
  Library bluetooth_apis_;
};

}  // namespace dovod
