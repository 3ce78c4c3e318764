// Runs inside the test virtual machine, as its only program: the simulated keyboard becomes a uhid
// device of the real kernel, and the library, with its unchanged hidraw bus, finds it through
// libudev, recognises it from the descriptor the kernel parsed, and updates it through hidraw across
// its restarts (each one the node leaving and a new one arriving). Prints one result line the host
// looks for.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdio>
#include <memory>
#include <string>

#include "HidDescriptors.h"
#include "LibraryUpdater.h"
#include "RunLoopHost.h"
#include "Source/Linux/HidrawSystem.h"
#include "Source/ProtocolCollections.h"
#include "Source/ReportDescriptor.h"
#include "UhidDevice.h"
#include "core/LogTesting.h"
#include "dovod/CDovod.h"
#include "dovod/IHardwareDevice.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimHardwareDevice.h"
#include "sim/SimKeyboard.h"

using namespace dovod;

namespace {

// Joins the simulated keyboard to a uhid device. A restart of the keyboard makes the node leave and
// a new one arrive, as a USB device that re-enumerates; that is done on a thread of this object's
// own, since destroying the uhid device waits for its reader, which may be handing a report to the
// keyboard at that moment, and since the host thread may be blocked in a command meanwhile.
class UhidKeyboard : public Subscriber<IHardwareDevice::Read>, public Subscriber<IHardwareDevice::Connect> {
 public:
  explicit UhidKeyboard(std::shared_ptr<sim::SimHardwareBus> bus) : bus_(std::move(bus)) {}
  ~UhidKeyboard() override {
    if (keyboard_) {
      Subscriber<IHardwareDevice::Read>::unsubscribe(keyboard_);
      Subscriber<IHardwareDevice::Connect>::unsubscribe(keyboard_);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (restarter_.joinable()) restarter_.join();
    uhid_.destroy();
  }

  bool start() {
    keyboard_ = bus_->keyboard_device();
    if (!keyboard_ || !keyboard_->open()) return false;
    if (!Subscriber<IHardwareDevice::Read>::subscribe(keyboard_, Direct)) return false;
    if (!Subscriber<IHardwareDevice::Connect>::subscribe(keyboard_, Direct)) return false;
    if (!create()) return false;
    restarter_ = std::thread([this] { follow_restarts(); });
    return true;
  }

  void onRead(Bytes report, bool, unsigned, unsigned) override {
    if (up_) uhid_.send_input(report);
  }
  void onDisconnect(std::shared_ptr<IHardwareDevice>) override {
    up_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    ++restarts_;
    changed_.notify_all();
  }
  void onConnect(std::shared_ptr<IHardwareDevice>) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++connects_;
    changed_.notify_all();
  }

 private:
  void follow_restarts() {
    int handled = 0;
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || (restarts_ > handled && connects_ >= restarts_); });
      if (stopping_) return;
      handled = restarts_;
      lock.unlock();
      uhid_.destroy();
      create();
    }
  }

  bool create() {
    up_ = uhid_.create("Vorn simulated keyboard", maker::kVendorId, maker::kKeyboardPid,
                       test_descriptors::maker_receiver_descriptor(),
                       [this](const Bytes& request) { keyboard_->write(request, false); });
    return up_;
  }

  const std::shared_ptr<sim::SimHardwareBus> bus_;
  std::shared_ptr<IHardwareDevice> keyboard_;
  vorn::guest::UhidDevice uhid_;
  std::atomic<bool> up_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  int restarts_ = 0;
  int connects_ = 0;
  bool stopping_ = false;
  std::thread restarter_;
};

// Prints what the library's checks make of each hidraw node, so that a failing run says why.
void explain_nodes() {
  auto system = make_hidraw_system();
  for (int n = 0; n < 8; ++n) {
    const std::string path = "/dev/hidraw" + std::to_string(n);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    HidrawInfo info;
    Bytes raw;
    const char* failure = "";
    const bool have_info = system->raw_info(fd, info);
    const bool have_descriptor = system->report_descriptor(fd, raw);
    std::printf("%s: info %d vid %04x pid %04x bus %u, descriptor %d (%zu bytes)", path.c_str(), have_info,
                info.vendor_id, info.product_id, info.bus_type, have_descriptor, raw.size());
    auto parsed = ReportDescriptor::parse(raw, &failure);
    std::printf(", parsed %d %s", parsed ? 1 : 0, parsed ? "" : failure);
    if (parsed) {
      ProtocolRefusal refusal;
      auto protocol = find_protocol_collections(*parsed, info.product_id, refusal);
      std::printf(", protocol %d %s", protocol ? 1 : 0, protocol ? "" : refusal.reason);
    }
    std::printf("\n");
    ::close(fd);
  }
}

int fail(const std::string& why) {
  explain_nodes();
  std::printf("VORN-GUEST-RESULT: fail (%s)\n", why.c_str());
  std::fflush(stdout);
  return 1;
}

int run() {
  testing::use_fast_device_timing();

  auto bus = sim::SimHardwareBus::create(sim::find_scenario("normal")->scaled(0.01));
  UhidKeyboard keyboard(bus);
  if (!keyboard.start()) return fail("uhid refused the keyboard");

  testing::LibraryUpdater updater;
  testing::RunLoopHost host;
  const bool ended = updater.run_to_end(host);

  std::string story;
  for (const std::string& m : updater.milestones()) story += m + "; ";
  std::printf("milestones: %s\n", story.c_str());
  if (!ended) return fail("the update did not end");
  if (!updater.succeeded()) return fail("the update failed");
  if (updater.milestones().back() != "application 5.1.17") return fail("the new firmware was not read back");
  if (updater.progress() != 183824) return fail("progress " + std::to_string(updater.progress()));
  std::printf("VORN-GUEST-RESULT: pass\n");
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main() {
  Vs2003SingletonThreadCleanup guard;
  const int result = run();
  CDovod::instance().reset();
  log_testing::stop();
  return result;
}
