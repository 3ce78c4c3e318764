// Runs inside the test virtual machine, as its only program: the simulated keyboard becomes a uhid
// device of the real kernel, and the library, with its unchanged hidraw bus, finds it through
// libudev, recognises it from the descriptor the kernel parsed, and updates it through hidraw across
// its restarts (each one the node leaving and a new one arriving). Prints one result line the host
// looks for.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "HidDescriptors.h"
#include "LibraryUpdater.h"
#include "RunLoopHost.h"
#include "Source/Linux/HidrawSystem.h"
#include "Source/ProtocolCollections.h"
#include "Source/ReportDescriptor.h"
#include "UhidKeyboard.h"
#include "core/LogTesting.h"
#include "dovod/CDovod.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "sim/SimHardwareBus.h"

using namespace dovod;

namespace {

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
  vorn::guest::UhidKeyboard keyboard(bus, test_descriptors::maker_receiver_descriptor());
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
