#include "platform/DebugOutput.h"

#include <syslog.h>

#include <string_view>

#include "dovod/PrintableText.h"

namespace dovod::platform {

// Log lines carry what devices say about themselves; the journal gets them escaped.
void DebugOutput::write(const char* line) {
  std::string_view text(line ? line : "");
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  syslog(LOG_DEBUG, "%s", printable_text(text).c_str());
}

}  // namespace dovod::platform
