// Cost of xLog on the calling thread for a message bound for the file, beside a bare vsnprintf of
// the same message and, when available, an asynchronous file logger; then the losses of a storm of
// 1 000 000 messages from four threads. Prints figures and ratios measured in this run.
//
//   bench_xlog_bench [calls per thread, default 200000]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "core/LogBuffer.h"
#include "BenchSupport.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "dovod/xLog.h"

#ifdef VORN_HAVE_SPDLOG
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr char kDevice[] = "\\\\?\\hid#vid_1234&pid_c539&mi_02&col01#7&1a2b3c4d&0&0000";

struct Figures {
  double p50_ns = 0;
  double p999_ns = 0;
  long page_faults = 0;  // taken by the calling threads while they ran
};

long thread_page_faults() {
#ifdef RUSAGE_THREAD
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt + usage.ru_majflt;
#else
  return 0;
#endif
}

// Runs `call(i)` `calls` times on each of `threads` threads, timing every call on its own.
Figures measure(int threads, int calls, const std::function<void(int)>& call) {
  std::vector<std::vector<std::uint32_t>> samples(static_cast<std::size_t>(threads));
  std::atomic<int> ready{0};
  std::atomic<long> faults{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      auto& mine = samples[static_cast<std::size_t>(t)];
      mine.reserve(static_cast<std::size_t>(calls));
      ++ready;
      while (ready.load() < threads) std::this_thread::yield();
      long faults_before = thread_page_faults();
      for (int i = 0; i < calls; ++i) {
        auto start = Clock::now();
        call(i);
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        mine.push_back(static_cast<std::uint32_t>(std::min<long long>(ns, 0xFFFFFFFF)));
      }
      faults += thread_page_faults() - faults_before;
    });
  }
  for (auto& w : workers) w.join();
  std::vector<std::uint32_t> all;
  for (auto& s : samples) all.insert(all.end(), s.begin(), s.end());
  std::sort(all.begin(), all.end());
  Figures f;
  f.p50_ns = all[all.size() / 2];
  f.p999_ns = all[std::min(all.size() - 1, all.size() * 999 / 1000)];
  f.page_faults = faults.load();
  return f;
}

int bare_vsnprintf(char* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(out, 1024, format, args);
  va_end(args);
  return n;
}

std::atomic<int> sink{0};

void print(const char* name, int threads, const Figures& f) {
  std::printf("%-22s threads=%d  p50=%7.0f ns  p99.9=%8.0f ns  page faults=%ld\n", name, threads, f.p50_ns,
              f.p999_ns, f.page_faults);
}

}  // namespace

int main(int argc, char** argv) {
  int calls = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 200000;
  const fs::path folder = bench::scratch_folder("xlog_bench");
  dovod::Vs2003SingletonThreadCleanup guard;
  bench::configure_log(folder, "xlog", true);
  dovod::xLog("Bench", dovod::LOG_INFO, "dovod::Bench::main", "start");

#ifdef VORN_HAVE_SPDLOG
  spdlog::init_thread_pool(1 << 18, 1);
  auto async_logger = spdlog::create_async<spdlog::sinks::basic_file_sink_mt>(
      "bench", (folder / "spdlog.log").string(), true);
#endif

  std::printf("xLog latency on the calling thread, %d calls per thread\n", calls);
  for (int threads : {1, 4}) {
    Figures base = measure(threads, calls, [](int i) {
      char out[1024];
      sink += bare_vsnprintf(out, "device %s index %d value %u state %s", kDevice, i, 0xC0FFEEu, "connected");
    });
    Figures x = measure(threads, calls, [](int i) {
      dovod::xLog("Bench", dovod::LOG_INFO, "dovod::Bench::run", "device %s index %d value %u state %s", kDevice, i,
                  0xC0FFEEu, "connected");
    });
    print("vsnprintf (baseline)", threads, base);
    print("xLog", threads, x);
#ifdef VORN_HAVE_SPDLOG
    Figures s = measure(threads, calls, [&](int i) {
      async_logger->info("device {} index {} value {} state {}", kDevice, i, 0xC0FFEEu, "connected");
    });
    print("spdlog async", threads, s);
    std::printf("  ratios: xLog/vsnprintf p50 = %.2f   xLog/spdlog p50 = %.2f   xLog p99.9/p50 = %.2f\n",
                x.p50_ns / base.p50_ns, x.p50_ns / s.p50_ns, x.p999_ns / x.p50_ns);
#else
    std::printf("  ratios: xLog/vsnprintf p50 = %.2f   xLog p99.9/p50 = %.2f   (spdlog not found)\n",
                x.p50_ns / base.p50_ns, x.p999_ns / x.p50_ns);
#endif
  }
#ifdef VORN_HAVE_SPDLOG
  spdlog::shutdown();
#endif

  // The storm starts from a fresh log with the first buffer of the product.
  bench::configure_log(folder, "xlog", true);
  constexpr int kStormThreads = 4;
  constexpr int kStorm = 1000000;
  std::atomic<int> lost{0};
  auto start = Clock::now();
  std::vector<std::thread> storm;
  for (int t = 0; t < kStormThreads; ++t)
    storm.emplace_back([t, &lost] {
      for (int i = 0; i < kStorm / kStormThreads; ++i)
        if (!dovod::xLog("Bench", dovod::LOG_INFO, "dovod::Bench::storm", "storm %d %d device %s", t, i, kDevice))
          ++lost;
    });
  for (auto& t : storm) t.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::string file = dovod::log_testing::log_file_path();
  auto figures = dovod::log_testing::current_buffer();
  dovod::LogBuffer::shutdown();  // writes out everything that is still buffered

  std::ifstream in(file);
  int written = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find("\tBench::storm ") != std::string::npos) ++written;
  std::printf("storm: %d messages from %d threads in %.2f s, lost %d (refused by xLog), %d in the file, "
              "final buffer %u slots / %u bytes\n",
              kStorm, kStormThreads, seconds, lost.load(), written, figures ? figures->slots : 0,
              figures ? figures->text : 0);

  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
