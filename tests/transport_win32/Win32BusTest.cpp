#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <thread>

#include "Win32BusFakes.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

constexpr const char* kKeyboard = "\\\\?\\hid#vid_1234&pid_5678#7&1&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

bool handle_open(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != 0;
}

// A device-change record with room for a name, as Windows sends it.
struct InterfaceRecord {
  explicit InterfaceRecord(const GUID& interface_class, const wchar_t* name) {
    header.dbcc_size = sizeof(InterfaceRecord);
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = interface_class;
    wcsncpy(header.dbcc_name, name, 200);
  }
  DEV_BROADCAST_DEVICEINTERFACE_W header{};
  wchar_t room[200]{};
};

class Win32BusTest : public ::testing::Test {
 protected:
  void SetUp() override { clear_last_error(); }

  std::shared_ptr<TestBus> make_bus(bool with_manager = true) {
    auto bus = std::make_shared<TestBus>(with_manager ? manager_ : nullptr, system_);
    bus->init();
    return bus;
  }

  std::shared_ptr<StandInSystem> system_ = std::make_shared<StandInSystem>();
  std::shared_ptr<RecordingManager> manager_ = std::make_shared<RecordingManager>();
  PlugLog log_;
};

TEST_F(Win32BusTest, StartsOneWindowThreadWhateverAsksFirstAndHowOften) {
  auto bus = make_bus();
  EXPECT_TRUE(bus->wants_combiner());
  EXPECT_TRUE(bus->bluetooth_busses().empty());
  EXPECT_TRUE(bus->secondary_busses().empty());
  EXPECT_EQ(bus->window_threads, 0) << "nothing starts before it is needed";

  ASSERT_TRUE(log_.subscribe(bus, Direct)) << to_int(last_error().code) << " " << last_error().system_error;
  HWND window = bus->window();
  EXPECT_TRUE(bus->devices().empty());
  PlugLog second;
  ASSERT_TRUE(second.subscribe(bus, Direct));
  EXPECT_EQ(bus->window(), window);

  EXPECT_EQ(bus->window_threads, 1);
  EXPECT_EQ(bus->systems_made, 1);
  ASSERT_NE(window, nullptr);
  wchar_t class_name[64] = {};
  GetClassNameW(window, class_name, 64);
  EXPECT_STREQ(class_name, L"Corv_Dovod_MainWindow");
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
  EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
}

TEST_F(Win32BusTest, TwoBusesOfOneProcessEachGetAWindow) {
  auto first = make_bus();
  auto second = make_bus();
  HWND a = first->window();
  HWND b = second->window();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  log_.subscribe(second, Direct);
  SendMessageW(b, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  EXPECT_EQ(log_.entries().size(), 1u) << "the second window reaches its own bus";
}

struct DeviceChangeCase {
  const char* name;
  WPARAM event;
  enum Header { HidInterface, OtherInterface, Volume, None } header;
  const char* produced;  // "plug", "unplug" or "" for nothing
};

class Win32BusDeviceChange : public Win32BusTest, public ::testing::WithParamInterface<DeviceChangeCase> {};

TEST_P(Win32BusDeviceChange, ProducesByEventAndHeaderAndForwardsEverything) {
  const DeviceChangeCase& c = GetParam();
  auto bus = make_bus();
  auto bluetooth = std::make_shared<ForwardLog>();
  auto secondary = std::make_shared<ForwardLog>();
  // A failing bus beside it must not keep the next one from hearing the message.
  bluetooth->throws = true;
  bus->add_bluetooth_bus(bluetooth);
  bus->add_secondary_bus(secondary);
  ASSERT_TRUE(log_.subscribe(bus, Direct)) << to_int(last_error().code) << " " << last_error().system_error;

  InterfaceRecord hid(kHidClass, L"\\\\?\\HID#VID_1234&PID_5678#7&1&0000#{4D1E55B2-F16F-11CF-88CB-001111000030}");
  InterfaceRecord other(kOtherClass, L"\\\\?\\USB#VID_1234&PID_5678#1");
  DEV_BROADCAST_VOLUME volume{};
  volume.dbcv_size = sizeof(volume);
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  void* records[] = {&hid, &other, &volume, nullptr};
  void* record = records[c.header];
  EXPECT_EQ(SendMessageW(bus->window(), WM_DEVICECHANGE, c.event, reinterpret_cast<LPARAM>(record)), 0);

  auto entries = log_.entries();
  if (*c.produced) {
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, c.produced);
    EXPECT_EQ(entries[0].path, kKeyboard) << "the path is lower-cased UTF-8";
    EXPECT_EQ(entries[0].thread, GetWindowThreadProcessId(bus->window(), nullptr));
  } else {
    EXPECT_TRUE(entries.empty());
  }
  const DWORD type = record ? static_cast<DEV_BROADCAST_HDR*>(record)->dbch_devicetype : 0xFFFFFFFFu;
  const std::vector<std::pair<unsigned, DWORD>> expected{{static_cast<unsigned>(c.event), type}};
  EXPECT_EQ(bluetooth->seen(), expected);
  EXPECT_EQ(secondary->seen(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Win32BusDeviceChange,
    ::testing::Values(
        DeviceChangeCase{"ArrivalHid", DBT_DEVICEARRIVAL, DeviceChangeCase::HidInterface, "plug"},
        DeviceChangeCase{"QueryRemoveFailedHid", DBT_DEVICEQUERYREMOVEFAILED, DeviceChangeCase::HidInterface, "plug"},
        DeviceChangeCase{"QueryRemoveHid", DBT_DEVICEQUERYREMOVE, DeviceChangeCase::HidInterface, "unplug"},
        DeviceChangeCase{"RemovePendingHid", DBT_DEVICEREMOVEPENDING, DeviceChangeCase::HidInterface, "unplug"},
        DeviceChangeCase{"RemoveCompleteHid", DBT_DEVICEREMOVECOMPLETE, DeviceChangeCase::HidInterface, "unplug"},
        DeviceChangeCase{"ArrivalOtherClass", DBT_DEVICEARRIVAL, DeviceChangeCase::OtherInterface, ""},
        DeviceChangeCase{"RemoveOtherClass", DBT_DEVICEREMOVECOMPLETE, DeviceChangeCase::OtherInterface, ""},
        DeviceChangeCase{"ArrivalVolume", DBT_DEVICEARRIVAL, DeviceChangeCase::Volume, ""},
        DeviceChangeCase{"RemoveVolume", DBT_DEVICEREMOVECOMPLETE, DeviceChangeCase::Volume, ""},
        DeviceChangeCase{"ArrivalWithoutHeader", DBT_DEVICEARRIVAL, DeviceChangeCase::None, ""},
        DeviceChangeCase{"OtherEventHid", DBT_DEVNODES_CHANGED, DeviceChangeCase::HidInterface, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Win32BusTest, ANameThatFillsItsRecordIsReadNoFurther) {
  auto bus = make_bus();
  ASSERT_TRUE(log_.subscribe(bus, Direct)) << to_int(last_error().code) << " " << last_error().system_error;
  // The sender's record ends right after "AB", with no terminating zero.
  InterfaceRecord hid(kHidClass, L"ABCDEFGH");
  hid.header.dbcc_size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + 2 * sizeof(wchar_t);
  SendMessageW(bus->window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&hid));
  auto entries = log_.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].path, "ab");
}

TEST_F(Win32BusTest, PowerResumeProducesOnPowerChangeAndSuspendNothing) {
  auto bus = make_bus();
  ASSERT_TRUE(log_.subscribe(bus, Direct)) << to_int(last_error().code) << " " << last_error().system_error;
  for (WPARAM event : {WPARAM{PBT_APMSUSPEND}, WPARAM{PBT_APMRESUMEAUTOMATIC}, WPARAM{PBT_APMRESUMESUSPEND}}) {
    EXPECT_EQ(SendMessageW(bus->window(), WM_POWERBROADCAST, event, 0), 0);
  }
  auto entries = log_.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, "power");
  EXPECT_EQ(entries[0].path, "resume");
}

TEST_F(Win32BusTest, AStrayWmUserIsIgnored) {
  auto bus = make_bus();
  NotificationRequest request{};
  request.size = 44 + 1;
  request.device = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(SendMessageW(bus->window(), WM_USER, kNotificationRequestSize, reinterpret_cast<LPARAM>(&request)), 0);
  EXPECT_EQ(SendMessageW(bus->window(), WM_USER, 7, 0), 0);
  EXPECT_EQ(request.notification, nullptr);
  CloseHandle(request.device);
}

TEST_F(Win32BusTest, RequestsBeforeTheWindowExistsFailAtOnceWith72) {
  auto bus = make_bus();
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(bus->registerDeviceNotificationAndTakeOwnershipOfHandle(event), nullptr);
  EXPECT_EQ(to_int(last_error().code), 72);
  clear_last_error();
  EXPECT_EQ(bus->registerInterfaceNotification(kHidClass), nullptr);
  EXPECT_EQ(to_int(last_error().code), 72);
  clear_last_error();
  bus->unregisterDeviceNotificationAndCloseTrackedHandle(reinterpret_cast<HDEVNOTIFY>(1), event);
  EXPECT_EQ(to_int(last_error().code), 0) << "an unregistration without a window does nothing";
  EXPECT_TRUE(handle_open(event));
  EXPECT_EQ(bus->window_threads, 0);
  CloseHandle(event);
}

}  // namespace
}  // namespace dovod::testing
