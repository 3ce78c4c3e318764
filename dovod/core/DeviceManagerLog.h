#pragma once
// Log lines of the device manager: tag "DeviceManager", function "dovod::DeviceManager::<fn>".

#include "dovod/xLog.h"

#define DM_LOG(level, fn, ...) ::dovod::xLog("DeviceManager", level, "dovod::DeviceManager::" fn, __VA_ARGS__)
