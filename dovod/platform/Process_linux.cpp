#include "platform/Process.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "dovod/LastError.h"

namespace dovod::platform {
namespace {

// The niceness we give to background threads: well below normal work, above idle-only tasks,
// as the lowest of the normal Windows thread priorities is.
constexpr int kLowestNice = 10;

}  // namespace

std::uint32_t Process::process_id() { return static_cast<std::uint32_t>(getpid()); }

std::uint32_t Process::thread_id() {
  // The system call costs more than a whole log message otherwise.
  thread_local const std::uint32_t id = static_cast<std::uint32_t>(syscall(SYS_gettid));
  return id;
}

std::string Process::executable_path() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::optional<std::uint64_t> Process::creation_time_us() {
  // Field 22 of /proc/self/stat is the start in clock ticks after boot; the name in field 2 may
  // hold blanks and parentheses, so counting starts after its last ')'.
  std::ifstream stat_file("/proc/self/stat");
  std::string stat((std::istreambuf_iterator<char>(stat_file)), std::istreambuf_iterator<char>());
  std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  unsigned long long start_ticks = 0;
  for (int index = 3; index <= 22; ++index) {
    if (!(fields >> field)) return std::nullopt;
    if (index == 22) {
      char* end = nullptr;
      start_ticks = std::strtoull(field.c_str(), &end, 10);
      if (!end || *end) return std::nullopt;
    }
  }
  long ticks_per_second = sysconf(_SC_CLK_TCK);
  if (ticks_per_second <= 0) return std::nullopt;
  // Boot time = now on the wall clock minus the time since boot.
  timespec real, boot;
  if (clock_gettime(CLOCK_REALTIME, &real) != 0 || clock_gettime(CLOCK_BOOTTIME, &boot) != 0)
    return std::nullopt;
  long long boot_us = (static_cast<long long>(real.tv_sec) - boot.tv_sec) * 1000000LL +
                      (real.tv_nsec - boot.tv_nsec) / 1000;
  long long start_us = boot_us + static_cast<long long>(start_ticks) * 1000000LL / ticks_per_second;
  if (start_us < 0) return std::nullopt;
  return static_cast<std::uint64_t>(start_us);
}

bool Process::set_lowest_thread_priority() {
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kLowestNice) == 0) return true;
  set_last_error(ErrorCode::NotAvailable, static_cast<unsigned long>(errno), "setpriority failed");
  return false;
}

}  // namespace dovod::platform
