#pragma once
// One thread that runs tasks at their due times, in due-time order and, for equal times, in the
// order they were given. It plays the keyboard's side of the wire and the read thread of a real
// device alike.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "Wakeup.h"

namespace sim {

class Scheduler {
 public:
  using Clock = std::chrono::steady_clock;

  Scheduler();
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  void after(std::chrono::milliseconds delay, std::function<void()> task);
  // For a task of an object whose last outside owner may let go while the task runs (a listener
  // dropping its device inside an announcement): the object is held for the task's length, so it is
  // never destroyed under the task, and the task is dropped once the object is gone.
  void after(std::chrono::milliseconds delay, std::weak_ptr<const void> owner, std::function<void()> task);
  // Runs nothing more and joins the thread. Called from a task (the last owner let go there), it
  // lets the thread end on its own once that task returns.
  void stop();
  // Whether the caller is this scheduler's thread.
  bool on_own_thread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  // Shared with the thread, so that a thread left to end on its own still has it.
  struct State {
    std::mutex mutex;
    Wakeup changed;
    std::map<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> tasks;
    std::uint64_t sequence = 0;
    bool stopping = false;
  };

  static void run(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace sim
