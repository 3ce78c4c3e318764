#pragma once
// The debugger output: what a developer sees in a debugger or, on Linux, in the system journal.

namespace dovod::platform {

class DebugOutput {
 public:
  // Writes one line (which normally ends in a line feed). Any thread.
  static void write(const char* line);
};

}  // namespace dovod::platform
