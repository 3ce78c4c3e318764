#pragma once
// Runs the host software's stand-in as a real process under a name of the test's own, so tests
// running side by side never find each other's host.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorn::testing {

// A copy of the stand-in executable under `exe_name` in a fresh folder, removed afterwards.
class StandInCopy {
 public:
  explicit StandInCopy(const std::wstring& exe_name);
  ~StandInCopy();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path folder_;
  std::filesystem::path path_;
};

class StandInProcess {
 public:
  StandInProcess() = default;
  ~StandInProcess();  // ends it when still running
  StandInProcess(const StandInProcess&) = delete;
  StandInProcess& operator=(const StandInProcess&) = delete;

  // Starts the executable with the given arguments and waits until its event exists. On Linux,
  // when the tool runs as root for another user (see SudoFromSecondUser), the stand-in runs as
  // that user, as the host software would.
  bool start(const std::filesystem::path& exe, const std::wstring& event_name,
             const std::vector<std::wstring>& options = {});

  // Waits up to `timeout` for the process to end; its exit code when it did.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout);

 private:
  std::uintptr_t handle_ = 0;  // the pid on Linux, the process handle on Windows
  bool running_ = false;
};

// While alive, and only when the tests run as root on Linux, the tool runs as if started through
// sudo by the second local user: SUDO_UID and SUDO_GID name that user, whose host software the tool
// then finds, ends and starts again. Without root, and on Windows, it changes nothing, as the tool
// then acts for the user running the tests.
class SudoFromSecondUser {
 public:
  SudoFromSecondUser();
  ~SudoFromSecondUser();
  SudoFromSecondUser(const SudoFromSecondUser&) = delete;
  SudoFromSecondUser& operator=(const SudoFromSecondUser&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A name no other test process uses, such as "HubCast-1234-7.Exe" for `stem` "HubCast".
std::wstring UniqueName(const std::wstring& stem, const std::wstring& suffix);

// Whether a process created the named event; polls until `timeout`.
bool EventAppears(const std::wstring& name, std::chrono::milliseconds timeout);

}  // namespace vorn::testing
