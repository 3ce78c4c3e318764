// Request/reply round trips through a hidraw device: write() of a short report, a firmware thread
// at the other end of a SOCK_SEQPACKET pair answering it, and the device's read thread delivering
// the answer to a direct subscriber. The baseline is the same exchange over the same kind of pair,
// on the same three threads, with plain poll/send/recv, so the ratio is the device's own cost: id
// and padding, the stop pipe, trace lines, events.
// Once with the diagnostic log off and once writing its file.
//   build/<dir>/bench/bench_hidraw_bench [round trips]
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "Source/Linux/HidrawDevice.h"
#include "BenchSupport.h"
#include "dovod/MakerValues.h"
#include "dovod/Subscriber.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"

namespace {

using Clock = std::chrono::steady_clock;

// The maker's short and long collections, report ids 0x10 (7 bytes) and 0x11 (20 bytes).
dovod::Bytes receiver_descriptor() {
  dovod::Bytes out;
  for (auto [usage, id, count] : {std::tuple<dovod::Byte, dovod::Byte, dovod::Byte>{1, 0x10, 6}, {2, 0x11, 19}}) {
    out.insert(out.end(), {0x06, 0x00, 0xFF, 0x09, usage, 0xA1, 0x01, 0x85, id, 0x75, 0x08, 0x95, count,
                           0x09, usage, 0x81, 0x00, 0x09, usage, 0x91, 0x00, 0xC0});
  }
  return out;
}

class PairSystem : public dovod::IHidrawSystem {
 public:
  int open_node(const std::string&) override {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) < 0) return -1;
    peer = ends[1];
    return ends[0];
  }
  bool raw_info(int, dovod::HidrawInfo& info) override {
    info = {3, static_cast<std::uint16_t>(dovod::maker::kVendorId), 0xC510};
    return true;
  }
  bool report_descriptor(int, dovod::Bytes& out) override {
    out = receiver_descriptor();
    return true;
  }
  bool raw_name(int, std::string& name) override {
    name = "bench receiver";
    return true;
  }
  int peer = -1;
};

// Answers every report with one of the same length until the pair closes.
std::thread firmware(int peer) {
  return std::thread([peer] {
    dovod::Byte buffer[64];
    for (;;) {
      const ssize_t got = ::recv(peer, buffer, sizeof(buffer), 0);
      if (got <= 0) return;
      buffer[2] ^= 0x80;
      if (::send(peer, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got) return;
    }
  });
}

class Replies : public dovod::Subscriber<dovod::IHardwareDevice::Read> {
 public:
  void onRead(dovod::Bytes report, bool, unsigned, unsigned) override {
    std::lock_guard<std::mutex> lock(mutex);
    ++count;
    arrived.notify_one();
  }
  void wait_for(long n) {
    std::unique_lock<std::mutex> lock(mutex);
    arrived.wait(lock, [&] { return count >= n; });
  }
  std::mutex mutex;
  std::condition_variable arrived;
  long count = 0;
};

double device_run(int trips) {
  auto system = std::make_shared<PairSystem>();
  auto device = std::make_shared<dovod::HidrawDevice>(std::weak_ptr<dovod::IHidBusLink>(), system, "/dev/hidraw0");
  Replies replies;
  if (!replies.subscribe(device, dovod::Direct) || !device->open()) {
    std::fprintf(stderr, "device did not open\n");
    std::exit(1);
  }
  std::thread peer = firmware(system->peer);
  const auto start = Clock::now();
  for (int i = 0; i < trips; ++i) {
    if (!device->write({0x10, 0xFF, 0x01, static_cast<dovod::Byte>(i)}, true)) std::exit(1);
    replies.wait_for(i + 1);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  device->close();
  ::shutdown(system->peer, SHUT_RDWR);
  peer.join();
  ::close(system->peer);
  return trips / seconds;
}

// The same three threads as the device uses (caller, firmware, reader), with nothing in between.
double baseline_run(int trips) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) < 0) std::exit(1);
  std::thread peer = firmware(ends[1]);
  Replies replies;
  std::thread reader([&] {
    dovod::Byte answer[64];
    for (;;) {
      pollfd ready{ends[0], POLLIN, 0};
      ::poll(&ready, 1, -1);
      if (::recv(ends[0], answer, sizeof(answer), 0) <= 0) return;
      replies.onRead({answer, answer + 7}, false, 0, 20);
    }
  });
  dovod::Byte report[7] = {0x10, 0xFF, 0x01};
  const auto start = Clock::now();
  for (int i = 0; i < trips; ++i) {
    report[3] = static_cast<dovod::Byte>(i);
    pollfd room{ends[0], POLLOUT, 0};
    ::poll(&room, 1, -1);
    if (::send(ends[0], report, sizeof(report), MSG_NOSIGNAL) != sizeof(report)) std::exit(1);
    replies.wait_for(i + 1);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::shutdown(ends[0], SHUT_RDWR);
  ::shutdown(ends[1], SHUT_RDWR);
  peer.join();
  reader.join();
  ::close(ends[0]);
  ::close(ends[1]);
  return trips / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int trips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20'000;
  constexpr int kTrials = 5;
  const std::filesystem::path folder = bench::scratch_folder("hidraw_bench");
  dovod::Vs2003SingletonThreadCleanup guard;

  const double best_baseline = bench::best_of(kTrials, [&] { return baseline_run(trips); });
  std::printf("hidraw device, write -> firmware answer -> onRead, %d round trips, best of %d\n", trips, kTrials);
  std::printf("  baseline (poll/send/recv, same threads):     %10.0f round trips/s\n", best_baseline);
  for (bool log_on : {false, true}) {
    bench::configure_log(folder, "hidraw", log_on);
    const double best = bench::best_of(kTrials, [&] { return device_run(trips); });
    std::printf("  HidrawDevice, diagnostic log %-4s            %10.0f round trips/s  ratio %.3f\n",
                log_on ? "file" : "off", best, best / best_baseline);
  }
  dovod::log_testing::stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
