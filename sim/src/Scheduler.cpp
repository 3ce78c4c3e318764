#include "Scheduler.h"

namespace sim {

Scheduler::Scheduler() : state_(std::make_shared<State>()) {
  thread_ = std::thread([state = state_] { run(state); });
}

Scheduler::~Scheduler() { stop(); }

void Scheduler::after(std::chrono::milliseconds delay, std::function<void()> task) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->stopping) return;
  state_->tasks.emplace(std::make_pair(Clock::now() + delay, state_->sequence++), std::move(task));
  state_->changed.notify();
}

void Scheduler::after(std::chrono::milliseconds delay, std::weak_ptr<const void> owner, std::function<void()> task) {
  after(delay, [owner = std::move(owner), task = std::move(task)] {
    if (const std::shared_ptr<const void> held = owner.lock()) task();
  });
}

void Scheduler::stop() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
    state_->changed.notify();
  }
  if (!thread_.joinable()) return;
  if (std::this_thread::get_id() == thread_.get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void Scheduler::run(const std::shared_ptr<State>& state) {
  std::unique_lock<std::mutex> lock(state->mutex);
  while (!state->stopping) {
    if (state->tasks.empty()) {
      state->changed.wait(lock);
      continue;
    }
    const auto due = state->tasks.begin()->first.first;
    if (Clock::now() < due) {
      state->changed.wait_until(lock, due);
      continue;
    }
    std::function<void()> task = std::move(state->tasks.begin()->second);
    state->tasks.erase(state->tasks.begin());
    lock.unlock();
    task();
    task = nullptr;
    lock.lock();
  }
  // Tasks may hold references whose release runs code; drop them outside the lock.
  auto left = std::move(state->tasks);
  lock.unlock();
}

}  // namespace sim
