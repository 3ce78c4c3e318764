#pragma once
// The Bluetooth LE GATT types of the Windows SDK that the cross compiler's headers lack. The bus
// only passes them between the system and the GATT transport, so they are declared here as the
// Windows API documents them, the structures left incomplete until a transport needs their fields.

#include <windows.h>

struct _BTH_LE_GATT_SERVICE;
struct _BTH_LE_GATT_CHARACTERISTIC;
struct _BTH_LE_GATT_DESCRIPTOR;
struct _BTH_LE_GATT_CHARACTERISTIC_VALUE;
struct _BTH_LE_GATT_DESCRIPTOR_VALUE;

namespace dovod::gatt {

using Service = _BTH_LE_GATT_SERVICE;
using Characteristic = _BTH_LE_GATT_CHARACTERISTIC;
using Descriptor = _BTH_LE_GATT_DESCRIPTOR;
using CharacteristicValue = _BTH_LE_GATT_CHARACTERISTIC_VALUE;
using DescriptorValue = _BTH_LE_GATT_DESCRIPTOR_VALUE;

using EventType = int;                // BTH_LE_GATT_EVENT_TYPE
using EventHandle = HANDLE;           // BLUETOOTH_GATT_EVENT_HANDLE
using ReliableWriteContext = ULONG64;  // BTH_LE_GATT_RELIABLE_WRITE_CONTEXT
using EventCallback = void(CALLBACK*)(EventType event, PVOID event_out, PVOID context);

}  // namespace dovod::gatt
