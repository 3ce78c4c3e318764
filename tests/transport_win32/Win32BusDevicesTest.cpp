#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "Win32BusFakes.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

const std::wstring kKeyboardPath = L"\\\\?\\HID#VID_1234&PID_5678&MI_02#7&1&0000#{4D1E55B2}";
const std::string kKeyboard = "\\\\?\\hid#vid_1234&pid_5678&mi_02#7&1&0000#{4d1e55b2}";
const std::string kMouse = "\\\\?\\hid#vid_1234&pid_9999#7&2&0000#{4d1e55b2}";

class Win32BusDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_last_error();
    system_->interfaces = {{kKeyboardPath, 11}, {L"\\\\?\\HID#VID_1234&PID_9999#7&2&0000#{4D1E55B2}", 12}};
  }

  std::shared_ptr<TestBus> make_bus(bool with_manager) {
    auto bus = std::make_shared<TestBus>(with_manager ? manager_ : nullptr, system_);
    bus->init();
    return bus;
  }

  static std::vector<std::string> paths(const std::vector<std::shared_ptr<IHardwareDevice>>& devices) {
    std::vector<std::string> out;
    for (const auto& d : devices) out.push_back(d->path());
    return out;
  }

  std::shared_ptr<StandInSystem> system_ = std::make_shared<StandInSystem>();
  std::shared_ptr<RecordingManager> manager_ = std::make_shared<RecordingManager>();
  std::shared_ptr<TestBus> bus_ = make_bus(true);
  PlugLog log_;
};

TEST_F(Win32BusDevices, ListsTheInterfacesThatOpenAsLowerCasePathsAndClosesThem) {
  bus_->refused.insert(kMouse);
  auto devices = bus_->devices();
  EXPECT_EQ(paths(devices), std::vector<std::string>{kKeyboard});
  auto fake = std::dynamic_pointer_cast<FakeHardwareDevice>(devices.at(0));
  EXPECT_EQ(fake->opens, 1);
  EXPECT_EQ(fake->closes, 1);
  EXPECT_EQ(fake->bus(), bus_);
  EXPECT_EQ(system_->lists_made, 1);
  EXPECT_EQ(system_->lists_destroyed, 1);
}

TEST_F(Win32BusDevices, NothingFoundClearsLastError) {
  struct Case {
    const char* name;
    bool no_interfaces;
  };
  for (const Case c : {Case{"none opens", false}, Case{"no interfaces", true}}) {
    SCOPED_TRACE(c.name);
    if (c.no_interfaces) system_->interfaces.clear();
    bus_->refused = {kKeyboard, kMouse};
    set_last_error(ErrorCode::EnumerationFailed, 5);
    EXPECT_TRUE(bus_->devices().empty());
    EXPECT_EQ(to_int(last_error().code), 0);
  }
}

struct FailureCase {
  const char* name;
  StandInSystem::Fail fail;
  DWORD index;
  const char* message;
};

class Win32BusEnumerationFailure : public Win32BusDevices, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Win32BusEnumerationFailure, AnswersEmptyWith42AndTheSystemError) {
  const FailureCase& c = GetParam();
  system_->fail = c.fail;
  system_->fail_index = c.index;
  system_->fail_error = ERROR_ACCESS_DENIED;
  EXPECT_TRUE(bus_->devices().empty());
  EXPECT_EQ(to_int(last_error().code), 42);
  EXPECT_EQ(last_error().system_error, static_cast<unsigned long>(ERROR_ACCESS_DENIED));
  ASSERT_NE(last_error().message, nullptr);
  EXPECT_STREQ(last_error().message, c.message);
  EXPECT_EQ(system_->lists_destroyed, system_->lists_made) << "the list is destroyed on the way out";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Win32BusEnumerationFailure,
    ::testing::Values(
        FailureCase{"ClassDevs", StandInSystem::Fail::ClassDevs, 0, "SetupDiGetClassDevs failed"},
        FailureCase{"EnumFirst", StandInSystem::Fail::EnumInterfaces, 0, "SetupDiEnumDeviceInterfaces failed"},
        FailureCase{"EnumSecond", StandInSystem::Fail::EnumInterfaces, 1, "SetupDiEnumDeviceInterfaces failed"},
        FailureCase{"Probe", StandInSystem::Fail::DetailProbe, 0, "SetupDiGetDeviceInterfaceDetail probe failed"},
        FailureCase{"Detail", StandInSystem::Fail::Detail, 0, "SetupDiGetDeviceInterfaceDetail failed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Win32BusDevices, VerifyDeviceExistsAnnouncesAVanishedPathExactlyOnce) {
  ASSERT_TRUE(log_.subscribe(bus_, Direct));
  EXPECT_TRUE(bus_->verify_device_exists(kKeyboard));
  EXPECT_TRUE(log_.entries().empty());

  system_->interfaces.erase(system_->interfaces.begin());
  EXPECT_FALSE(bus_->verify_device_exists(kKeyboard));
  auto entries = log_.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, "unplug");
  EXPECT_EQ(entries[0].path, kKeyboard);
  EXPECT_EQ(entries[0].thread, GetCurrentThreadId()) << "announced on the asking thread";
}

TEST_F(Win32BusDevices, ADisconnectFoundByAReadIsOneUnplugOfAFreshObject) {
  ASSERT_TRUE(log_.subscribe(bus_, Direct));
  auto held = bus_->devices().at(0);
  bus_->read_failed_with_disconnect_error(held->path());
  auto entries = log_.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].kind, "unplug");
  EXPECT_EQ(entries[0].path, held->path());
}

class Win32BusThreadFailure : public Win32BusDevices, public ::testing::WithParamInterface<bool> {};

TEST_P(Win32BusThreadFailure, AnExceptionInTheWindowThreadIs62AndNothingWaitsForIt) {
  const bool with_manager = GetParam();
  auto bus = make_bus(with_manager);
  bus->thread_throws = true;
  EXPECT_FALSE(log_.subscribe(bus, Direct));
  EXPECT_EQ(to_int(last_error().code), 62);
  clear_last_error();
  EXPECT_TRUE(bus->devices().empty());
  EXPECT_EQ(to_int(last_error().code), 62) << "a failed start is no empty computer";
  EXPECT_EQ(bus->window_threads, 1) << "the failure is kept, not retried";
  EXPECT_TRUE(bus->finished());
  auto reports = manager_->reports();
  if (with_manager) {
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].where, "Win32Bus::window_thread_static");
    EXPECT_EQ(to_int(reports[0].code), 62);
  } else {
    EXPECT_TRUE(reports.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Manager, Win32BusThreadFailure, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WithManager" : "WithoutManager"; });

TEST_F(Win32BusDevices, AnInterfaceClassThatCannotBeFollowedIsReportedAndTheBusStillStarts) {
  system_->refuse_registration = ERROR_ACCESS_DENIED;
  EXPECT_TRUE(log_.subscribe(bus_, Direct));
  auto reports = manager_->reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].where, "Win32Bus::window_thread");
  EXPECT_EQ(to_int(reports[0].code), 63);
  EXPECT_EQ(bus_->devices().size(), 2u);
}

TEST_F(Win32BusDevices, ArrivalsOfABusWhoseManagerIsGoneAreNotAnnounced) {
  ASSERT_TRUE(log_.subscribe(bus_, Direct));
  HWND window = bus_->window();
  struct {
    DEV_BROADCAST_DEVICEINTERFACE_W header;
    wchar_t room[80];
  } record{};
  record.header.dbcc_size = sizeof(record);
  record.header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  record.header.dbcc_classguid = kHidClass;
  std::memcpy(record.header.dbcc_name, kKeyboardPath.c_str(), (kKeyboardPath.size() + 1) * sizeof(wchar_t));
  manager_.reset();
  SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&record));
  EXPECT_TRUE(log_.entries().empty());

  auto orphan = make_bus(false);
  ASSERT_TRUE(log_.subscribe(orphan, Direct));
  SendMessageW(orphan->window(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&record));
  EXPECT_EQ(log_.entries().size(), 1u) << "a bus made without a manager announces to its subscribers";
}

}  // namespace
}  // namespace dovod::testing
