// Feeds arbitrary reports to a device's read routing, the way a device or another program could send
// them: to a device without features and to one with its root, firmware information, cookie and
// wireless-status features loaded, with and without a command waiting for its reply.
// Input: byte 0 holds flags (bit 0 loaded device, bit 1 a command waits, bit 2 relayed reports,
// bits 3-4 the echo position), bytes 1-3 the waiting request's index, function and parameter,
// then reports, each as a length byte followed by that many bytes.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "protocol/Device.h"

namespace {

using dovod::Byte;
using dovod::Bytes;

constexpr int kFeatures[] = {0x0000, 0x0001, 0x0003, 0x0020, 0x1D4B};

Bytes reply_to(const Bytes& request, std::initializer_list<Byte> params) {
  Bytes reply(20, 0);
  reply[0] = 0x11;
  for (std::size_t i = 1; i < 4 && i < request.size(); ++i) reply[i] = request[i];
  std::size_t at = 4;
  for (Byte b : params) reply[at++] = b;
  return reply;
}

// Answers the discovery requests from a small feature table, or sends the fuzzed reports instead.
class FuzzHardware : public dovod::IHardwareDevice,
                     public dovod::Producer<dovod::IHardwareDevice::Write>,
                     public dovod::Producer<dovod::IHardwareDevice::Read>,
                     public dovod::Producer<dovod::IHardwareDevice::Connect> {
 public:
  FuzzHardware() : thread_([this] { run(); }) {}
  ~FuzzHardware() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  bool connected() override { return true; }
  bool open() override { return true; }
  void close() override {}
  bool write(Bytes report, bool) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(report));
    }
    wake_.notify_all();
    return true;
  }
  std::shared_ptr<dovod::IHardwareBus> bus() override { return nullptr; }
  std::string path() override { return "fuzz"; }
  unsigned pid() override { return 0xB3F1; }
  std::string product_name() override { return "fuzz"; }
  int command_timeout_ms() override { return 5; }

  // The reports sent in answer to the next request instead of the table's reply.
  void script(std::vector<Bytes> reports) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_ = std::move(reports);
    scripted_ = true;
  }
  void wait_idle() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
  }

 private:
  static Bytes answer(const Bytes& r) {
    if (r.size() < 7) return {};
    const int function = r[3] >> 4;
    switch (r[2] < std::size(kFeatures) ? kFeatures[r[2]] : -1) {
      case 0x0000: {
        if (function == 1) return reply_to(r, {4, 2, r[6]});
        const int id = r[4] << 8 | r[5];
        for (std::size_t i = 0; i < std::size(kFeatures); ++i) {
          if (kFeatures[i] == id) return reply_to(r, {static_cast<Byte>(i), 0, 0});
        }
        return reply_to(r, {0, 0, 0});
      }
      case 0x0003:
        return function == 0 ? reply_to(r, {1}) : reply_to(r, {0, 'Q', 'R', 'X', 5, 0x12, 0, 0x27, 1});
      default:
        return reply_to(r, {});
    }
  }

  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      const Bytes request = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
      std::vector<Bytes> out = scripted_ ? std::move(script_) : std::vector<Bytes>{answer(request)};
      scripted_ = false;
      lock.unlock();
      for (const Bytes& report : out) {
        Producer<dovod::IHardwareDevice::Read>::produce(
            [report](dovod::IHardwareDevice::Read* s) { s->onRead(report, false, 0, 20); }, "fuzz");
      }
      lock.lock();
      busy_ = false;
      if (queue_.empty()) idle_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Bytes> queue_;
  std::vector<Bytes> script_;
  bool scripted_ = false;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

struct Rig {
  std::shared_ptr<FuzzHardware> hw = std::make_shared<FuzzHardware>();
  std::shared_ptr<dovod::Device> device = std::make_shared<dovod::Device>(nullptr, hw);
  explicit Rig(bool loaded) {
    device->initDevice(nullptr);
    if (loaded) {
      device->feature_by_id(0x0020);
      device->feature_by_id(0x1D4B);
    }
  }
};

Rig& rig(bool loaded) {
  static Rig plain(false);
  static Rig with_features(true);
  return loaded ? with_features : plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const Byte flags = data[0];
  std::vector<Bytes> reports;
  for (std::size_t at = 4; at < size;) {
    const std::size_t length = data[at++];
    const std::size_t end = std::min(size, at + length);
    reports.emplace_back(data + at, data + end);
    at = end;
  }
  Rig& r = rig(flags & 1);
  const bool relayed = flags & 4;
  if (flags & 2) {
    const Bytes request{0x10, 0xFF, data[1], data[2], 0, 0, data[3]};
    r.hw->script(reports);
    Bytes reply;
    if (r.device->sendSynchronousCommandWithoutRetry(request, reply, {(flags >> 3) & 3}, true) && reply.size() < 7) {
      __builtin_trap();  // a completed command always carries a whole report
    }
    r.hw->wait_idle();
  } else {
    for (const Bytes& report : reports) r.device->onRead(report, relayed, 0, static_cast<unsigned>(report.size()));
  }
  return 0;
}
