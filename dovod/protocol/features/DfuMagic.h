#pragma once
// The bytes "DFU" that every request of the DFU control features carries, so that no stray command
// restarts a device into its bootloader.

#include "dovod/Types.h"

namespace dovod {

inline constexpr Byte kDfuMagic[3] = {0x44, 0x46, 0x55};

}  // namespace dovod
