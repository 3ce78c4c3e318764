#pragma once
// Log lines of the receiver transport: tag and function named after the class, as
// "dovod::TandemBus::<fn>".

#include "dovod/xLog.h"

#define TB_LOG(level, fn, ...) ::dovod::xLog("TandemBus", level, "dovod::TandemBus::" fn, __VA_ARGS__)
#define TD_LOG(level, fn, ...) ::dovod::xLog("TandemDevice", level, "dovod::TandemDevice::" fn, __VA_ARGS__)
#define VXP_LOG(level, fn, ...) ::dovod::xLog("VXP10Command", level, "dovod::VXP10Command::" fn, __VA_ARGS__)
