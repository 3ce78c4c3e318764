#include "ScriptedWin32System.h"

#include <dbt.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "dovod/MakerValues.h"
#include "platform/WideText_win32.h"

namespace dovod::test {
namespace {

// Two collections of one USB interface of the keyboard and a third interface of another vendor.
class ScriptedSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    short_reports = maker_collection(maker::kVendorId, maker::kKeyboardPid, 1, 7, 0x10, 2, 1);
    long_reports = maker_collection(maker::kVendorId, maker::kKeyboardPid, 2, 20, 0x11, 2, 2);
    other_vendor = maker_collection(0x1234, 0x5678, 1, 8, 0x01, 0, 1);
    for (const HidInterface* row : {&short_reports, &long_reports, &other_vendor}) system.add_interface(*row);
    // The USB device above the keyboard's interface.
    system.add_device_node(short_reports.parent_devnode, short_reports.parent_instance, 7);
    system.add_device_node(7, L"USB\\VID_3A7C&PID_B3F1\\5&2B0F&0&3", 0);
  }

  // The paths SetupAPI lists for the HID class, read the way the bus reads them.
  std::vector<std::wstring> listed_paths(std::vector<DEVINST>* devnodes = nullptr) {
    std::vector<std::wstring> paths;
    HDEVINFO list =
        system.SetupDiGetClassDevsW(&kHidInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(list, INVALID_HANDLE_VALUE);
    for (DWORD index = 0;; ++index) {
      SP_DEVICE_INTERFACE_DATA data{};
      data.cbSize = sizeof(data);
      if (!system.SetupDiEnumDeviceInterfaces(list, nullptr, &kHidInterfaceClass, index, &data)) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        break;
      }
      DWORD size = 0;
      EXPECT_FALSE(system.SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &size, nullptr));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
      std::vector<std::byte> buffer(size);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
      SP_DEVINFO_DATA info{};
      info.cbSize = sizeof(info);
      // One byte short of the size the probe gave is refused.
      EXPECT_FALSE(system.SetupDiGetDeviceInterfaceDetailW(list, &data, detail, size - 1, nullptr, &info));
      EXPECT_TRUE(system.SetupDiGetDeviceInterfaceDetailW(list, &data, detail, size, nullptr, &info));
      paths.emplace_back(detail->DevicePath);
      if (devnodes) devnodes->push_back(info.DevInst);
    }
    EXPECT_TRUE(system.SetupDiDestroyDeviceInfoList(list));
    return paths;
  }

  ScriptedWin32System system;
  HidInterface short_reports, long_reports, other_vendor;
};

TEST_F(ScriptedSystemTest, SetupApiListsEveryInterfaceThroughTheSizeProbe) {
  std::vector<DEVINST> devnodes;
  EXPECT_EQ(listed_paths(&devnodes),
            (std::vector<std::wstring>{short_reports.path, long_reports.path, other_vendor.path}));
  EXPECT_EQ(devnodes, (std::vector<DEVINST>{short_reports.devnode, long_reports.devnode, other_vendor.devnode}));

  system.remove_interface(long_reports.path);
  system.add_interface(maker_collection(maker::kVendorId, maker::kKeyboardPid, 2, 20, 0x11, 3, 1));
  EXPECT_EQ(listed_paths().size(), 3u);
  EXPECT_EQ(system.open_info_lists(), 0);
}

TEST_F(ScriptedSystemTest, AListIsASnapshotThatKeepsADepartedInterface) {
  HDEVINFO list =
      system.SetupDiGetClassDevsW(&kHidInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  system.remove_interface(short_reports.path);
  system.add_interface(maker_collection(maker::kVendorId, maker::kKeyboardPid, 2, 20, 0x11, 4, 1));
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(data);
  ASSERT_TRUE(system.SetupDiEnumDeviceInterfaces(list, nullptr, &kHidInterfaceClass, 0, &data));
  std::vector<std::byte> buffer(1024);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  ASSERT_TRUE(system.SetupDiGetDeviceInterfaceDetailW(list, &data, detail, 1024, nullptr, nullptr));
  EXPECT_EQ(std::wstring(detail->DevicePath), short_reports.path);
  EXPECT_FALSE(system.SetupDiEnumDeviceInterfaces(list, nullptr, &kHidInterfaceClass, 3, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  system.SetupDiDestroyDeviceInfoList(list);
}

TEST_F(ScriptedSystemTest, EachSetupApiStepCanBeMadeToFail) {
  struct Case {
    const char* name;
    SetupFailures failures;
    DWORD error;
  };
  const Case cases[] = {
      {"class list", {ERROR_ACCESS_DENIED, 0, 0, 0, 0}, ERROR_ACCESS_DENIED},
      {"second interface", {0, ERROR_GEN_FAILURE, 1, 0, 0}, ERROR_GEN_FAILURE},
      {"size probe", {0, 0, 0, ERROR_INVALID_DATA, 0}, ERROR_INVALID_DATA},
      {"detail", {0, 0, 0, 0, ERROR_NOT_ENOUGH_MEMORY}, ERROR_NOT_ENOUGH_MEMORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    system.set_setup_failures(c.failures);
    HDEVINFO list =
        system.SetupDiGetClassDevsW(&kHidInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    DWORD failed_with = 0;
    if (list == INVALID_HANDLE_VALUE) {
      failed_with = GetLastError();
    } else {
      for (DWORD index = 0; !failed_with; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof(data);
        if (!system.SetupDiEnumDeviceInterfaces(list, nullptr, &kHidInterfaceClass, index, &data)) {
          failed_with = GetLastError();
          break;
        }
        DWORD size = 0;
        if (!system.SetupDiGetDeviceInterfaceDetailW(list, &data, nullptr, 0, &size, nullptr) &&
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
          failed_with = GetLastError();
          break;
        }
        std::vector<std::byte> buffer(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!system.SetupDiGetDeviceInterfaceDetailW(list, &data, detail, size, nullptr, nullptr)) {
          failed_with = GetLastError();
        }
      }
      system.SetupDiDestroyDeviceInfoList(list);
    }
    EXPECT_EQ(failed_with, c.error);
  }
  system.set_setup_failures({});
  EXPECT_EQ(listed_paths().size(), 3u);
}

// The helpers every system inherits, over the stand-in's device tree: identifiers come back in
// lower case, and what is not there gives an empty answer or the instance unchanged.
TEST_F(ScriptedSystemTest, SetupApiHelpersWalkTheDeviceTree) {
  const std::string path = platform::to_utf8(short_reports.path);
  const std::string instance = "hid\\vid_3a7c&pid_b3f1&mi_02&col01\\7&2f0a02&0&0000";
  const std::string parent = "usb\\vid_3a7c&pid_b3f1&mi_02\\6&1c3e77&0&0002";
  EXPECT_EQ(system.setupdi_instance_from_path(path), instance);
  EXPECT_EQ(system.setupdi_instance_from_devnode(short_reports.devnode), instance);
  EXPECT_EQ(system.setupdi_parent(instance), parent);
  EXPECT_EQ(system.setupdi_parent(parent), "usb\\vid_3a7c&pid_b3f1\\5&2b0f&0&3");
  EXPECT_EQ(system.setupdi_path_from_instance(instance, &kHidInterfaceClass), path);

  // A root device has no parent.
  EXPECT_EQ(system.setupdi_parent("usb\\vid_3a7c&pid_b3f1\\5&2b0f&0&3"), "usb\\vid_3a7c&pid_b3f1\\5&2b0f&0&3");
  EXPECT_EQ(system.setupdi_parent("hid\\vid_ffff&pid_0001\\1"), "hid\\vid_ffff&pid_0001\\1");
  EXPECT_EQ(system.setupdi_instance_from_path("\\\\?\\hid#vid_ffff&pid_0001#1#{4d1e55b2-f16f-11cf-88cb-001111000030}"),
            "");
  EXPECT_EQ(system.setupdi_instance_from_devnode(4242), "");
  EXPECT_EQ(system.setupdi_path_from_instance(parent, &kHidInterfaceClass), "");
  EXPECT_EQ(system.open_info_lists(), 0);
}

TEST_F(ScriptedSystemTest, HidAnswersComeFromTheOpenedInterfaceAndPreparsedDataIsCounted) {
  HANDLE device =
      system.CreateFileW(long_reports.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  HIDD_ATTRIBUTES attributes{};
  ASSERT_TRUE(system.HidD_GetAttributes(device, &attributes));
  EXPECT_EQ(attributes.ProductID, maker::kKeyboardPid);
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  ASSERT_TRUE(system.HidD_GetPreparsedData(device, &preparsed));
  HIDP_CAPS caps{};
  EXPECT_EQ(system.HidP_GetCaps(preparsed, &caps), HIDP_STATUS_SUCCESS);
  EXPECT_EQ(caps.OutputReportByteLength, 20);
  HIDP_VALUE_CAPS value[2]{};
  USHORT count = 2;
  EXPECT_EQ(system.HidP_GetValueCaps(HidP_Output, value, &count, preparsed), HIDP_STATUS_SUCCESS);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(value[0].ReportID, 0x11);
  EXPECT_EQ(system.preparsed_outstanding(), 1);
  EXPECT_TRUE(system.HidD_FreePreparsedData(preparsed));
  EXPECT_FALSE(system.HidD_FreePreparsedData(preparsed));
  EXPECT_EQ(system.preparsed_outstanding(), 0);
  EXPECT_EQ(system.preparsed_freed(), 1);

  HidFailures failures;
  failures.attributes = ERROR_GEN_FAILURE;
  system.set_failures(long_reports.path, failures);
  EXPECT_FALSE(system.HidD_GetAttributes(device, &attributes));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  CloseHandle(device);

  failures.create_file = ERROR_ACCESS_DENIED;
  system.set_failures(long_reports.path, failures);
  EXPECT_EQ(system.CreateFileW(long_reports.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  system.remove_interface(long_reports.path);
  EXPECT_EQ(system.CreateFileW(long_reports.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Device notifications are Wine's own; they need a window, which Wine makes only with a display
// driver (the test prefix has the null one; a prefix without any skips here, and fails under CI).
TEST_F(ScriptedSystemTest, DeviceNotificationsGoToTheRealSystem) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.lpszClassName = L"VornScriptedSystemTest";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, window_class.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, nullptr, nullptr);
  if (!window) {
    if (const char* ci = std::getenv("CI"); ci && std::string(ci) == "true") FAIL() << "no window can be made (no display driver)";
    GTEST_SKIP() << "no window can be made here (no display driver)";
  }
  HANDLE device =
      system.CreateFileW(short_reports.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  DEV_BROADCAST_HANDLE filter{};
  filter.dbch_size = sizeof(filter);
  filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
  filter.dbch_handle = device;
  HDEVNOTIFY notification = system.RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(notification, nullptr) << GetLastError();
  const std::vector<NotificationCall> calls = system.notification_calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].device_type, static_cast<DWORD>(DBT_DEVTYP_HANDLE));
  EXPECT_EQ(calls[0].device, device);
  EXPECT_EQ(calls[0].result, notification);
  EXPECT_TRUE(UnregisterDeviceNotification(notification));
  CloseHandle(device);
  DestroyWindow(window);
}

}  // namespace
}  // namespace dovod::test
