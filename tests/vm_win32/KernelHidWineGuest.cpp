// Runs under Wine inside the kernel HID test's virtual machine, where the simulated keyboard is a
// uhid device that Wine's HID driver offers through SetupAPI. The library, with its unchanged
// Windows bus and devices, finds the keyboard, opens its collections and updates it across its
// three restarts, each one the device leaving and a new one arriving. Prints one result line that the
// native side passes on.
// Usage: kernel_hid_wine_guest.exe <seconds>, after which a hanging update is given up.

#include <windows.h>
// After windows.h, which they need. MinGW's HID header declares its functions without C linkage.
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "LibraryUpdater.h"
#include "RunLoopHost.h"
#include "core/LogTesting.h"
#include "dovod/CDovod.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

using namespace dovod;

namespace {

// Prints each HID interface as SetupAPI and the HID library show it, independently of the
// library's own binding, so that a failing run says whether the keyboard was there at all.
void explain_interfaces() {
  GUID hid_class;
  HidD_GetHidGuid(&hid_class);
  HDEVINFO list = SetupDiGetClassDevsW(&hid_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list == INVALID_HANDLE_VALUE) {
    std::printf("SetupDiGetClassDevs failed: %lu\n", GetLastError());
    return;
  }
  SP_DEVICE_INTERFACE_DATA interface_data{};
  interface_data.cbSize = sizeof(interface_data);
  for (DWORD index = 0; SetupDiEnumDeviceInterfaces(list, nullptr, &hid_class, index, &interface_data); ++index) {
    std::vector<char> buffer(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + 512);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(list, &interface_data, detail, static_cast<DWORD>(buffer.size()),
                                          nullptr, nullptr)) {
      continue;
    }
    std::printf("%s:", detail->DevicePath);
    HANDLE device = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
      std::printf(" open failed %lu\n", GetLastError());
      continue;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDP_CAPS caps{};
    if (HidD_GetAttributes(device, &attributes) && HidD_GetPreparsedData(device, &preparsed)) {
      HidP_GetCaps(preparsed, &caps);
      HidD_FreePreparsedData(preparsed);
    }
    std::printf(" vid %04x pid %04x usage page %04x usage %04x, input %u output %u\n", attributes.VendorID,
                attributes.ProductID, caps.UsagePage, caps.Usage, caps.InputReportByteLength,
                caps.OutputReportByteLength);
    CloseHandle(device);
  }
  SetupDiDestroyDeviceInfoList(list);
}

int fail(const std::string& why) {
  explain_interfaces();
  std::printf("VORN-WIN32-RESULT: fail (%s)\n", why.c_str());
  std::fflush(stdout);
  return 1;
}

int run(std::chrono::seconds limit) {
  testing::use_fast_device_timing();
  testing::LibraryUpdater updater;
  testing::RunLoopHost host;
  // Each step is printed when it is taken, so that the console shows how far a run that hangs got.
  std::size_t printed = 0;
  const auto print_milestones = [&] {
    for (; printed < updater.milestones().size(); ++printed) {
      std::printf("VORN-WIN32: %s\n", updater.milestones()[printed].c_str());
      std::fflush(stdout);
    }
  };
  const bool ended = updater.run_to_end(host, print_milestones, limit);
  print_milestones();
  if (!ended) return fail("the update did not end");
  if (!updater.succeeded()) return fail("the update failed");
  if (updater.milestones().back() != "application 5.1.17") return fail("the new firmware was not read back");
  if (updater.progress() != 183824) return fail("progress " + std::to_string(updater.progress()));
  // Each restart (into the bootloader, between the images, into the new firmware) must reach the
  // library as the collection leaving and a new one arriving.
  const auto removals = std::count(updater.milestones().begin(), updater.milestones().end(), "removal");
  if (removals != 3) return fail(std::to_string(removals) + " removals");
  std::printf("VORN-WIN32-RESULT: pass\n");
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <seconds>\n", argv[0]);
    return 2;
  }
  Vs2003SingletonThreadCleanup guard;
  const int result = run(std::chrono::seconds(std::atoi(argv[1])));
  CDovod::instance().reset();
  log_testing::stop();
  return result;
}
