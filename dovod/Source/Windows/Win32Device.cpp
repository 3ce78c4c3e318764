#include "Source/Windows/Win32Device.h"

#include <cstdlib>
#include <vector>

#include "Source/ProtocolCollections.h"
#include "Source/Windows/DovodException.h"
#include "Source/Windows/Win32Bus.h"
#include "Source/Windows/Win32Channel.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "dovod/xLog.h"
#include "platform/WideText_win32.h"

namespace dovod {
namespace {

constexpr const char* kTag = "Win32Device";
constexpr const char* kFn = "dovod::Win32Device::open";
constexpr const char* kNotProtocolUsage = "not a vexapp collection usage code";
// HidP_* report failures as negative status values.
bool hidp_failed(NTSTATUS status) { return status < 0; }

bool refuse_open(ErrorCode code, unsigned long system_error, const char* message, const char* why) {
  set_last_error(code, system_error, message);
  xLog(kTag, LOG_WARNING, kFn, "Win32Device::open exit (false, %s)", why);
  return false;
}

// Four hexadecimal digits; false for anything else.
bool parse_id(const std::string& text, unsigned& id) {
  if (text.size() != 4) return false;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 16);
  if (end != text.c_str() + 4 || text.find_first_of("+- x") != std::string::npos) return false;
  id = static_cast<unsigned>(value);
  return true;
}

// A Bluetooth LE HID collection reports no ids; its path carries them after "}_dev_vid&02".
void ids_from_path(const std::string& path, HidLayout& layout) {
  const std::size_t at = path.find("}_dev_vid&02");
  if (at == std::string::npos || at + 25 >= path.size()) return;
  const std::string vid = path.substr(at + 12, 4);
  const std::string pid = path.substr(at + 21, 4);
  xLog(kTag, LOG_INFO, kFn, "vid is %s and pid is %s", vid.c_str(), pid.c_str());
  unsigned vendor = 0, product = 0;
  if (parse_id(vid, vendor) && parse_id(pid, product)) {
    layout.vendor_id = vendor;
    layout.product_id = product;
  }
}

// Frees the preparsed data however the checks end.
class PreparsedData {
 public:
  explicit PreparsedData(IWin32System& system) : system_(system) {}
  ~PreparsedData() {
    if (!data_) return;
    try {
      system_.HidD_FreePreparsedData(data_);
    } catch (const DovodException& e) {
      xLog(kTag, LOG_ERROR, kFn, "HidD_FreePreparsedData: %s", e.what());
    }
  }
  PreparsedData(const PreparsedData&) = delete;
  PreparsedData& operator=(const PreparsedData&) = delete;
  PHIDP_PREPARSED_DATA* out() { return &data_; }
  PHIDP_PREPARSED_DATA get() const { return data_; }

 private:
  IWin32System& system_;
  PHIDP_PREPARSED_DATA data_ = nullptr;
};

}  // namespace

Win32Device::Win32Device(std::weak_ptr<Win32Bus> bus, std::shared_ptr<IWin32System> system, std::string path,
                         DEVINST devnode, std::chrono::milliseconds write_limit)
    : HidDevice(kTag, bus, std::move(path), write_limit, 0),
      win32_bus_(std::move(bus)),
      system_(std::move(system)),
      devnode_(devnode) {}

std::shared_ptr<HidChannel> Win32Device::open_channel(HidLayout* layout) {
  HANDLE handle = system_->CreateFileW(platform::to_wide(device_path()).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    refuse_open(ErrorCode::OpenFailed, GetLastError(), "CreateFile failed", "CreateFile failed");
    return nullptr;
  }
  if (layout) {
    bool valid = false;
    try {
      valid = validate(handle, *layout);
    } catch (const DovodException& e) {
      e.store_as_last_error();
      xLog(kTag, LOG_WARNING, kFn, "Win32Device::open exit (false, %s)", e.what());
    }
    if (!valid) {
      CloseHandle(handle);
      return nullptr;
    }
  }
  auto bus = win32_bus_.lock();
  if (!bus) {
    CloseHandle(handle);
    refuse_open(ErrorCode::NotAvailable, 0, nullptr, "bus gone");
    return nullptr;
  }
  HDEVNOTIFY notification = bus->registerDeviceNotificationAndTakeOwnershipOfHandle(handle);
  if (!notification) {
    const LastError error = last_error();
    CloseHandle(handle);
    set_last_error(error.code, error.system_error, error.message);
    xLog(kTag, LOG_WARNING, kFn, "Win32Device::open exit (false, could not register device notification)");
    return nullptr;
  }
  auto channel = std::make_shared<Win32Channel>(win32_bus_, handle, notification, input_length_);
  if (!channel->ready()) {
    refuse_open(ErrorCode::OpenFailed, GetLastError(), "CreateEvent failed", "CreateEvent failed");
    return nullptr;
  }
  return channel;
}

bool Win32Device::validate(HANDLE handle, HidLayout& layout) {
  if (!read_identity(handle, layout) || !read_capabilities(handle, layout)) return false;
  WCHAR name[126] = {};
  if (system_->HidD_GetProductString(handle, name, sizeof(name))) {
    name[125] = L'\0';
    layout.product_name = platform::to_utf8(name);
  } else {
    xLog(kTag, LOG_WARNING, kFn, "Win32Device::open HidD_GetProductString failed, err=%lu", GetLastError());
  }
  input_length_ = layout.input_length;
  if (layout.piece_bits != layout.expected_pieces) layout.group = parent_instance();
  return true;
}

bool Win32Device::read_identity(HANDLE handle, HidLayout& layout) {
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof(attributes);
  if (!system_->HidD_GetAttributes(handle, &attributes)) {
    return refuse_open(ErrorCode::AttributesFailed, GetLastError(), nullptr, "HidD_GetAttributes failed");
  }
  layout.vendor_id = attributes.VendorID;
  layout.product_id = attributes.ProductID;
  xLog(kTag, LOG_INFO, kFn, "Win32Device::open vid=0x%04x pid=0x%04x ver=0x%04x", attributes.VendorID,
       attributes.ProductID, attributes.VersionNumber);
  if (layout.vendor_id == 0 && layout.product_id == 0) ids_from_path(device_path(), layout);
  if (layout.vendor_id != maker::kVendorId) {
    return refuse_open(ErrorCode::NotMakerDevice, layout.product_id, nullptr, "ignoring non corvane device");
  }
  return true;
}

bool Win32Device::read_capabilities(HANDLE handle, HidLayout& layout) {
  PreparsedData preparsed(*system_);
  if (!system_->HidD_GetPreparsedData(handle, preparsed.out()) || !preparsed.get()) {
    return refuse_open(ErrorCode::DescriptorFailed, GetLastError(), nullptr, "HidD_GetPreparsedData failed");
  }
  HIDP_CAPS caps{};
  if (hidp_failed(system_->HidP_GetCaps(preparsed.get(), &caps))) {
    return refuse_open(ErrorCode::CapabilitiesFailed, GetLastError(), nullptr, "HidP_GetCaps failed");
  }
  xLog(kTag, LOG_INFO, kFn,
       "Win32Device::open inlen=%u outlen=%u usagepage=0x%04x usage=0x%04x inputs=%u outputs=%u links=%u",
       caps.InputReportByteLength, caps.OutputReportByteLength, caps.UsagePage, caps.Usage,
       caps.NumberInputValueCaps + caps.NumberInputButtonCaps, caps.NumberOutputValueCaps + caps.NumberOutputButtonCaps,
       caps.NumberLinkCollectionNodes);
  if (!is_vendor_page(caps.UsagePage)) {
    return refuse_open(ErrorCode::NotVendorUsagePage, 0, nullptr, "not vendor usage page");
  }
  if (caps.UsagePage != 0xFF00) {
    xLog(kTag, LOG_DEBUG, kFn, "Win32Device::open thisusage=%d expected=%d bit=%d", caps.Usage & 0xFF,
         caps.Usage >> 8, caps.Usage & 0xFF);
  }
  if (!is_protocol_usage(caps.UsagePage, caps.Usage)) {
    return refuse_open(ErrorCode::NotProtocolCollection, 0, nullptr, kNotProtocolUsage);
  }
  if (caps.NumberOutputValueCaps + caps.NumberOutputButtonCaps != 1 ||
      caps.NumberInputValueCaps + caps.NumberInputButtonCaps != 1) {
    return refuse_open(ErrorCode::NotProtocolCollection, 0, nullptr, "not just a single button or value cap");
  }
  if (caps.InputReportByteLength != caps.OutputReportByteLength || caps.OutputReportByteLength == 0) {
    return refuse_open(ErrorCode::NotProtocolCollection, 0, nullptr, "mismatched input and output report sizes");
  }

  const unsigned length = caps.OutputReportByteLength;
  USHORT values = caps.NumberOutputValueCaps;
  std::vector<HIDP_VALUE_CAPS> value_caps(values);
  if (values && hidp_failed(system_->HidP_GetValueCaps(HidP_Output, value_caps.data(), &values, preparsed.get()))) {
    return refuse_open(ErrorCode::CapabilitiesFailed, GetLastError(), nullptr, "HidP_GetCaps failed");
  }
  USHORT buttons = caps.NumberOutputButtonCaps;
  std::vector<HIDP_BUTTON_CAPS> button_caps(buttons);
  if (buttons && hidp_failed(system_->HidP_GetButtonCaps(HidP_Output, button_caps.data(), &buttons, preparsed.get()))) {
    return refuse_open(ErrorCode::CapabilitiesFailed, GetLastError(), nullptr, "HidP_GetCaps failed");
  }
  // The system may answer fewer capabilities than it counted; only those it filled are read.
  for (USHORT i = 0; i < values && i < value_caps.size(); ++i) {
    xLog(kTag, LOG_DEBUG, kFn, "Win32Device::open value cap reportid=0x%02x", value_caps[i].ReportID);
    layout.report_lengths[value_caps[i].ReportID] = length;
  }
  for (USHORT i = 0; i < buttons && i < button_caps.size(); ++i) {
    xLog(kTag, LOG_DEBUG, kFn, "Win32Device::open button cap reportid=0x%02x", button_caps[i].ReportID);
    layout.report_lengths[button_caps[i].ReportID] = length;
  }
  layout.output_length = length;
  layout.input_length = caps.InputReportByteLength;
  layout.piece_bits = caps.Usage & 0xFF;
  layout.expected_pieces = expected_pieces_of(layout.product_id, caps.UsagePage, caps.Usage);
  return true;
}

std::string Win32Device::parent_instance() {
  try {
    const std::string instance = system_->setupdi_instance_from_path(device_path());
    if (instance.empty()) return {};
    const std::string parent = system_->setupdi_parent(instance);
    // The parent lookup answers the instance itself when it cannot go up.
    return parent == instance ? std::string() : parent;
  } catch (const DovodException& e) {
    xLog(kTag, LOG_WARNING, kFn, "Win32Device::open no parent instance: %s", e.what());
    return {};
  }
}

}  // namespace dovod
