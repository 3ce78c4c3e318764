#include "ScriptedWin32System.h"

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <cwctype>

#include "MessagePipe.h"
#include "SimPipeWire.h"

namespace dovod::test {
namespace {

// The device setup class of HID devices (what SP_DEVINFO_DATA carries), not the interface class.
constexpr GUID kHidSetupClass = {0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};

bool same_text(const std::wstring& a, const wchar_t* b) { return b && _wcsicmp(a.c_str(), b) == 0; }

}  // namespace

// What HidD_GetPreparsedData hands out: a copy of the interface's description, so the HidP calls
// answer from it even after the interface has left.
struct ScriptedWin32System::Preparsed {
  HidInterface row;
};

ScriptedWin32System::ScriptedWin32System() = default;

ScriptedWin32System::~ScriptedWin32System() {
  for (Entry& entry : entries_) {
    for (HANDLE end : entry.idle_ends) CloseHandle(end);
    if (entry.wire) entry.wire->unplug();
  }
  for (const Preparsed* p : preparsed_) delete p;
  if (cfgmgr32_) FreeLibrary(cfgmgr32_);
}

void ScriptedWin32System::add_interface(const HidInterface& row, std::shared_ptr<SimPipeWire> wire) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back({row, std::move(wire), {}});
  if (row.parent_devnode && !nodes_.count(row.parent_devnode)) nodes_[row.parent_devnode] = {row.parent_instance, 0};
  nodes_[row.devnode] = {row.instance, row.parent_devnode};
}

void ScriptedWin32System::remove_interface(const std::wstring& path) {
  std::shared_ptr<SimPipeWire> wire;
  std::vector<HANDLE> ends;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return same_text(e.row.path, path.c_str()); });
    if (it == entries_.end()) return;
    wire = it->wire;
    ends = it->idle_ends;
    entries_.erase(it);
  }
  for (HANDLE end : ends) {
    DisconnectNamedPipe(end);
    CloseHandle(end);
  }
  if (wire) wire->unplug();
}

void ScriptedWin32System::add_device_node(DEVINST devnode, const std::wstring& instance, DEVINST parent) {
  std::lock_guard<std::mutex> lock(mutex_);
  nodes_[devnode] = {instance, parent};
}

void ScriptedWin32System::set_failures(const std::wstring& path, const HidFailures& failures) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Entry* entry = find_entry(path)) entry->row.fail = failures;
}

void ScriptedWin32System::set_setup_failures(const SetupFailures& failures) {
  std::lock_guard<std::mutex> lock(mutex_);
  setup_failures_ = failures;
}

int ScriptedWin32System::preparsed_outstanding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(preparsed_.size());
}

int ScriptedWin32System::preparsed_freed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return preparsed_freed_;
}

int ScriptedWin32System::open_info_lists() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(sets_.size());
}

std::vector<NotificationCall> ScriptedWin32System::notification_calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notification_calls_;
}

ScriptedWin32System::Entry* ScriptedWin32System::find_entry(const std::wstring& path) {
  for (Entry& entry : entries_) {
    if (same_text(entry.row.path, path.c_str())) return &entry;
  }
  return nullptr;
}

const ScriptedWin32System::Entry* ScriptedWin32System::entry_of(HANDLE device, DWORD HidFailures::*failure) {
  auto opened = opened_.find(device);
  const Entry* entry = opened == opened_.end() ? nullptr : find_entry(opened->second);
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (const DWORD error = entry->row.fail.*failure) {
    SetLastError(error);
    return nullptr;
  }
  return entry;
}

const ScriptedWin32System::Preparsed* ScriptedWin32System::find_preparsed(PHIDP_PREPARSED_DATA preparsed,
                                                                          DWORD HidFailures::*failure) {
  auto* p = reinterpret_cast<const Preparsed*>(preparsed);
  if (!preparsed_.count(p)) return nullptr;
  if (const DWORD error = p->row.fail.*failure) {
    SetLastError(error);
    return nullptr;
  }
  return p;
}

void ScriptedWin32System::HidD_GetHidGuid(LPGUID hid_guid) { *hid_guid = kHidInterfaceClass; }

BOOLEAN ScriptedWin32System::HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* entry = entry_of(device, &HidFailures::attributes);
  if (!entry) return FALSE;
  *attributes = entry->row.attributes;
  attributes->Size = sizeof(HIDD_ATTRIBUTES);
  return TRUE;
}

BOOLEAN ScriptedWin32System::HidD_GetProductString(HANDLE device, PVOID buffer, ULONG buffer_length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* entry = entry_of(device, &HidFailures::product_string);
  if (!entry) return FALSE;
  const std::wstring& product = entry->row.product;
  if (buffer_length < (product.size() + 1) * sizeof(wchar_t)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  std::copy(product.c_str(), product.c_str() + product.size() + 1, static_cast<wchar_t*>(buffer));
  return TRUE;
}

BOOLEAN ScriptedWin32System::HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsed) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Entry* entry = entry_of(device, &HidFailures::preparsed_data);
  if (!entry) return FALSE;
  const Preparsed* p = new Preparsed{entry->row};
  preparsed_.insert(p);
  *preparsed = reinterpret_cast<PHIDP_PREPARSED_DATA>(const_cast<Preparsed*>(p));
  return TRUE;
}

BOOLEAN ScriptedWin32System::HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsed) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto* p = reinterpret_cast<const Preparsed*>(preparsed);
  if (!preparsed_.erase(p)) return FALSE;
  delete p;
  ++preparsed_freed_;
  return TRUE;
}

NTSTATUS ScriptedWin32System::HidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Preparsed* p = find_preparsed(preparsed, &HidFailures::caps);
  if (!p) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  *caps = p->row.caps;
  return HIDP_STATUS_SUCCESS;
}

namespace {

// Copies as many capabilities as fit; like HidP, says how many there are.
template <typename Cap>
NTSTATUS copy_caps(const std::vector<Cap>& from, Cap* to, PUSHORT length) {
  const auto fit = std::min<std::size_t>(from.size(), *length);
  std::copy(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(fit), to);
  const bool all = fit == from.size();
  *length = static_cast<USHORT>(from.size());
  return all ? HIDP_STATUS_SUCCESS : HIDP_STATUS_BUFFER_TOO_SMALL;
}

}  // namespace

NTSTATUS ScriptedWin32System::HidP_GetValueCaps(HIDP_REPORT_TYPE type, PHIDP_VALUE_CAPS caps, PUSHORT length,
                                                PHIDP_PREPARSED_DATA preparsed) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Preparsed* p = find_preparsed(preparsed, &HidFailures::value_caps);
  if (!p) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  return copy_caps(type == HidP_Output ? p->row.output_value_caps : std::vector<HIDP_VALUE_CAPS>{}, caps, length);
}

NTSTATUS ScriptedWin32System::HidP_GetButtonCaps(HIDP_REPORT_TYPE type, PHIDP_BUTTON_CAPS caps, PUSHORT length,
                                                 PHIDP_PREPARSED_DATA preparsed) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Preparsed* p = find_preparsed(preparsed, &HidFailures::button_caps);
  if (!p) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  return copy_caps(type == HidP_Output ? p->row.output_button_caps : std::vector<HIDP_BUTTON_CAPS>{}, caps, length);
}

NTSTATUS ScriptedWin32System::HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE nodes, PULONG length,
                                                          PHIDP_PREPARSED_DATA preparsed) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The one collection the capabilities describe; it fails with them.
  const Preparsed* p = find_preparsed(preparsed, &HidFailures::caps);
  if (!p) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  const bool room = *length >= 1;
  *length = 1;
  if (!room) return HIDP_STATUS_BUFFER_TOO_SMALL;
  nodes[0] = HIDP_LINK_COLLECTION_NODE{};
  nodes[0].LinkUsage = p->row.caps.Usage;
  nodes[0].LinkUsagePage = p->row.caps.UsagePage;
  nodes[0].CollectionType = 1;
  return HIDP_STATUS_SUCCESS;
}

HANDLE ScriptedWin32System::CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                        DWORD disposition, DWORD flags, HANDLE template_file) {
  if (!name) return ::CreateFileW(name, access, share, security, disposition, flags, template_file);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Entry* entry = find_entry(name)) {
      if (const DWORD error = entry->row.fail.create_file) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
      }
      MessagePipe pipe;
      if (!open_message_pipe(access, share, security, flags, pipe)) return INVALID_HANDLE_VALUE;
      opened_[pipe.client] = entry->row.path;
      // The wire locks only itself, so it can take the end under this lock, before anyone can
      // write to the client.
      if (entry->wire) {
        entry->wire->serve(pipe.server);
      } else {
        entry->idle_ends.push_back(pipe.server);
      }
      return pipe.client;
    }
  }
  // A HID interface path that is not in the table is a device that has left.
  std::wstring lower(name);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  if (lower.find(L"{4d1e55b2-f16f-11cf-88cb-001111000030}") != std::wstring::npos) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return ::CreateFileW(name, access, share, security, disposition, flags, template_file);
}

HDEVNOTIFY ScriptedWin32System::RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
  HDEVNOTIFY result = ::RegisterDeviceNotificationW(recipient, filter, flags);
  const DWORD error = GetLastError();
  NotificationCall call;
  call.result = result;
  if (const auto* header = static_cast<const DEV_BROADCAST_HDR*>(filter)) {
    call.device_type = header->dbch_devicetype;
    if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
      call.device = static_cast<const DEV_BROADCAST_HANDLE*>(filter)->dbch_handle;
    } else if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
      call.interface_class = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(filter)->dbcc_classguid;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notification_calls_.push_back(call);
  }
  SetLastError(error);
  return result;
}

ScriptedWin32System::InfoSet* ScriptedWin32System::find_set(HDEVINFO set) {
  auto it = sets_.find(set);
  if (it == sets_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return &it->second;
}

void ScriptedWin32System::add_device(InfoSet& set, DEVINST devnode) {
  if (std::find(set.devices.begin(), set.devices.end(), devnode) == set.devices.end()) set.devices.push_back(devnode);
}

bool ScriptedWin32System::fill_info(DEVINST devnode, PSP_DEVINFO_DATA info) {
  if (!info) return true;
  if (info->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return false;
  }
  info->ClassGuid = kHidSetupClass;
  info->DevInst = devnode;
  info->Reserved = 0;
  return true;
}

HDEVINFO ScriptedWin32System::SetupDiCreateDeviceInfoList(const GUID*, HWND) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto set = reinterpret_cast<HDEVINFO>(next_set_ += 0x10);
  sets_[set] = {};
  return set;
}

BOOL ScriptedWin32System::SetupDiOpenDeviceInterfaceW(HDEVINFO set, PCWSTR path, DWORD,
                                                      PSP_DEVICE_INTERFACE_DATA interface_data) {
  std::lock_guard<std::mutex> lock(mutex_);
  InfoSet* info_set = find_set(set);
  if (!info_set) return FALSE;
  const Entry* entry = path ? find_entry(path) : nullptr;
  if (!entry) {
    SetLastError(ERROR_NO_SUCH_DEVICE_INTERFACE);
    return FALSE;
  }
  if (interface_data && interface_data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  info_set->interfaces.push_back({entry->row.path, entry->row.devnode});
  add_device(*info_set, entry->row.devnode);
  if (interface_data) {
    interface_data->InterfaceClassGuid = kHidInterfaceClass;
    interface_data->Flags = SPINT_ACTIVE;
    interface_data->Reserved = info_set->interfaces.size();
  }
  return TRUE;
}

BOOL ScriptedWin32System::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) {
  std::lock_guard<std::mutex> lock(mutex_);
  InfoSet* info_set = find_set(set);
  if (!info_set) return FALSE;
  if (index >= info_set->devices.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  return fill_info(info_set->devices[index], info);
}

BOOL ScriptedWin32System::SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR instance, HWND, DWORD, PSP_DEVINFO_DATA info) {
  std::lock_guard<std::mutex> lock(mutex_);
  InfoSet* info_set = find_set(set);
  if (!info_set) return FALSE;
  auto node =
      std::find_if(nodes_.begin(), nodes_.end(), [&](const auto& n) { return same_text(n.second.instance, instance); });
  if (node == nodes_.end()) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return FALSE;
  }
  if (!fill_info(node->first, info)) return FALSE;
  add_device(*info_set, node->first);
  return TRUE;
}

BOOL ScriptedWin32System::SetupDiGetDevicePropertyW(HDEVINFO, PSP_DEVINFO_DATA, const DEVPROPKEY*, DEVPROPTYPE*, PBYTE,
                                                    DWORD, PDWORD, DWORD) {
  SetLastError(ERROR_NOT_FOUND);
  return FALSE;
}

HDEVINFO ScriptedWin32System::SetupDiGetClassDevsW(const GUID* class_guid, PCWSTR enumerator, HWND, DWORD flags) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (const DWORD error = setup_failures_.class_devs) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  InfoSet listed;
  // Only HID interfaces exist here; another class, or a list of devices, is empty.
  if ((flags & DIGCF_DEVICEINTERFACE) && class_guid && IsEqualGUID(*class_guid, kHidInterfaceClass)) {
    for (const Entry& entry : entries_) {
      if (enumerator && !same_text(entry.row.instance, enumerator)) continue;
      listed.interfaces.push_back({entry.row.path, entry.row.devnode});
      add_device(listed, entry.row.devnode);
    }
  }
  const auto set = reinterpret_cast<HDEVINFO>(next_set_ += 0x10);
  sets_[set] = std::move(listed);
  return set;
}

BOOL ScriptedWin32System::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!sets_.erase(set)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL ScriptedWin32System::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* class_guid,
                                                      DWORD index, PSP_DEVICE_INTERFACE_DATA interface_data) {
  std::lock_guard<std::mutex> lock(mutex_);
  InfoSet* info_set = find_set(set);
  if (!info_set) return FALSE;
  if (setup_failures_.enum_interfaces && index == setup_failures_.enum_interfaces_at) {
    SetLastError(setup_failures_.enum_interfaces);
    return FALSE;
  }
  if (!interface_data || interface_data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  // The index counts the interfaces of the class (and of the device, when one is given).
  DWORD seen = 0;
  for (std::size_t i = 0; i < info_set->interfaces.size(); ++i) {
    if (info && info->DevInst != info_set->interfaces[i].devnode) continue;
    if (class_guid && !IsEqualGUID(*class_guid, kHidInterfaceClass)) break;
    if (seen++ != index) continue;
    interface_data->InterfaceClassGuid = kHidInterfaceClass;
    interface_data->Flags = SPINT_ACTIVE;
    interface_data->Reserved = i + 1;
    return TRUE;
  }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return FALSE;
}

BOOL ScriptedWin32System::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interface_data,
                                                           PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                                           PDWORD required, PSP_DEVINFO_DATA info) {
  std::lock_guard<std::mutex> lock(mutex_);
  InfoSet* info_set = find_set(set);
  if (!info_set) return FALSE;
  if (!interface_data || interface_data->Reserved == 0 || interface_data->Reserved > info_set->interfaces.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const Listed& listed = info_set->interfaces[interface_data->Reserved - 1];
  if (const DWORD error = detail ? setup_failures_.detail : setup_failures_.detail_probe) {
    SetLastError(error);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                          (listed.path.size() + 1) * sizeof(wchar_t));
  if (required) *required = needed;
  if (!detail) {
    SetLastError(size ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(listed.path.c_str(), listed.path.c_str() + listed.path.size() + 1, detail->DevicePath);
  return fill_info(listed.devnode, info);
}

HMODULE ScriptedWin32System::cfgmgr32() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!cfgmgr32_) cfgmgr32_ = LoadLibraryW(L"cfgmgr32.dll");
  return cfgmgr32_;
}

CONFIGRET ScriptedWin32System::CM_Get_Parent(PDEVINST parent, DEVINST devnode, ULONG) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto node = nodes_.find(devnode);
  if (node == nodes_.end()) return CR_INVALID_DEVNODE;
  if (!node->second.parent) return CR_NO_SUCH_DEVNODE;
  *parent = node->second.parent;
  return CR_SUCCESS;
}

CONFIGRET ScriptedWin32System::CM_Get_Device_ID_Size(PULONG length, DEVINST devnode, ULONG) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto node = nodes_.find(devnode);
  if (node == nodes_.end()) return CR_INVALID_DEVNODE;
  *length = static_cast<ULONG>(node->second.instance.size());
  return CR_SUCCESS;
}

CONFIGRET ScriptedWin32System::CM_Get_Device_IDW(DEVINST devnode, PWSTR buffer, ULONG length, ULONG) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto node = nodes_.find(devnode);
  if (node == nodes_.end()) return CR_INVALID_DEVNODE;
  const std::wstring& instance = node->second.instance;
  if (length < instance.size()) return CR_BUFFER_SMALL;
  std::copy(instance.begin(), instance.end(), buffer);
  // As the configuration manager does, the zero is added only when there is room for it.
  if (length > instance.size()) buffer[instance.size()] = L'\0';
  return CR_SUCCESS;
}

DWORD ScriptedWin32System::BluetoothGetDeviceInfo(HANDLE, BLUETOOTH_DEVICE_INFO*) { return ERROR_NOT_SUPPORTED; }

HRESULT ScriptedWin32System::BluetoothGATTGetServices(HANDLE, USHORT, gatt::Service*, USHORT*, ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTGetIncludedServices(HANDLE, gatt::Service*, USHORT, gatt::Service*, USHORT*,
                                                              ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTGetCharacteristics(HANDLE, gatt::Service*, USHORT, gatt::Characteristic*,
                                                             USHORT*, ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTGetDescriptors(HANDLE, gatt::Characteristic*, USHORT, gatt::Descriptor*,
                                                         USHORT*, ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTGetCharacteristicValue(HANDLE, gatt::Characteristic*, ULONG,
                                                                 gatt::CharacteristicValue*, USHORT*, ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTGetDescriptorValue(HANDLE, gatt::Descriptor*, ULONG, gatt::DescriptorValue*,
                                                             USHORT*, ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTSetDescriptorValue(HANDLE, gatt::Descriptor*, gatt::DescriptorValue*, ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTRegisterEvent(HANDLE, gatt::EventType, PVOID, gatt::EventCallback, PVOID,
                                                        gatt::EventHandle*, ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTUnregisterEvent(gatt::EventHandle, ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

HRESULT ScriptedWin32System::BluetoothGATTSetCharacteristicValue(HANDLE, gatt::Characteristic*,
                                                                 gatt::CharacteristicValue*, gatt::ReliableWriteContext,
                                                                 ULONG) {
  return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
}

}  // namespace dovod::test
