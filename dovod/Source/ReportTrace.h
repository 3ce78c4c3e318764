#pragma once
// One log line per report that crosses a HID transport: product id, direction, bytes in hex.

#include "dovod/Types.h"

namespace dovod {

// `direction` is 'R' for a report read, 'W' for one written. Logged at verbose level under the
// "hid" tag; a report too long for one line is cut short.
void log_report(const char* function, unsigned pid, char direction, const Bytes& report);

}  // namespace dovod
