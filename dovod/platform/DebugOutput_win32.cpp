#include "platform/DebugOutput.h"

#include <windows.h>

namespace dovod::platform {

void DebugOutput::write(const char* line) { OutputDebugStringA(line); }

}  // namespace dovod::platform
