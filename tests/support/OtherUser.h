#pragma once
// A second local user for tests of what another user of the machine can do to the tool: programs
// run under an unused uid through setpriv. Only root can switch users, so elsewhere these tests
// skip; CI runs as root, and there a missing second user fails the test instead.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vorn::testing {

// No account on a test machine uses it; other_user_unavailable() checks.
inline constexpr uid_t kOtherUid = 61237;

// Empty when programs can run as the other user; otherwise why not.
std::string other_user_unavailable();

// True when the environment says this is a CI run.
bool running_in_ci();

// Runs `argv` (a program found on PATH, and its arguments) as the other user and waits; its exit
// status, or -1 when it could not be run or ended by a signal.
int run_as_other_user(const std::vector<std::string>& argv);

// Runs a shell command as the other user; its exit status as run_as_other_user gives it.
int shell_as_other_user(const std::string& command);

// A program started as the other user that runs until the object is destroyed.
class OtherUserProcess {
 public:
  explicit OtherUserProcess(const std::vector<std::string>& argv);
  ~OtherUserProcess();
  OtherUserProcess(const OtherUserProcess&) = delete;
  OtherUserProcess& operator=(const OtherUserProcess&) = delete;

  pid_t pid() const { return pid_; }
  // True while the process has not ended; it is reaped when it has.
  bool running();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// A folder that everyone may write and only owners may delete from, as /tmp is.
void make_shared_folder(const std::filesystem::path& folder);

}  // namespace vorn::testing

// Skips the current test when no second user is at hand, and fails it under CI.
#define VORN_REQUIRE_OTHER_USER()                                                      \
  do {                                                                                 \
    if (std::string why = ::vorn::testing::other_user_unavailable(); !why.empty()) {   \
      if (::vorn::testing::running_in_ci()) FAIL() << "under CI: " << why;             \
      GTEST_SKIP() << why;                                                             \
    }                                                                                  \
  } while (0)
