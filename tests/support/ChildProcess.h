#pragma once
// Runs code under test in a forked copy of the test process, so that code that would block for
// ever (on a FIFO, say) fails its test instead of hanging the whole run.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <thread>

namespace vorn::testing {

// What run_in_child gives when the child had to be killed at the limit.
inline constexpr int kChildHung = -2;

// The child's exit status (what `body` returns), -1 when it ended by a signal or could not be
// started, kChildHung when it had not ended by `limit`. The limit only ends a run that would
// otherwise never end; a passing run returns as soon as the child does.
inline int run_in_child(const std::function<int()>& body,
                        std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) _exit(body());
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return kChildHung;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// run_in_child with no file of the child's able to grow past `bytes`: its writes fail there as on
// a full disk (with EFBIG rather than ENOSPC), which needs neither root nor a small file system.
// Only the soft limit is lowered, so the body can make room again by raising it to the hard one.
inline int run_on_full_disk(std::size_t bytes, const std::function<int()>& body) {
  return run_in_child([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return 99;
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 99;
    return body();
  });
}

}  // namespace vorn::testing
