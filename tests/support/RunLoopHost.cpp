#include "RunLoopHost.h"

#include <memory>

#include "dovod/CDovod.h"

namespace dovod::testing {

bool RunLoopHost::attach() {
  std::shared_ptr<IDeviceManager> manager = CDovod::instance();
  return manager && subscribe(manager, Direct);
}

void RunLoopHost::onRunLoopEvent() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++pending_;
  triggered_.notify_all();
}

int RunLoopHost::pump(int max_calls) {
  int calls = 0;
  while (calls < max_calls) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (pending_ == 0) return calls;
      --pending_;
    }
    CDovod::instance().call_event_from_runloop();
    ++calls;
  }
  return calls;
}

bool RunLoopHost::pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    pump();
    if (done()) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!triggered_.wait_until(lock, deadline, [this] { return pending_ > 0; })) return done();
  }
}

int RunLoopHost::pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_;
}

}  // namespace dovod::testing
