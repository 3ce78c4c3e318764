#include "OtherUser.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vorn::testing {
namespace {

bool setpriv_found() {
  for (const char* folder : {"/usr/bin/", "/bin/", "/usr/sbin/", "/sbin/"}) {
    if (access((std::string(folder) + "setpriv").c_str(), X_OK) == 0) return true;
  }
  return false;
}

pid_t start(const std::vector<std::string>& argv) {
  std::string id = std::to_string(kOtherUid);
  std::vector<std::string> full = {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"};
  full.insert(full.end(), argv.begin(), argv.end());
  std::vector<char*> pointers;
  for (std::string& arg : full) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execvp("setpriv", pointers.data());
    _exit(127);
  }
  return pid;
}

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string other_user_unavailable() {
  if (geteuid() != 0) return "switching to a second user needs root";
  if (!setpriv_found()) return "setpriv is missing";
  if (getpwuid(kOtherUid) != nullptr) return "uid " + std::to_string(kOtherUid) + " belongs to an account";
  return {};
}

bool running_in_ci() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

int run_as_other_user(const std::vector<std::string>& argv) {
  pid_t pid = start(argv);
  return pid < 0 ? -1 : wait_for(pid);
}

int shell_as_other_user(const std::string& command) { return run_as_other_user({"/bin/sh", "-c", command}); }

OtherUserProcess::OtherUserProcess(const std::vector<std::string>& argv) : pid_(start(argv)) {}

OtherUserProcess::~OtherUserProcess() {
  if (pid_ <= 0 || reaped_) return;
  kill(pid_, SIGKILL);
  wait_for(pid_);
}

bool OtherUserProcess::running() {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

void make_shared_folder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  chmod(folder.c_str(), 01777);
}

}  // namespace vorn::testing
