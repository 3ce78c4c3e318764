#include "Source/Windows/Win32System.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "Source/Windows/DovodException.h"

namespace dovod::test {
namespace {

constexpr GUID kHidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The system bound to libraries of a test's choosing.
class BoundSystem : public Win32System {
 public:
  explicit BoundSystem(const LibraryFiles& files) : Win32System(files) {}
  using Win32System::LibraryFiles;
};

using Files = BoundSystem::LibraryFiles;
const Files kRealFiles{L"hid.dll", L"setupapi.dll", L"cfgmgr32.dll", L"bthprops.cpl", L"BluetoothApis.dll"};
constexpr const wchar_t* kAbsent = L"vorn-no-such-library.dll";
// A library that loads everywhere and has none of the bound functions.
constexpr const wchar_t* kWithoutThem = L"kernel32.dll";

// Runs `call` and answers the DovodException it threw; fails the test when it threw none.
DovodException thrown_by(const std::function<void()>& call) {
  try {
    call();
  } catch (const DovodException& e) {
    return e;
  }
  ADD_FAILURE() << "no DovodException";
  return DovodException("none", ErrorCode::None, 0);
}

struct BindingCase {
  const char* name;
  Files files;
  std::function<void(IWin32System&)> call;
  const char* message;
  unsigned long system_error;
};

TEST(Win32System, AMissingLibraryOrFunctionFailsOnlyTheCallThatNeedsIt) {
  const BindingCase cases[] = {
      {"hid absent",
       {kAbsent, L"setupapi.dll", L"cfgmgr32.dll", L"bthprops.cpl", L"BluetoothApis.dll"},
       [](IWin32System& s) {
         HIDD_ATTRIBUTES a{};
         s.HidD_GetAttributes(nullptr, &a);
       },
       "LoadLibrary hid.dll failed",
       ERROR_MOD_NOT_FOUND},
      {"setupapi absent",
       {L"hid.dll", kAbsent, L"cfgmgr32.dll", L"bthprops.cpl", L"BluetoothApis.dll"},
       [](IWin32System& s) { s.SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE); },
       "LoadLibrary setupapi.dll failed",
       ERROR_MOD_NOT_FOUND},
      {"cfgmgr32 absent",
       {L"hid.dll", L"setupapi.dll", kAbsent, L"bthprops.cpl", L"BluetoothApis.dll"},
       [](IWin32System& s) { s.cfgmgr32(); },
       "LoadLibrary cfgmgr32.dll failed",
       ERROR_MOD_NOT_FOUND},
      {"bthprops absent",
       {L"hid.dll", L"setupapi.dll", L"cfgmgr32.dll", kAbsent, L"BluetoothApis.dll"},
       [](IWin32System& s) { s.BluetoothGetDeviceInfo(nullptr, nullptr); },
       "LoadLibrary bthprops.cpl failed",
       ERROR_MOD_NOT_FOUND},
      {"BluetoothApis absent",
       {L"hid.dll", L"setupapi.dll", L"cfgmgr32.dll", L"bthprops.cpl", kAbsent},
       [](IWin32System& s) { s.BluetoothGATTUnregisterEvent(nullptr, 0); },
       "LoadLibrary BluetoothApis.dll failed",
       ERROR_MOD_NOT_FOUND},
      {"HidP function missing",
       {kWithoutThem, L"setupapi.dll", L"cfgmgr32.dll", L"bthprops.cpl", L"BluetoothApis.dll"},
       [](IWin32System& s) {
         HIDP_CAPS c{};
         s.HidP_GetCaps(nullptr, &c);
       },
       "HidP_GetCaps ProcAddress Missing",
       ERROR_PROC_NOT_FOUND},
      {"SetupDi function missing",
       {L"hid.dll", kWithoutThem, L"cfgmgr32.dll", L"bthprops.cpl", L"BluetoothApis.dll"},
       [](IWin32System& s) { s.SetupDiGetClassDevsW(&kHidClass, nullptr, nullptr, DIGCF_PRESENT); },
       "SetupDiGetClassDevsW ProcAddress Missing",
       ERROR_PROC_NOT_FOUND},
      {"CM_Get_Parent missing",
       {L"hid.dll", L"setupapi.dll", kWithoutThem, L"bthprops.cpl", L"BluetoothApis.dll"},
       [](IWin32System& s) {
         DEVINST p = 0;
         s.CM_Get_Parent(&p, 0, 0);
       },
       "CM_Get_Parent ProcAddress Missing",
       ERROR_PROC_NOT_FOUND},
      // This one message names the function without its W.
      {"CM_Get_Device_IDW missing",
       {L"hid.dll", L"setupapi.dll", kWithoutThem, L"bthprops.cpl", L"BluetoothApis.dll"},
       [](IWin32System& s) {
         wchar_t b[8];
         s.CM_Get_Device_IDW(0, b, 8, 0);
       },
       "CM_Get_Device_ID ProcAddress Missing",
       ERROR_PROC_NOT_FOUND},
      {"Bluetooth function missing",
       {L"hid.dll", L"setupapi.dll", L"cfgmgr32.dll", kWithoutThem, L"BluetoothApis.dll"},
       [](IWin32System& s) { s.BluetoothGetDeviceInfo(nullptr, nullptr); },
       "BluetoothGetDeviceInfo ProcAddress Missing",
       ERROR_PROC_NOT_FOUND},
      {"GATT function missing",
       {L"hid.dll", L"setupapi.dll", L"cfgmgr32.dll", L"bthprops.cpl", kWithoutThem},
       [](IWin32System& s) { s.BluetoothGATTGetServices(nullptr, 0, nullptr, nullptr, 0); },
       "BluetoothGATTGetServices ProcAddress Missing",
       ERROR_PROC_NOT_FOUND},
  };
  for (const BindingCase& c : cases) {
    SCOPED_TRACE(c.name);
    BoundSystem system(c.files);
    const DovodException e = thrown_by([&] { c.call(system); });
    EXPECT_EQ(e.code(), ErrorCode::SystemFunctionMissing);
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_EQ(e.system_error(), c.system_error);
    // The other libraries are untouched by the failure: the HID class still comes from hid.dll
    // wherever hid.dll is the real one.
    if (std::wcscmp(c.files.hid, L"hid.dll") == 0) {
      GUID guid{};
      system.HidD_GetHidGuid(&guid);
      EXPECT_TRUE(IsEqualGUID(guid, kHidClass));
    }
  }
}

TEST(Win32System, ALibraryThatDidNotLoadIsTriedAgainOnTheNextCall) {
  wchar_t folder[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring late = std::wstring(folder) + L"vorn-late-hid-" + std::to_wstring(GetCurrentProcessId()) + L".dll";
  DeleteFileW(late.c_str());
  wchar_t system_folder[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system_folder, MAX_PATH), 0u);
  const std::wstring real = std::wstring(system_folder) + L"\\hid.dll";

  BoundSystem system({late.c_str(), L"setupapi.dll", L"cfgmgr32.dll", L"bthprops.cpl", L"BluetoothApis.dll"});
  GUID guid{};
  const DovodException e = thrown_by([&] { system.HidD_GetHidGuid(&guid); });
  EXPECT_STREQ(e.what(), "LoadLibrary hid.dll failed");

  ASSERT_TRUE(CopyFileW(real.c_str(), late.c_str(), FALSE)) << GetLastError();
  system.HidD_GetHidGuid(&guid);
  EXPECT_TRUE(IsEqualGUID(guid, kHidClass));
}

TEST(Win32System, TheRunningSystemAnswersTheHidClass) {
  const std::shared_ptr<IWin32System> system = make_win32_system();
  GUID guid{};
  system->HidD_GetHidGuid(&guid);
  EXPECT_TRUE(IsEqualGUID(guid, kHidClass));
  EXPECT_NE(system->cfgmgr32(), nullptr);
}

// Wine's SetupAPI knows no HID device, so these are the answers for what is not there.
TEST(Win32System, SetupApiHelpersAnswerEmptyOrUnchangedForWhatIsNotThere) {
  const std::shared_ptr<IWin32System> system = make_win32_system();
  EXPECT_EQ(system->setupdi_parent(""), "");
  EXPECT_EQ(system->setupdi_parent("hid\\vid_3a7c&pid_b3f1\\7&1a2b3c&0&0000"),
            "hid\\vid_3a7c&pid_b3f1\\7&1a2b3c&0&0000");
  EXPECT_EQ(system->setupdi_instance_from_path(""), "");
  EXPECT_EQ(system->setupdi_instance_from_path(
                "\\\\?\\hid#vid_3a7c&pid_b3f1&mi_02#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}"),
            "");
  EXPECT_EQ(system->setupdi_path_from_instance("", &kHidClass), "");
  EXPECT_EQ(system->setupdi_path_from_instance("hid\\vid_3a7c&pid_b3f1\\7&1a2b3c&0&0000", &kHidClass), "");
  EXPECT_EQ(system->setupdi_instance_from_devnode(0x7fff1234), "");
}

}  // namespace
}  // namespace dovod::test
