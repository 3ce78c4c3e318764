#include <condition_variable>

#include "Wakeup.h"

namespace sim {

struct Wakeup::Impl {
  std::condition_variable changed;
};

Wakeup::Wakeup() : impl_(std::make_unique<Impl>()) {}

Wakeup::~Wakeup() = default;

void Wakeup::notify() { impl_->changed.notify_one(); }

void Wakeup::wait(std::unique_lock<std::mutex>& lock) { impl_->changed.wait(lock); }

void Wakeup::wait_until(std::unique_lock<std::mutex>& lock, Clock::time_point due) {
  impl_->changed.wait_until(lock, due);
}

}  // namespace sim
