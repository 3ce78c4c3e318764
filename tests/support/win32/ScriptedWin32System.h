#pragma once
// The stand-in for the parts of Windows that cannot exist under Wine: HID devices, their SetupAPI
// entries, their device tree and the HidD/HidP answers. Everything else is Wine's own: an interface
// of the table opens as the client end of a real overlapped named pipe whose other end a
// SimPipeWire serves from the device simulator, device notifications go to the real user32, and a
// name that is not in the table is opened by the real CreateFileW.
//
// SetupAPI behaves as Windows does for callers: lists are snapshots, a size probe fails with
// ERROR_INSUFFICIENT_BUFFER and gives the size, enumeration ends with ERROR_NO_MORE_ITEMS, and each
// step can be made to fail. Interfaces come and go while other threads call in; every operation is
// safe from any thread. The Bluetooth functions answer "not supported".

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "HidInterface.h"
#include "Source/Windows/IWin32System.h"

namespace dovod::test {

class SimPipeWire;

// A non-zero value makes that SetupAPI step fail with it as the system error.
struct SetupFailures {
  DWORD class_devs = 0;
  // SetupDiEnumDeviceInterfaces at index `enum_interfaces_at`.
  DWORD enum_interfaces = 0;
  DWORD enum_interfaces_at = 0;
  // The detail call without a buffer, and the one with it.
  DWORD detail_probe = 0;
  DWORD detail = 0;
};

// One RegisterDeviceNotificationW call, as the stand-in saw it.
struct NotificationCall {
  DWORD device_type = 0;
  HANDLE device = nullptr;
  GUID interface_class{};
  HDEVNOTIFY result = nullptr;
};

class ScriptedWin32System : public IWin32System {
 public:
  ScriptedWin32System();
  ~ScriptedWin32System() override;
  ScriptedWin32System(const ScriptedWin32System&) = delete;
  ScriptedWin32System& operator=(const ScriptedWin32System&) = delete;

  // The interface is present from now on; its device and parent join the device tree. Without a
  // wire an open of it still gives a working handle, on which nothing ever arrives.
  void add_interface(const HidInterface& row, std::shared_ptr<SimPipeWire> wire = nullptr);
  // The interface leaves: later opens fail with ERROR_FILE_NOT_FOUND and its wire is unplugged.
  // Its devices stay in the device tree, as Windows keeps a removed device's node for a while.
  void remove_interface(const std::wstring& path);
  // A device of the tree that has no HID interface itself (a USB composite device, a hub).
  void add_device_node(DEVINST devnode, const std::wstring& instance, DEVINST parent);
  void set_failures(const std::wstring& path, const HidFailures& failures);
  void set_setup_failures(const SetupFailures& failures);

  // Preparsed data given out and not freed, and frees so far.
  int preparsed_outstanding() const;
  int preparsed_freed() const;
  // Device-information lists made and not destroyed.
  int open_info_lists() const;
  std::vector<NotificationCall> notification_calls() const;

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

 private:
  struct Entry {
    HidInterface row;
    std::shared_ptr<SimPipeWire> wire;
    // Server ends of opens of an interface without a wire, closed when it leaves.
    std::vector<HANDLE> idle_ends;
  };
  struct Node {
    std::wstring instance;
    DEVINST parent = 0;
  };
  // One listed interface of a device-information list.
  struct Listed {
    std::wstring path;
    DEVINST devnode = 0;
  };
  struct InfoSet {
    std::vector<Listed> interfaces;
    std::vector<DEVINST> devices;
  };
  struct Preparsed;

  Entry* find_entry(const std::wstring& path);
  const Entry* entry_of(HANDLE device, DWORD HidFailures::*failure);
  InfoSet* find_set(HDEVINFO set);
  const Preparsed* find_preparsed(PHIDP_PREPARSED_DATA preparsed, DWORD HidFailures::*failure);
  void add_device(InfoSet& set, DEVINST devnode);
  bool fill_info(DEVINST devnode, PSP_DEVINFO_DATA info);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::map<DEVINST, Node> nodes_;
  // The interface path each handle the stand-in opened belongs to.
  std::map<HANDLE, std::wstring> opened_;
  std::map<HDEVINFO, InfoSet> sets_;
  std::uintptr_t next_set_ = 0x5e7000;
  std::set<const Preparsed*> preparsed_;
  int preparsed_freed_ = 0;
  SetupFailures setup_failures_;
  std::vector<NotificationCall> notification_calls_;
  HMODULE cfgmgr32_ = nullptr;
};

}  // namespace dovod::test
