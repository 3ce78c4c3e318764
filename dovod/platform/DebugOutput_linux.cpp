#include "platform/DebugOutput.h"

#include <syslog.h>

namespace dovod::platform {

void DebugOutput::write(const char* line) { syslog(LOG_DEBUG, "%s", line); }

}  // namespace dovod::platform
