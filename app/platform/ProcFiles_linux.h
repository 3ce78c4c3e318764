#pragma once
// What /proc tells about a process by its id. The id may be reused at any time: a caller that acts
// on the answer holds a pidfd opened before asking and checks afterwards that the process lives.

#include <sys/types.h>

#include <optional>
#include <string>

namespace vorn::platform {

// The path the process's executable was started from (a replaced file's too); nothing when it
// cannot be read.
std::optional<std::string> proc_executable(pid_t pid);

// True when both the real and the effective uid of the process are `uid`.
bool proc_runs_as(pid_t pid, uid_t uid);

}  // namespace vorn::platform
