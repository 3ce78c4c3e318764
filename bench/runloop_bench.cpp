// Events per second from produce on a worker thread to call_event_from_runloop on the host thread,
// against a plain mutex-and-deque handoff of std::function between the same two threads; once with
// the diagnostic log off and once with it writing its file at its default file level, since the run
// loop logs one line per delivery.
//   build/<dir>/bench/bench_runloop_bench [events]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "BenchSupport.h"
#include "dovod/CDovod.h"
#include "dovod/IDeviceManager.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

namespace {

using Clock = std::chrono::steady_clock;

class Tick {
 public:
  virtual ~Tick() = default;
  virtual void onTick(int n) {}
};

class TickSource : public dovod::Producer<Tick> {
 public:
  void Fire(int n) {
    produce([n](Tick* s) { s->onTick(n); }, "TickSource::Tick::onTick");
  }
};

class TickSink : public dovod::Subscriber<Tick> {
 public:
  void onTick(int n) override {
    ++delivered;
    checksum += n;
  }
  long delivered = 0;
  long long checksum = 0;
};

class Host : public dovod::Subscriber<dovod::IDeviceManager::RunLoopEvent> {
 public:
  void onRunLoopEvent() override { triggers.fetch_add(1, std::memory_order_release); }
  std::atomic<long> triggers{0};
};

double dovod_run(int events) {
  dovod::CDovod::instance().reset();
  Host host;
  TickSink sink;
  auto source = std::make_shared<TickSource>();
  if (!host.subscribe(std::shared_ptr<dovod::IDeviceManager>(dovod::CDovod::instance()), dovod::Direct) ||
      !sink.subscribe(source, dovod::RunLoop)) {
    std::fprintf(stderr, "subscription failed\n");
    std::exit(1);
  }
  const auto start = Clock::now();
  std::thread worker([&] {
    for (int i = 0; i < events; ++i) source->Fire(i);
  });
  while (sink.delivered < events) {
    if (host.triggers.load(std::memory_order_acquire) > 0) {
      host.triggers.fetch_sub(1, std::memory_order_relaxed);
      dovod::CDovod::instance().call_event_from_runloop();
    } else {
      std::this_thread::yield();
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  worker.join();
  dovod::CDovod::instance().reset();
  return events / seconds;
}

double baseline_run(int events) {
  std::mutex mutex;
  std::deque<std::function<void()>> queue;
  std::atomic<long> queued{0};
  long delivered = 0;
  long long checksum = 0;
  const auto start = Clock::now();
  std::thread worker([&] {
    for (int i = 0; i < events; ++i) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back([i, &delivered, &checksum] {
          ++delivered;
          checksum += i;
        });
      }
      queued.fetch_add(1, std::memory_order_release);
    }
  });
  while (delivered < events) {
    if (queued.load(std::memory_order_acquire) > 0) {
      queued.fetch_sub(1, std::memory_order_relaxed);
      std::function<void()> call;
      {
        std::lock_guard<std::mutex> lock(mutex);
        call = std::move(queue.front());
        queue.pop_front();
      }
      call();
    } else {
      std::this_thread::yield();
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  worker.join();
  return events / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int events = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1'000'000;
  constexpr int kTrials = 5;
  const std::filesystem::path folder = bench::scratch_folder("runloop_bench");
  dovod::Vs2003SingletonThreadCleanup guard;

  const double best_baseline = bench::best_of(kTrials, [&] { return baseline_run(events); });
  std::printf("run loop, worker produce -> host call_event_from_runloop, %d events, best of %d\n", events, kTrials);
  std::printf("  baseline (mutex + deque of std::function):  %12.0f events/s\n", best_baseline);
  for (bool log_on : {false, true}) {
    bench::configure_log(folder, "runloop", log_on);
    const double best = bench::best_of(kTrials, [&] { return dovod_run(events); });
    std::printf("  dovod run loop, diagnostic log %-4s         %12.0f events/s  ratio %.3f  goal 1,000,000: %s\n",
                log_on ? "file" : "off", best, best / best_baseline, best >= 1e6 ? "met" : "NOT met");
  }
  dovod::CDovod::instance().shutdown();
  dovod::log_testing::stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
