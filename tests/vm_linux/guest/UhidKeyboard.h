#pragma once
// Joins the simulated keyboard to a uhid device of the guest's kernel. A restart of the keyboard
// makes the node leave and a new one arrive, as a USB device that re-enumerates; that is done on a
// thread of this object's own, since destroying the uhid device waits for its reader, which may be
// handing a report to the keyboard at that moment, and since whoever drives the keyboard may be
// blocked in a command meanwhile.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "UhidDevice.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Subscriber.h"

namespace sim {
class SimHardwareBus;
}

namespace vorn::guest {

class UhidKeyboard : public dovod::Subscriber<dovod::IHardwareDevice::Read>,
                     public dovod::Subscriber<dovod::IHardwareDevice::Connect> {
 public:
  // The uhid device reports `descriptor`, which must carry the keyboard's long reports. On a restart
  // the new uhid device arrives `absence` after the old one left, as a real keyboard stays away from
  // the bus for a while when it re-enumerates.
  UhidKeyboard(std::shared_ptr<sim::SimHardwareBus> bus, dovod::Bytes descriptor,
               std::chrono::milliseconds absence = std::chrono::milliseconds(0));
  ~UhidKeyboard() override;

  // False when the keyboard cannot be opened or uhid refuses it.
  bool start();
  // How many times the uhid device has left and come back for a restart of the keyboard.
  int recreated();

  void onRead(dovod::Bytes report, bool, unsigned, unsigned) override;
  void onDisconnect(std::shared_ptr<dovod::IHardwareDevice>) override;
  void onConnect(std::shared_ptr<dovod::IHardwareDevice>) override;

 private:
  void follow_restarts();
  bool create();

  const std::shared_ptr<sim::SimHardwareBus> bus_;
  const dovod::Bytes descriptor_;
  const std::chrono::milliseconds absence_;
  std::shared_ptr<dovod::IHardwareDevice> keyboard_;
  UhidDevice uhid_;
  std::atomic<bool> up_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  int restarts_ = 0;
  int connects_ = 0;
  int recreated_ = 0;
  bool stopping_ = false;
  std::thread restarter_;
};

}  // namespace vorn::guest
