#pragma once
// Plays the host's part of the run loop: listens to the trigger with Direct delivery, on any thread,
// and delivers the queued events on the test's thread when the test pumps.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>

#include "dovod/IDeviceManager.h"
#include "dovod/Subscriber.h"

namespace dovod::testing {

class RunLoopHost : public Subscriber<IDeviceManager::RunLoopEvent> {
 public:
  // Subscribes to the facade's current device manager (making one). False when that failed.
  bool attach();

  void onRunLoopEvent() override;

  // Answers every trigger received so far, and those these calls produce; returns the number of
  // call_event_from_runloop calls made. At most max_calls, for producers that never stop.
  int pump(int max_calls = std::numeric_limits<int>::max());

  // Pumps, waiting for further triggers, until done() holds; false when `limit` passed first. The
  // limit only guards against a hang: tests never rely on it to pass.
  bool pump_until(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::milliseconds(10000));

  // Triggers received and not yet answered.
  int pending();

 private:
  std::mutex mutex_;
  std::condition_variable triggered_;
  int pending_ = 0;
};

}  // namespace dovod::testing
