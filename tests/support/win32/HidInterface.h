#pragma once
// One row of the stand-in system's table: a HID interface as SetupAPI lists it and as the HID
// functions describe it, with switches that make one call of it fail.

#include <windows.h>
// clang-format off
#include <cfgmgr32.h>
#include <hidsdi.h>
#include <hidpi.h>
// clang-format on

#include <string>
#include <vector>

namespace dovod::test {

// The HID interface class.
constexpr GUID kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// A non-zero value makes that call fail with it as the system error (HidP calls answer
// HIDP_STATUS_INVALID_PREPARSED_DATA and leave it as the last error).
struct HidFailures {
  DWORD attributes = 0;
  DWORD preparsed_data = 0;
  DWORD caps = 0;
  DWORD value_caps = 0;
  DWORD button_caps = 0;
  DWORD product_string = 0;
  DWORD create_file = 0;
};

struct HidInterface {
  // As Windows writes it: \\?\hid#vid_...&pid_...#...#{4d1e55b2-...}.
  std::wstring path;
  DEVINST devnode = 0;
  // The device instance identifier, as Windows writes it (upper case).
  std::wstring instance;
  DEVINST parent_devnode = 0;
  std::wstring parent_instance;
  HIDD_ATTRIBUTES attributes{};
  HIDP_CAPS caps{};
  std::vector<HIDP_VALUE_CAPS> output_value_caps;
  std::vector<HIDP_BUTTON_CAPS> output_button_caps;
  std::wstring product;
  HidFailures fail;
};

// A collection of the maker's report protocol: vendor usage page 0xFF00, one output value cap with
// `report_id`, input and output reports of `report_length` bytes. `interface_number` and
// `collection` give the path, instance and devnodes their own numbers (devnode 100·interface +
// collection, parent devnode 100·interface).
HidInterface maker_collection(unsigned vendor_id, unsigned product_id, USHORT usage, USHORT report_length,
                              UCHAR report_id, int interface_number, int collection,
                              const std::wstring& product = L"Vorn Keyboard");

}  // namespace dovod::test
