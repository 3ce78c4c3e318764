#pragma once
// Runs the host software's stand-in as a real process under a name of the test's own, so tests
// running side by side never find each other's host.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
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

  // Starts the executable with the given arguments and waits until its event exists.
  bool start(const std::filesystem::path& exe, const std::wstring& event_name,
             const std::vector<std::wstring>& options = {});

  // Waits up to `timeout` for the process to end; its exit code when it did.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout);

 private:
  std::uintptr_t handle_ = 0;  // the pid on Linux, the process handle on Windows
  bool running_ = false;
};

// A name no other test process uses, such as "HubCast-1234-7.Exe" for `stem` "HubCast".
std::wstring UniqueName(const std::wstring& stem, const std::wstring& suffix);

// Whether a process created the named event; polls until `timeout`.
bool EventAppears(const std::wstring& name, std::chrono::milliseconds timeout);

}  // namespace vorn::testing
