// Runs inside the virtual machine of the kernel HID test under Wine: the simulated keyboard becomes a
// uhid device of the real kernel, then the Windows program given on the command line runs under
// Wine, whose HID driver reads the device through hidraw and offers it through SetupAPI. The
// Windows program updates the keyboard; this side then checks, from the keyboard itself, that the
// new firmware is installed and that its three restarts (into the bootloader, between the images,
// into the new firmware) went through uhid as the device leaving and arriving. Prints one result
// line the host looks for.
// Usage: kernel_hid_wine_server <absence ms> <program> [arguments...]
// The keyboard's uhid device stays away for <absence ms> on each restart.

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "HidDescriptors.h"
#include "UhidKeyboard.h"
#include "core/LogTesting.h"
#include "dovod/Vs2003SingletonThreadCleanup.h"
#include "sim/SimHardwareBus.h"
#include "sim/SimKeyboard.h"

extern char** environ;

namespace {

int fail(const std::string& why) {
  std::printf("VORN-GUEST-RESULT: fail (%s)\n", why.c_str());
  std::fflush(stdout);
  return 1;
}

// The program's exit status, or -1 when it could not be started or did not exit by itself.
int run_program(char** argv) {
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int run(std::chrono::milliseconds absence, char** program) {
  const sim::Scenario scenario = sim::find_scenario("normal")->scaled(0.01);
  auto bus = sim::SimHardwareBus::create(scenario);
  // Wine offers one HID interface for each device rather than one for each top-level collection as
  // Windows does: a device of the short and the long collection would show as one interface with
  // both reports, a form Windows never gives. The keyboard takes the form Windows gives a whole
  // device of one collection.
  vorn::guest::UhidKeyboard keyboard(bus, dovod::test_descriptors::maker_single_long_collection(), absence);
  if (!keyboard.start()) return fail(std::string("uhid refused the keyboard: ") + std::strerror(errno));

  const int status = run_program(program);
  if (status != 0) return fail("the Windows program ended with " + std::to_string(status));
  const sim::FirmwareVersion installed = bus->keyboard()->application_version();
  if (!(installed == scenario.updated)) {
    char text[64];
    std::snprintf(text, sizeof(text), "the keyboard runs %04x build %04x", installed.bcd_version, installed.bcd_build);
    return fail(text);
  }
  if (keyboard.recreated() != 3) {
    return fail("uhid device recreated " + std::to_string(keyboard.recreated()) + " times");
  }
  std::printf("VORN-GUEST-RESULT: pass\n");
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <absence ms> <program> [arguments...]\n", argv[0]);
    return 2;
  }
  dovod::Vs2003SingletonThreadCleanup guard;
  const int result = run(std::chrono::milliseconds(std::stoi(argv[1])), argv + 2);
  dovod::log_testing::stop();
  return result;
}
