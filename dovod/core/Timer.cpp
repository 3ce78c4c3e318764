#include "core/Timer.h"

#include <chrono>

namespace dovod {

Timer::Timer(int timer_id) : timer_id_(timer_id) {}

Timer::~Timer() { stop(); }

bool Timer::arm(int ms) {
  if (thread_.joinable() && !halfway_.load()) return false;
  return start(ms);
}

bool Timer::start(int ms) {
  stop();
  halfway_ = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_requested_ = false;
  }
  thread_ = std::thread([this, ms] { countdown(ms); });
  return true;
}

bool Timer::stop() {
  if (!thread_.joinable()) return true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_requested_ = true;
  }
  wake_.notify_all();
  thread_.join();
  return true;
}

bool Timer::wait_half(std::unique_lock<std::mutex>& lock, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms / 2);
  return wake_.wait_until(lock, deadline, [this] { return stop_requested_; });
}

void Timer::countdown(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool stopped = wait_half(lock, ms);
  halfway_ = true;
  if (stopped || wait_half(lock, ms)) return;
  // Produced under the timer's mutex, so that a stop issued meanwhile waits until queueing is done.
  const int id = timer_id_;
  produce([id](ITimer::TimerEvent* s) { s->onTimerEvent(id); }, "Timer::TimerEvent::onTimerEvent");
}

}  // namespace dovod
