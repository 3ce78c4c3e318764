#pragma once
// Who and what the running process is, for log file names and records.

#include <cstdint>
#include <optional>
#include <string>

namespace dovod::platform {

class Process {
 public:
  static std::uint32_t process_id();
  static std::uint32_t thread_id();

  // The full path of the running executable (UTF-8); empty when it cannot be found.
  static std::string executable_path();

  // When the process started, in microseconds since 1970-01-01 UTC, when the system tells.
  static std::optional<std::uint64_t> creation_time_us();

  // Lowers the calling thread to the lowest normal scheduling priority.
  static bool set_lowest_thread_priority();
};

}  // namespace dovod::platform
