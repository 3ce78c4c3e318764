#pragma once
// The Windows HID bus: lists the computer's HID interfaces through SetupAPI and follows their
// arrival and removal through a hidden window on a thread of its own. HID devices hand it their
// handles, so that it can close a handle the moment Windows asks to remove the device.
//
// Threads: the device manager's thread creates it, lists devices and subscribes; the window thread
// runs every window message, every notification worker and produces the PlugUnplug events of
// device-change and power messages; devices' threads make notification requests and report
// disconnects. No lock is held while a message is sent to the window. Nothing throws out of it.

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Source/HidBusLink.h"
#include "Source/Windows/IWin32System.h"
#include "Source/Windows/Win32NotificationRequest.h"
#include "dovod/IBluetoothBus.h"
#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/IHardwareSecondaryBus.h"
#include "dovod/LastError.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

class IDeviceManager;

class Win32Bus : public IHardwareBus,
                 public Producer<IHardwareBus::PlugUnplug>,
                 public IHidBusLink,
                 public std::enable_shared_from_this<Win32Bus> {
 public:
  static constexpr const wchar_t* kWindowClass = L"Corv_Dovod_MainWindow";
  static constexpr UINT kRequestTimeoutMs = 5000;

  // `manager` may be empty: the bus then reports its window thread's failure to nobody.
  explicit Win32Bus(const std::shared_ptr<IDeviceManager>& manager);
  // Closes the window, joins its thread; the thread's ending closes every handle still tracked.
  ~Win32Bus() override;
  Win32Bus(const Win32Bus&) = delete;
  Win32Bus& operator=(const Win32Bus&) = delete;

  // Called once by the creator, right after construction. Starts nothing.
  void init();

  // Starts the window thread once and answers its window and the system object (either may be
  // null). Throws DovodException with the window thread's error when the thread could not start,
  // or the system's binding error; the same error again on every later call.
  void lazyStart(HWND* window_out, std::shared_ptr<IWin32System>* system_out);

  // The maker's HID collections present now, each opened once and closed. Empty with
  // `ErrorCode::EnumerationFailed` (42) (or the start-up's code) on failure, empty with LastError
  // cleared when there are none.
  std::vector<std::shared_ptr<IHardwareDevice>> devices() override;
  std::vector<std::shared_ptr<IBluetoothBus>> bluetooth_busses() override { return bluetooth_busses_; }
  std::vector<std::shared_ptr<IHardwareSecondaryBus>> secondary_busses() override { return secondary_busses_; }
  bool wants_combiner() override { return true; }

  // Notification requests, carried out on the window thread; any thread, blocks for at most
  // kRequestTimeoutMs. Before the window exists a registration fails with `ErrorCode::NotAvailable`
  // (72) at once. A failed registration answers null with the window thread's code:
  // `ErrorCode::InterfaceNotificationFailed` (63) or `ErrorCode::NotificationRegistrationFailed` (6).
  HDEVNOTIFY registerInterfaceNotification(const GUID& interface_class);
  void unregisterInterfaceNotification(HDEVNOTIFY notification);
  // From a successful call on, the bus owns `device`: it closes it when Windows announces the
  // device's removal, and the device must not close it while the registration lasts.
  HDEVNOTIFY registerDeviceNotificationAndTakeOwnershipOfHandle(HANDLE device);
  // Closes `device` unless the bus closed it already, then unregisters the notification.
  void unregisterDeviceNotificationAndCloseTrackedHandle(HDEVNOTIFY notification, HANDLE device);
  // True when the bus still holds exactly `device` open for `notification`. Any thread.
  bool verifyDeviceNotificationHandleOpen(HDEVNOTIFY notification, HANDLE device);
  // Runs `call` while the bus still holds exactly `device` open for `notification`, so that the
  // handle cannot be closed (and its value reused) during it; false, without running it, when the
  // bus closed the handle. `call` must not block: it starts an overlapped request or cancels one.
  bool with_tracked_handle(HDEVNOTIFY notification, HANDLE device, const std::function<void()>& call);

  // Lists the devices again; a path no longer among them is announced with onUnplug on this thread.
  bool verify_device_exists(const std::string& path) override;
  // Announces the removal of `path`, found by a device's read thread.
  void read_failed_with_disconnect_error(const std::string& path);

  std::shared_ptr<IHardwareBus> hardware_bus() override { return shared_from_this(); }
  // Windows keeps no arrival count: every report produces onUnplug, as the removal notices do.
  void read_failed_with_disconnect_error(const std::string& path, std::uint64_t) override {
    read_failed_with_disconnect_error(path);
  }

  // Whether the window thread has ended.
  bool finished() const { return finished_; }

 protected:
  // The system object, made once by lazyStart.
  virtual std::shared_ptr<IWin32System> makeWin32System();
  // A fresh, unopened device object for a HID interface path; `devnode` is 0 when the path came
  // from a notification.
  virtual std::shared_ptr<IHardwareDevice> make_device(const std::string& path, DEVINST devnode);
  // The body of the window thread.
  virtual void window_thread();
  // The first subscription starts the window thread; refused with the start-up's error.
  bool on_subscribe(Subscriber<IHardwareBus::PlugUnplug>* s) override;

  // The Bluetooth and secondary buses that share this bus's window and hear its device changes.
  // Added by init only, before anything starts.
  void add_bluetooth_bus(std::shared_ptr<IBluetoothBus> bus) { bluetooth_busses_.push_back(std::move(bus)); }
  void add_secondary_bus(std::shared_ptr<IHardwareSecondaryBus> bus) { secondary_busses_.push_back(std::move(bus)); }

  const std::shared_ptr<IWin32System>& system() const { return system_; }

 private:
  // How far the window thread got.
  enum class StartState { NotStarted, Started, Failed };

  static void window_thread_static(Win32Bus* bus);
  static LRESULT CALLBACK WindowProcStatic(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  HWND create_window(HWND parent);
  void window_thread_has_started(StartState state, const LastError& error);
  void report_to_manager(const char* where);
  void run_message_loop();
  void release_everything_on_window_thread();

  void carry_out(NotificationRequest* request);
  // Sends a request to the window; false when there is no window or it did not answer.
  bool send_request(NotificationRequest* request, const char* what);
  HDEVNOTIFY registerInterfaceNotification_worker(const GUID& interface_class);
  void unregisterInterfaceNotification_worker(HDEVNOTIFY notification);
  HDEVNOTIFY registerDeviceNotificationAndTakeOwnershipOfHandle_worker(HANDLE device);
  void unregisterDeviceNotificationAndCloseTrackedHandle_worker(HDEVNOTIFY notification, HANDLE device);
  void closeTrackedHandle(HDEVNOTIFY notification, HANDLE device);
  // Closes `device` and marks it closed; the tracked-handles mutex is held.
  void close_tracked_locked(HDEVNOTIFY notification, HANDLE device, HANDLE tracked);

  void processDeviceChange(WPARAM event, LPARAM data);
  void device_arrived(const DEV_BROADCAST_HDR* header);
  void device_left(const DEV_BROADCAST_HDR* header);
  void forward_to_other_busses(unsigned event, const DEV_BROADCAST_HDR* header);
  // The interface path of a HID-class interface header; empty for any other class.
  std::string hid_interface_path(const DEV_BROADCAST_HDR* header) const;
  // False when the bus was made for a device manager that is gone, so events would reach no one.
  bool manager_alive() const;

  void EnumerateInterfaces(const GUID& interface_class, std::vector<std::shared_ptr<IHardwareDevice>>& out);

  const std::weak_ptr<IDeviceManager> manager_;
  const bool has_manager_;

  std::atomic<HWND> window_{nullptr};
  std::thread thread_;
  std::atomic<DWORD> thread_id_{0};
  std::mutex started_mutex_;
  std::condition_variable started_cv_;
  StartState start_state_ = StartState::NotStarted;
  LastError thread_error_;
  std::mutex lazy_start_mutex_;
  bool start_done_ = false;

  std::shared_ptr<IWin32System> system_;
  GUID hid_class_{};
  std::atomic<bool> finished_{false};

  std::vector<std::shared_ptr<IBluetoothBus>> bluetooth_busses_;
  std::vector<std::shared_ptr<IHardwareSecondaryBus>> secondary_busses_;

  std::mutex tracked_mutex_;
  // Notification -> the device handle it watches; INVALID_HANDLE_VALUE once the bus closed it.
  std::map<HDEVNOTIFY, HANDLE> tracked_handles_;
  // Interface-class registrations of the window; window thread only.
  std::set<HDEVNOTIFY> interface_notifications_;
};

}  // namespace dovod
