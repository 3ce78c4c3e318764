#include "Source/ReportTrace.h"

#include <cstdio>

#include "dovod/xLog.h"

namespace dovod {

void log_report(const char* function, unsigned pid, char direction, const Bytes& report) {
  char line[256];
  int used = std::snprintf(line, sizeof(line), "0x%x [%c]: ", pid, direction);
  for (Byte b : report) {
    if (used < 0 || static_cast<std::size_t>(used) + 4 > sizeof(line)) break;
    used += std::snprintf(line + used, sizeof(line) - used, "%02x ", b);
  }
  xLog("hid", LOG_VERBOSE, function, "-hid- %s", line);
}

}  // namespace dovod
