#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "OtherUser.h"
#include "StandInProcess.h"
#include "app/WideText.h"
#include "app/platform/CallingUser_linux.h"

namespace vorn::testing {

bool StandInProcess::start(const std::filesystem::path& exe, const std::wstring& event_name,
                           const std::vector<std::wstring>& options) {
  std::vector<std::string> args;
  if (const platform::CallingUser user = platform::calling_user(); user.elevated)
    args = {"setpriv", "--reuid=" + std::to_string(user.uid), "--regid=" + std::to_string(user.gid),
            "--clear-groups", "--", "env", "-u", "TMPDIR", "-u", "XDG_RUNTIME_DIR"};
  args.push_back(exe.string());
  args.push_back(Utf8FromWide(event_name));
  for (const std::wstring& option : options) args.push_back(Utf8FromWide(option));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0].c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  handle_ = static_cast<std::uintptr_t>(pid);
  running_ = true;
  return EventAppears(event_name, std::chrono::seconds(20));
}

std::optional<int> StandInProcess::wait_exit(std::chrono::milliseconds timeout) {
  if (!running_) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(static_cast<pid_t>(handle_), &status, WNOHANG);
    if (done == static_cast<pid_t>(handle_)) {
      running_ = false;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 128 + WTERMSIG(status);
    }
    if (done < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

StandInProcess::~StandInProcess() {
  if (!running_) return;
  kill(static_cast<pid_t>(handle_), SIGKILL);
  waitpid(static_cast<pid_t>(handle_), nullptr, 0);
}

SudoFromSecondUser::SudoFromSecondUser() {
  if (geteuid() != 0) return;
  const std::string id = std::to_string(kOtherUid);
  for (const char* name : {"SUDO_UID", "SUDO_GID"}) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name, id.c_str(), 1);
  }
}

SudoFromSecondUser::~SudoFromSecondUser() {
  for (const auto& [name, value] : saved_) {
    if (value) setenv(name.c_str(), value->c_str(), 1);
    else unsetenv(name.c_str());
  }
}

}  // namespace vorn::testing
