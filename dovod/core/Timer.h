#pragma once
// The library's one-shot timer: each running countdown has a thread of its own that waits on a
// condition variable, so no operating-system timer service is needed.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "dovod/ITimer.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod {

class Timer : public ITimer, public Producer<ITimer::TimerEvent> {
 public:
  explicit Timer(int timer_id);
  ~Timer() override;
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // start, arm and stop are for the owner's thread only.
  bool arm(int ms) override;
  bool start(int ms) override;
  bool stop() override;

 private:
  void countdown(int ms);
  // Waits ms/2 or until stop is requested; true when stop was requested.
  bool wait_half(std::unique_lock<std::mutex>& lock, int ms);

  const int timer_id_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_requested_ = false;
  std::atomic<bool> halfway_{false};
};

}  // namespace dovod
