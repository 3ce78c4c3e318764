#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <cstring>
#include <thread>

#include "Win32BusFakes.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

bool handle_open(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != 0;
}

HANDLE new_event() { return CreateEventW(nullptr, FALSE, FALSE, nullptr); }

class Win32BusHandles : public ::testing::Test {
 protected:
  void SetUp() override {
    clear_last_error();
    bus_->init();
    window_ = bus_->window();
    ASSERT_NE(window_, nullptr);
  }

  // Registers from a thread other than the window's, as a device's thread does.
  HDEVNOTIFY register_elsewhere(HANDLE device) {
    HDEVNOTIFY notification = nullptr;
    std::thread([&] { notification = bus_->registerDeviceNotificationAndTakeOwnershipOfHandle(device); }).join();
    return notification;
  }

  void send_handle_removal(WPARAM event, HDEVNOTIFY notification, HANDLE device) {
    DEV_BROADCAST_HANDLE header{};
    header.dbch_size = sizeof(header);
    header.dbch_devicetype = DBT_DEVTYP_HANDLE;
    header.dbch_handle = device;
    header.dbch_hdevnotify = notification;
    SendMessageW(window_, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&header));
  }

  std::shared_ptr<StandInSystem> system_ = std::make_shared<StandInSystem>();
  std::shared_ptr<RecordingManager> manager_ = std::make_shared<RecordingManager>();
  std::shared_ptr<TestBus> bus_ = std::make_shared<TestBus>(manager_, system_);
  HWND window_ = nullptr;
};

TEST_F(Win32BusHandles, RegistrationFromAnotherThreadIsMadeOnTheWindowThread) {
  HANDLE device = new_event();
  HDEVNOTIFY notification = register_elsewhere(device);
  {
    std::lock_guard<std::mutex> lock(system_->mutex);
    const auto answer = system_->wine_answers[DBT_DEVTYP_HANDLE];
    RecordProperty("handle_filter_accepted", answer.first ? "yes" : "no");
  }
  ASSERT_NE(notification, nullptr) << "system error " << last_error().system_error;
  EXPECT_EQ(system_->registering_thread, GetWindowThreadProcessId(window_, nullptr));
  EXPECT_TRUE(bus_->verifyDeviceNotificationHandleOpen(notification, device));
  HANDLE other = new_event();
  EXPECT_FALSE(bus_->verifyDeviceNotificationHandleOpen(notification, other));

  std::thread([&] { bus_->unregisterDeviceNotificationAndCloseTrackedHandle(notification, device); }).join();
  EXPECT_FALSE(handle_open(device));
  EXPECT_FALSE(bus_->verifyDeviceNotificationHandleOpen(notification, device));
  EXPECT_TRUE(handle_open(other));
  CloseHandle(other);
}

TEST_F(Win32BusHandles, InterfaceRegistrationFromAnotherThread) {
  HDEVNOTIFY notification = nullptr;
  std::thread([&] { notification = bus_->registerInterfaceNotification(kOtherClass); }).join();
  ASSERT_NE(notification, nullptr);
  EXPECT_EQ(system_->registering_thread, GetWindowThreadProcessId(window_, nullptr));
  bus_->unregisterInterfaceNotification(notification);
  // A second unregistration finds nothing to do: Wine would fault on a handle it no longer knows.
  bus_->unregisterInterfaceNotification(notification);
}

struct RefusedCase {
  const char* name;
  bool interface_kind;
  int code;
  const char* message;
};

class Win32BusRefused : public Win32BusHandles, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Win32BusRefused, CarriesTheWindowThreadsErrorBack) {
  system_->refuse_registration = ERROR_ACCESS_DENIED;
  HANDLE device = new_event();
  HDEVNOTIFY notification = nullptr;
  LastError seen;
  std::thread([&] {
    notification = GetParam().interface_kind ? bus_->registerInterfaceNotification(kOtherClass)
                                             : bus_->registerDeviceNotificationAndTakeOwnershipOfHandle(device);
    seen = last_error();
  }).join();
  EXPECT_EQ(notification, nullptr);
  EXPECT_EQ(to_int(seen.code), GetParam().code);
  EXPECT_EQ(seen.system_error, static_cast<unsigned long>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(handle_open(device)) << "a refused handle stays the caller's";
  CloseHandle(device);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Win32BusRefused,
                         ::testing::Values(RefusedCase{"Handle", false, 6, "RegisterDeviceNotification"},
                                           RefusedCase{"Interface", true, 63, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

class Win32BusHandleRemoval : public Win32BusHandles, public ::testing::WithParamInterface<WPARAM> {};

TEST_P(Win32BusHandleRemoval, ClosesTheHandleOnceAndUnregistersWithoutClosingAgain) {
  HANDLE device = new_event();
  HDEVNOTIFY notification = register_elsewhere(device);
  ASSERT_NE(notification, nullptr);

  send_handle_removal(GetParam(), notification, device);
  EXPECT_FALSE(handle_open(device)) << "closed at once, so that Windows may remove the device";
  EXPECT_FALSE(bus_->verifyDeviceNotificationHandleOpen(notification, device));

  // The freed value may come back for a new object of the process, which nothing may close.
  HANDLE reused = new_event();
  send_handle_removal(DBT_DEVICEREMOVECOMPLETE, notification, device);
  EXPECT_TRUE(handle_open(reused)) << "a second notice only finds the handle already closed";
  bus_->unregisterDeviceNotificationAndCloseTrackedHandle(notification, device);
  EXPECT_TRUE(handle_open(reused)) << "unregistering a closed handle erases it without closing";
  CloseHandle(reused);
}

INSTANTIATE_TEST_SUITE_P(Events, Win32BusHandleRemoval,
                         ::testing::Values(WPARAM{DBT_DEVICEQUERYREMOVE}, WPARAM{DBT_DEVICEREMOVEPENDING},
                                           WPARAM{DBT_DEVICEREMOVECOMPLETE}));

TEST_F(Win32BusHandles, AnUnknownNotificationClosesNothing) {
  HANDLE device = new_event();
  HDEVNOTIFY notification = register_elsewhere(device);
  ASSERT_NE(notification, nullptr);
  HANDLE stranger = new_event();
  // A notice naming a notification the bus never made, and an unregistration of one.
  send_handle_removal(DBT_DEVICEQUERYREMOVE, reinterpret_cast<HDEVNOTIFY>(0x77), stranger);
  bus_->unregisterDeviceNotificationAndCloseTrackedHandle(reinterpret_cast<HDEVNOTIFY>(0x77), stranger);
  EXPECT_TRUE(handle_open(stranger));
  // A notice whose handle differs from the tracked one closes the tracked handle, never the other.
  send_handle_removal(DBT_DEVICEQUERYREMOVE, notification, stranger);
  EXPECT_TRUE(handle_open(stranger));
  EXPECT_FALSE(handle_open(device));
  CloseHandle(stranger);
  bus_->unregisterDeviceNotificationAndCloseTrackedHandle(notification, device);
}

TEST_F(Win32BusHandles, DestructionClosesEveryTrackedHandle) {
  HANDLE kept = new_event();
  HANDLE removed = new_event();
  HDEVNOTIFY kept_notification = register_elsewhere(kept);
  HDEVNOTIFY removed_notification = register_elsewhere(removed);
  ASSERT_NE(kept_notification, nullptr);
  ASSERT_NE(removed_notification, nullptr);
  send_handle_removal(DBT_DEVICEQUERYREMOVE, removed_notification, removed);
  HANDLE reused = new_event();

  bus_.reset();
  EXPECT_FALSE(handle_open(kept));
  EXPECT_TRUE(handle_open(reused)) << "a handle closed before is not closed again";
  EXPECT_FALSE(IsWindow(window_));
  CloseHandle(reused);
}

TEST_F(Win32BusHandles, ARequestToAWindowThatIsGoneFailsAtOnce) {
  // The window goes away as it does when the bus is being destroyed.
  SendMessageW(window_, WM_CLOSE, 0, 0);
  ASSERT_FALSE(IsWindow(window_));
  HANDLE device = new_event();
  set_last_error(ErrorCode::NoResponse, 9);
  EXPECT_EQ(bus_->registerDeviceNotificationAndTakeOwnershipOfHandle(device), nullptr);
  // Whether the thread has let go of the window yet decides which: known gone (72), or the send
  // failed and LastError stays as it was.
  const LastError seen = last_error();
  EXPECT_TRUE(to_int(seen.code) == 72 || (to_int(seen.code) == 4 && seen.system_error == 9u))
      << to_int(seen.code) << " " << seen.system_error;
  EXPECT_TRUE(handle_open(device));
  CloseHandle(device);
}

}  // namespace
}  // namespace dovod::testing
