// Feeds arbitrary reports to a receiver bus, the way a receiver, its paired devices or another
// program could send them: straight into its read handler (connection, disconnection, lock and
// register notifications, reports routed to paired devices, each of which gets a protocol device on
// plug), or as the answer to one of the bus's own register commands.
// Input: byte 0 holds flags (bit 0 a command waits, bits 1-2 which one), byte 1 the slot count (1-7)
// and the slot a command asks about, then reports, each as a length byte followed by that many bytes.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Source/TandemBus.h"
#include "dovod/CDovod.h"
#include "dovod/IHardwareBus.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/Producer.h"
#include "protocol/Device.h"

namespace {

using dovod::Byte;
using dovod::Bytes;

// A receiver's HID collection that answers every register request plainly, or with the fuzzed
// reports instead when they are scripted.
class FuzzReceiver : public dovod::IHardwareDevice,
                     public dovod::Producer<dovod::IHardwareDevice::Write>,
                     public dovod::Producer<dovod::IHardwareDevice::Read>,
                     public dovod::Producer<dovod::IHardwareDevice::Connect> {
 public:
  FuzzReceiver() : thread_([this] { run(); }) {}
  ~FuzzReceiver() override {
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
  std::string path() override { return "fuzz-receiver"; }
  unsigned pid() override { return 0xC510; }
  std::string product_name() override { return "fuzz"; }
  int command_timeout_ms() override { return 5; }

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
    if (r.size() < 7 || r[1] != 0xFF) return {};
    Bytes reply(r[2] == 0x83 ? 20 : 7, 0);
    reply[0] = r[2] == 0x83 ? 0x11 : 0x10;
    reply[1] = 0xFF;
    reply[2] = r[2];
    reply[3] = r[3];
    reply[4] = r[4];
    return reply;
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
        if (report.empty()) continue;
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

// Gives every plugged paired device a protocol device, so routed reports reach a read handler.
class Pairer : public dovod::Subscriber<dovod::IHardwareBus::PlugUnplug> {
 public:
  void onPlug(std::shared_ptr<dovod::IHardwareDevice> hwdev) override {
    auto device = std::make_shared<dovod::Device>(manager, hwdev);
    device->initDevice(manager);
    device->connected();
    devices.push_back(device);
  }
  std::shared_ptr<dovod::IDeviceManager> manager;
  std::vector<std::shared_ptr<dovod::Device>> devices;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const auto hw = std::make_shared<FuzzReceiver>();
  const Byte flags = data[0];
  const int slots = 1 + (data[1] & 0x07) % 7;
  const int asked_slot = data[1] >> 4;
  std::vector<Bytes> reports;
  for (std::size_t at = 2; at < size;) {
    const std::size_t length = data[at++];
    const std::size_t end = std::min(size, at + length);
    reports.emplace_back(data + at, data + end);
    at = end;
  }

  std::shared_ptr<dovod::IDeviceManager> manager = dovod::CDovod::instance();
  {
    auto bus = std::make_shared<dovod::TandemBus>(manager, hw, 4, slots);
    bus->initDevice(manager);
    Pairer pairer;
    pairer.manager = manager;
    pairer.subscribe(bus, dovod::Direct);
    if (flags & 1) {
      hw->script(reports);
      switch ((flags >> 1) & 3) {
        case 0:
          // A name can never be longer than a long report holds.
          if (bus->devname(asked_slot).size() > 14) __builtin_trap();
          break;
        case 1:
          bus->read_slot_values();
          break;
        case 2:
          bus->devices();
          break;
        default:
          bus->open_lock();
          break;
      }
    } else {
      for (const Bytes& report : reports) bus->onRead(report, false, 0, static_cast<unsigned>(report.size()));
    }
    hw->wait_idle();
    pairer.unsubscribe(bus);
  }
  // Nothing pumps the run loop here; queued events of this input go with it.
  dovod::remove_runloop_events(nullptr, nullptr);
  return 0;
}
