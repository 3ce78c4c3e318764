#pragma once
// The device's log lines: tag "Device", function name "dovod::Device::" followed by the operation.

#include "dovod/xLog.h"

#define DEV_LOG(level, fn, ...) ::dovod::xLog("Device", level, "dovod::Device::" fn, __VA_ARGS__)
