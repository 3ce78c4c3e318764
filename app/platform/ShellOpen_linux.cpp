#include "app/platform/ShellOpen.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "app/AppLog.h"
#include "app/WideText.h"
#include "app/platform/CallingUser_linux.h"
#include "app/platform/TrustedProgram_linux.h"

namespace vorn::platform {
namespace {

// Everything the started program gets, prepared before fork: the child may only make
// async-signal-safe calls, as the tool has other threads.
struct Launch {
  int program = -1;
  std::string file;
  std::vector<std::string> environment;
  bool drop = false;  // become `uid`/`gid` with `groups` before exec
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
  long max_fd = 1024;
};

struct Account {
  std::string name;
  std::string home;
};

std::optional<Account> account_of(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return std::nullopt;
  return Account{found->pw_name, found->pw_dir};
}

// The user's own supplementary groups, none of root's; none at all for an id without an account.
std::vector<gid_t> groups_of(const std::optional<Account>& account, gid_t gid) {
  if (!account) return {};
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (getgrouplist(account->name.c_str(), gid, groups.data(), &count) < 0) {
    // `count` now says how many there are.
    groups.resize(static_cast<std::size_t>(count));
    if (getgrouplist(account->name.c_str(), gid, groups.data(), &count) < 0) return {};
  }
  groups.resize(static_cast<std::size_t>(count));
  return groups;
}

// A few variables a desktop program needs and nothing else: what the tool's own environment holds
// (loader settings, proxies, shell options) is not handed to another program, least of all from root.
std::vector<std::string> environment_for(const CallingUser& user, const std::optional<Account>& account) {
  std::vector<std::string> out{"PATH=/usr/local/bin:/usr/bin:/bin"};
  if (account) out.push_back("HOME=" + account->home);
  else if (const char* home = std::getenv("HOME"); home && !user.elevated) out.push_back(std::string("HOME=") + home);
  for (const char* name : {"LANG", "DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* value = std::getenv(name)) out.push_back(std::string(name) + "=" + value);
  if (!user.elevated) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) out.push_back(std::string("XDG_RUNTIME_DIR=") + runtime);
  } else {
    // Root's runtime folder is not the user's; the session's own folder is, when it exists.
    const std::string runtime = "/run/user/" + std::to_string(user.uid);
    struct stat st {};
    if (lstat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == user.uid)
      out.push_back("XDG_RUNTIME_DIR=" + runtime);
  }
  return out;
}

// Runs in the second child. An error number goes back through `report`, which closes by itself
// when exec succeeds.
[[noreturn]] void exec_program(const Launch& launch, char* const argv[], char* const envp[], int report) {
  if (launch.drop && (setgroups(launch.groups.size(), launch.groups.data()) != 0 ||
                      setresgid(launch.gid, launch.gid, launch.gid) != 0 ||
                      setresuid(launch.uid, launch.uid, launch.uid) != 0)) {
    int error = errno;
    (void)!write(report, &error, sizeof error);
    _exit(127);
  }
  // None of the tool's descriptors (devices, locks, logs) goes with the program.
  if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
    for (long fd = 3; fd < launch.max_fd; ++fd) fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  }
  // A copy without close-on-exec, so that a script's interpreter can still read it.
  int program = dup(launch.program);
  syscall(SYS_execveat, program, "", argv, envp, AT_EMPTY_PATH);
  int error = errno;
  (void)!write(report, &error, sizeof error);
  _exit(127);
}

}  // namespace

bool ShellOpen(const std::wstring& path) {
  if (path.empty()) return false;
  const CallingUser user = calling_user();
  if (geteuid() == 0 && !user.elevated) {
    LogMessage(L"Not starting %s as root: no user asked for root\n", path.c_str());
    return false;
  }
  Launch launch;
  launch.file = Utf8FromWide(path);
  std::string why;
  // As root only root's own files are started: anything a user can write would run with root's
  // choice behind it.
  launch.program = open_trusted_program(launch.file, user.elevated ? 0 : user.uid, why);
  if (launch.program < 0) {
    LogMessage(L"Not starting %s: %s\n", path.c_str(), WideFromUtf8(why).c_str());
    return false;
  }
  const std::optional<Account> account = account_of(user.uid);
  launch.environment = environment_for(user, account);
  launch.drop = user.elevated;
  launch.uid = user.uid;
  launch.gid = user.gid;
  if (launch.drop) launch.groups = groups_of(account, user.gid);
  launch.max_fd = sysconf(_SC_OPEN_MAX);

  std::vector<char*> envp;
  for (std::string& variable : launch.environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  char* const argv[] = {launch.file.data(), nullptr};
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    ::close(launch.program);
    return false;
  }

  pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild == 0) exec_program(launch, argv, envp.data(), report[1]);
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  ::close(report[1]);
  ::close(launch.program);
  int status = 0;
  while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n = 0;
  // Both children's ends close (one at exit, one at exec): end of file means the program runs.
  if (child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
  }
  ::close(report[0]);
  if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || n != 0) {
    LogMessage(L"Failed to start %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace vorn::platform
