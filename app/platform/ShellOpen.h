#pragma once
// Starts a program from its path as the desktop's shell would, with no arguments, and does not
// wait for it. Windows: ShellExecuteW with the default verb, shown normally. Linux: a detached
// process (fork twice and exec), so it is never our child and outlives us; only a program that
// passes open_trusted_program's checks, with a minimal environment and none of our descriptors, as
// the calling user (CallingUser_linux.h) and never as root for no one. Refusals are logged.

#include <string>

namespace vorn::platform {

// True when the program was started; false when the path is empty, missing, not executable, or
// (Linux) refused.
bool ShellOpen(const std::wstring& path);

}  // namespace vorn::platform
