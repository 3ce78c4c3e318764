#pragma once
// What the scheduler's thread sleeps on between tasks: woken by another thread or at a due time.
// The waits release the caller's lock while they sleep and take it again before they return; they
// may return early, so the caller checks its state again.

#include <chrono>
#include <memory>
#include <mutex>

namespace sim {

class Wakeup {
 public:
  using Clock = std::chrono::steady_clock;

  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  // Wakes the waiting thread, or the next wait when no thread waits yet.
  void notify();
  void wait(std::unique_lock<std::mutex>& lock);
  void wait_until(std::unique_lock<std::mutex>& lock, Clock::time_point due);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
