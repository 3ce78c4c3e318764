#pragma once
// Text that came from a device (names, serial numbers) or from a file, made safe to show on a
// terminal or to hand to the system log: control characters, backslashes and bytes that are not
// UTF-8 become \xNN (a backslash as \\), so that no device can move a cursor, clear a screen or
// forge a log line. Valid UTF-8 text of other characters passes unchanged.

#include <string>
#include <string_view>

namespace dovod {

std::string printable_text(std::string_view text);

}  // namespace dovod
