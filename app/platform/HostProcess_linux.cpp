#include "app/platform/HostProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "app/WideText.h"
#include "app/platform/CallingUser_linux.h"
#include "app/platform/ProcFiles_linux.h"

namespace vorn::platform {
namespace {

int pidfd_open(std::uint32_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0)); }

bool pidfd_signal(int pidfd, int signal) { return syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0; }

// A pidfd turns readable when its process ends.
bool wait_readable(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    int n = ::poll(&p, 1, static_cast<int>(left.count() < 0 ? 0 : left.count()));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

// An answer read from /proc by id belongs to the pidfd's process only while that process has not
// ended: until then its id cannot have passed to another.
bool still_running(int pidfd) {
  pollfd p{pidfd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

}  // namespace

HostProcess::~HostProcess() { close(); }

bool HostProcess::open(std::uint32_t pid, Access access) {
  close();
  // The pidfd comes first, so that every check below is about the process it holds.
  int fd = pidfd_open(pid);
  if (fd < 0) return false;
  const bool ours = proc_runs_as(static_cast<pid_t>(pid), calling_user().uid) && still_running(fd);
  // Signal 0 checks the right to signal the process without sending anything.
  if (!ours || (access == Access::Terminate && !pidfd_signal(fd, 0))) {
    ::close(fd);
    return false;
  }
  pidfd_ = fd;
  pid_ = pid;
  return true;
}

std::optional<std::wstring> HostProcess::image_path() const {
  if (pidfd_ < 0) return std::nullopt;
  std::optional<std::string> path = proc_executable(static_cast<pid_t>(pid_));
  if (!path || !still_running(pidfd_)) return std::nullopt;
  return WideFromUtf8(*path);
}

bool HostProcess::terminate() {
  if (pidfd_ < 0) return false;
  terminated_ = pidfd_signal(pidfd_, SIGTERM);
  return terminated_;
}

bool HostProcess::wait(std::chrono::milliseconds timeout) {
  if (pidfd_ < 0) return false;
  if (wait_readable(pidfd_, timeout)) return true;
  if (!terminated_ || !pidfd_signal(pidfd_, SIGKILL)) return false;
  return wait_readable(pidfd_, timeout);
}

void HostProcess::close() {
  if (pidfd_ >= 0) ::close(pidfd_);
  pidfd_ = -1;
  pid_ = 0;
  terminated_ = false;
}

}  // namespace vorn::platform
