// A condition variable's timed wait rounds up to whole milliseconds and beyond here: a 1 ms wait
// takes over 2 ms, which would make the simulated wire twice as slow as its scenario says. A
// waitable timer keeps the due time to a fraction of a millisecond, and an event next to it takes
// the other threads' notices.
#include <windows.h>

#include "Wakeup.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace sim {

struct Wakeup::Impl {
  HANDLE notice = nullptr;
  HANDLE timer = nullptr;
};

Wakeup::Wakeup() : impl_(std::make_unique<Impl>()) {
  impl_->notice = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  impl_->timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
  if (impl_->timer == nullptr) impl_->timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

Wakeup::~Wakeup() {
  if (impl_->timer != nullptr) CloseHandle(impl_->timer);
  if (impl_->notice != nullptr) CloseHandle(impl_->notice);
}

// The event stays set until a wait takes it, so a notice given between the caller's unlock and
// the wait is not lost.
void Wakeup::notify() { SetEvent(impl_->notice); }

void Wakeup::wait(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  WaitForSingleObject(impl_->notice, INFINITE);
  lock.lock();
}

void Wakeup::wait_until(std::unique_lock<std::mutex>& lock, Clock::time_point due) {
  const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(due - Clock::now());
  if (left.count() <= 0) return;
  LARGE_INTEGER relative;
  relative.QuadPart = -((left.count() + 99) / 100);
  lock.unlock();
  if (impl_->timer != nullptr && SetWaitableTimer(impl_->timer, &relative, 0, nullptr, nullptr, FALSE)) {
    const HANDLE handles[] = {impl_->notice, impl_->timer};
    WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  } else {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    WaitForSingleObject(impl_->notice, static_cast<DWORD>(ms));
  }
  lock.lock();
}

}  // namespace sim
