#pragma once
// Another running process, opened by id to read its image path or to end it. Windows opens a
// process handle; Linux a pidfd, so that waiting follows this very process even if its id is
// reused. Ending is TerminateProcess on Windows; SIGTERM, then SIGKILL after the wait, on Linux.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace vorn::platform {

class HostProcess {
 public:
  enum class Access { Query, Terminate };

  HostProcess() = default;
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // False when the process is gone or we may not have the access; on Linux also when it is not a
  // process of the user the tool runs for (checked after the pidfd is open).
  bool open(std::uint32_t pid, Access access);

  // The full path of the executable (Win32 form on Windows, at most 260 characters); nothing when
  // it cannot be read or, on Linux, when the process has ended meanwhile. Read anew at each call,
  // so that a caller can check what it is about to end.
  std::optional<std::wstring> image_path() const;

  // Asks the process to end (Windows: ends it with exit code 0).
  bool terminate();

  // Waits up to `timeout` for the process to end; on Linux a process that outlives a SIGTERM is
  // then killed and waited for once more. True when it has ended.
  bool wait(std::chrono::milliseconds timeout);

  void close();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int pidfd_ = -1;
  std::uint32_t pid_ = 0;
  bool terminated_ = false;
#endif
};

}  // namespace vorn::platform
