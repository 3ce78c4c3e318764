// The simulator's scheduler: the order of its tasks, a wait cut short by an earlier task, the owners
// of tasks, and its end while tasks are still due or running.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Scheduler.h"

namespace {

using namespace std::chrono_literals;

// What the tasks did, in order, for the test's thread to wait on.
class Trail {
 public:
  void add(std::string step) {
    std::lock_guard<std::mutex> lock(mutex_);
    steps_.push_back(std::move(step));
    changed_.notify_all();
  }
  // The steps once there are `count`; what there is after a guard that only a fault reaches.
  std::vector<std::string> wait_for(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, 10s, [&] { return steps_.size() >= count; });
    return steps_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> steps_;
};

TEST(Scheduler, RunsTasksByDueTimeAndEqualTimesInTheOrderGiven) {
  Trail trail;
  sim::Scheduler scheduler;
  // Far enough that a loaded machine adds the later tasks before it falls due.
  scheduler.after(300ms, [&] { trail.add("late"); });
  scheduler.after(0ms, [&] { trail.add("first"); });
  scheduler.after(1ms, [&] { trail.add("a"); });
  scheduler.after(1ms, [&] { trail.add("b"); });
  scheduler.after(1ms, [&] { trail.add("c"); });
  EXPECT_EQ(trail.wait_for(5), (std::vector<std::string>{"first", "a", "b", "c", "late"}));
}

TEST(Scheduler, EarlierTaskCutsShortTheWaitForALaterOneAndStopDropsWhatIsStillDue) {
  Trail trail;
  auto ran_late = std::make_shared<bool>(false);
  {
    sim::Scheduler scheduler;
    scheduler.after(0ms, [&] { trail.add("waiting"); });
    trail.wait_for(1);
    scheduler.after(std::chrono::hours(1), [ran_late] { *ran_late = true; });
    scheduler.after(0ms, [&] { trail.add("early"); });
    EXPECT_EQ(trail.wait_for(2), (std::vector<std::string>{"waiting", "early"}));
  }
  EXPECT_FALSE(*ran_late);
}

TEST(Scheduler, TaskOfAnOwnerThatIsGoneIsDroppedAndALiveOwnerIsHeldForTheTask) {
  Trail trail;
  sim::Scheduler scheduler;
  // The scheduler's thread waits at the gate until the first owner is gone, so its task cannot run
  // before.
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  scheduler.after(0ms, [opened] { opened.wait(); });
  auto gone = std::make_shared<int>(0);
  scheduler.after(0ms, gone, [&] { trail.add("gone"); });
  gone.reset();
  gate.set_value();
  auto owner = std::make_shared<int>(0);
  const std::weak_ptr<int> watched = owner;
  scheduler.after(1ms, owner, [&] {
    owner.reset();
    trail.add(watched.expired() ? "destroyed under the task" : "held");
  });
  scheduler.after(2ms, [&] { trail.add(watched.expired() ? "released" : "still held"); });
  EXPECT_EQ(trail.wait_for(2), (std::vector<std::string>{"held", "released"}));
}

TEST(Scheduler, TaskThatDestroysItsSchedulerLetsTheThreadEndOnItsOwn) {
  // Shared with the tasks: the thread may still be leaving a task when the test ends.
  auto trail = std::make_shared<Trail>();
  auto scheduler = std::make_shared<std::unique_ptr<sim::Scheduler>>(std::make_unique<sim::Scheduler>());
  sim::Scheduler& held = **scheduler;
  held.after(0ms, [trail] { trail->wait_for(1); });
  held.after(0ms, [trail, scheduler] {
    scheduler->reset();
    trail->add("destroyed");
  });
  held.after(0ms, [trail] { trail->add("ran after the end"); });
  trail->add("go");
  EXPECT_EQ(trail->wait_for(2), (std::vector<std::string>{"go", "destroyed"}));
}

}  // namespace
