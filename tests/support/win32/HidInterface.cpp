#include "HidInterface.h"

#include <cwchar>

namespace dovod::test {

HidInterface maker_collection(unsigned vendor_id, unsigned product_id, USHORT usage, USHORT report_length,
                              UCHAR report_id, int interface_number, int collection, const std::wstring& product) {
  wchar_t text[256];
  HidInterface row;
  swprintf(text, 256,
           L"\\\\?\\hid#vid_%04x&pid_%04x&mi_%02d&col%02d#7&2f0a%02d&0&%04d#"
           L"{4d1e55b2-f16f-11cf-88cb-001111000030}",
           vendor_id, product_id, interface_number, collection, interface_number, collection - 1);
  row.path = text;
  swprintf(text, 256, L"HID\\VID_%04X&PID_%04X&MI_%02d&COL%02d\\7&2F0A%02d&0&%04d", vendor_id, product_id,
           interface_number, collection, interface_number, collection - 1);
  row.instance = text;
  swprintf(text, 256, L"USB\\VID_%04X&PID_%04X&MI_%02d\\6&1C3E77&0&%04d", vendor_id, product_id, interface_number,
           interface_number);
  row.parent_instance = text;
  row.devnode = static_cast<DEVINST>(100 * interface_number + collection);
  row.parent_devnode = static_cast<DEVINST>(100 * interface_number);
  row.attributes.Size = sizeof(HIDD_ATTRIBUTES);
  row.attributes.VendorID = static_cast<USHORT>(vendor_id);
  row.attributes.ProductID = static_cast<USHORT>(product_id);
  row.attributes.VersionNumber = 0x0100;
  row.caps.Usage = usage;
  row.caps.UsagePage = 0xFF00;
  row.caps.InputReportByteLength = report_length;
  row.caps.OutputReportByteLength = report_length;
  row.caps.NumberLinkCollectionNodes = 1;
  row.caps.NumberInputValueCaps = 1;
  row.caps.NumberOutputValueCaps = 1;
  HIDP_VALUE_CAPS value{};
  value.UsagePage = 0xFF00;
  value.ReportID = report_id;
  value.BitSize = 8;
  value.ReportCount = static_cast<USHORT>(report_length - 1);
  value.Range.UsageMin = usage;
  value.Range.UsageMax = usage;
  row.output_value_caps.push_back(value);
  row.product = product;
  return row;
}

}  // namespace dovod::test
