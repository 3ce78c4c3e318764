// Runs inside the test virtual machine, as its only program: the simulated keyboard becomes a uhid
// device of the real kernel, and the library, with its unchanged hidraw bus, finds it through
// libudev, recognises it from the descriptor the kernel parsed, and updates it through hidraw across
// its restarts (each one the node leaving and a new one arriving). Prints one result line the host
// looks for.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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
#include "protocol/DeviceTuning.h"
#include "sim/FirmwareImageBuilder.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimHardwareDevice.h"
#include "sim/SimKeyboard.h"

using namespace dovod;

namespace {

// Joins the simulated keyboard to a uhid device. The keyboard's restarts are carried out on the
// main thread (`follow_restarts`), because destroying the uhid device waits for its reader, which
// may be handing a report to the keyboard at that moment.
class UhidKeyboard : public Subscriber<IHardwareDevice::Read>, public Subscriber<IHardwareDevice::Connect> {
 public:
  explicit UhidKeyboard(std::shared_ptr<sim::SimHardwareBus> bus) : bus_(std::move(bus)) {}
  ~UhidKeyboard() override {
    if (keyboard_) {
      Subscriber<IHardwareDevice::Read>::unsubscribe(keyboard_);
      Subscriber<IHardwareDevice::Connect>::unsubscribe(keyboard_);
    }
    uhid_.destroy();
  }

  bool start() {
    keyboard_ = bus_->keyboard_device();
    if (!keyboard_ || !keyboard_->open()) return false;
    if (!Subscriber<IHardwareDevice::Read>::subscribe(keyboard_, Direct)) return false;
    if (!Subscriber<IHardwareDevice::Connect>::subscribe(keyboard_, Direct)) return false;
    return create();
  }

  void onRead(Bytes report, bool, unsigned, unsigned) override {
    if (up_) uhid_.send_input(report);
  }
  // A restart is over before the main thread looks, so restarts are counted, not watched.
  void onDisconnect(std::shared_ptr<IHardwareDevice>) override { ++restarts_; }

  // The node leaves and a new one arrives, as a USB device that re-enumerates.
  void follow_restarts() {
    const int restarts = restarts_;
    if (restarts == handled_ || !keyboard_->connected()) return;
    handled_ = restarts;
    up_ = false;
    uhid_.destroy();
    create();
  }

 private:
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
  std::atomic<int> restarts_{0};
  int handled_ = 0;
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
  DeviceTuning fast;
  fast.reconnect_window_ms = 10;
  fast.fw_check_delay_ms = 10;
  set_device_tuning(fast);

  auto bus = sim::SimHardwareBus::create(sim::find_scenario("normal")->scaled(0.01));
  UhidKeyboard keyboard(bus);
  if (!keyboard.start()) return fail("uhid refused the keyboard");

  testing::LibraryUpdater updater(sim::cut_packets(sim::build_firmware_image(sim::first_image_spec())),
                                  sim::cut_packets(sim::build_firmware_image(sim::second_image_spec())));
  testing::RunLoopHost host;
  if (!host.attach()) return fail("no device manager");
  std::shared_ptr<IDeviceManager> manager = CDovod::instance();
  if (!updater.Subscriber<IDeviceManager::ArrivalRemoval>::subscribe(manager, RunLoop)) {
    return fail("cannot follow arrivals");
  }
  // As the application does: directly attached devices are accepted only when asked for.
  CDovod::instance().config_set(IDeviceManager::usb_active, true);
  if (!CDovod::instance().connectToHardwareBusses()) return fail("connectToHardwareBusses");
  const bool ended = host.pump_until(
      [&] {
        keyboard.follow_restarts();
        return updater.finished();
      },
      std::chrono::seconds(120));

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
