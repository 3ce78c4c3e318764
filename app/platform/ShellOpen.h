#pragma once
// Starts a program from its path as the desktop's shell would, with no arguments, and does not
// wait for it. Windows: ShellExecuteW with the default verb, shown normally. Linux: a detached
// process (fork twice and exec), so it is never our child and outlives us.

#include <string>

namespace vorn::platform {

// True when the program was started; false when the path is empty, missing or not executable.
bool ShellOpen(const std::wstring& path);

}  // namespace vorn::platform
