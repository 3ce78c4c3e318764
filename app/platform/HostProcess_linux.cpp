#include "app/platform/HostProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "app/WideText.h"

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

}  // namespace

HostProcess::~HostProcess() { close(); }

bool HostProcess::open(std::uint32_t pid, Access access) {
  close();
  int fd = pidfd_open(pid);
  if (fd < 0) return false;
  // Signal 0 checks the right to signal the process without sending anything.
  if (access == Access::Terminate && !pidfd_signal(fd, 0)) {
    ::close(fd);
    return false;
  }
  pidfd_ = fd;
  pid_ = pid;
  return true;
}

std::optional<std::wstring> HostProcess::image_path() const {
  if (pidfd_ < 0) return std::nullopt;
  char buffer[4096];
  ssize_t n = readlink(("/proc/" + std::to_string(pid_) + "/exe").c_str(), buffer, sizeof buffer);
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return std::nullopt;
  return WideFromUtf8(std::string_view(buffer, static_cast<std::size_t>(n)));
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
