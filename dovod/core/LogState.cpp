#include "core/LogState.h"

#include "platform/DebugOutput.h"

namespace dovod::log {

LogState& LogState::get() {
  // Never destroyed: threads and static destructors may log until the process is gone.
  static LogState* state = new LogState;
  return *state;
}

void write_console_line(const char* line) {
  LogState& s = LogState::get();
  unsigned output = s.settings.output;
  if (Capture* capture = s.tuning.capture) {
    std::lock_guard<std::mutex> lock(capture->mutex);
    if (output & kToStdout) capture->console.emplace_back(line);
    if (output & kToDebugger) capture->debugger.emplace_back(line);
    return;
  }
  if (output & kToStdout) {
    std::fputs(line, stdout);
    if (s.shut_down.load(std::memory_order_relaxed)) std::fflush(stdout);
  }
  if (output & kToDebugger) platform::DebugOutput::write(line);
}

}  // namespace dovod::log
