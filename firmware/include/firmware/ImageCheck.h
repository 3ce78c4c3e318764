#pragma once
// Checks a whole image before any of it is sent: what the bootloader would refuse on the way, found
// at once.

#include <span>
#include <string>

#include "firmware/ImageLayout.h"

namespace firmware {

// Empty when `image` is a whole number of records that the bootloader takes as one complete image
// and nothing follows its end record; otherwise why not, naming the record at fault
// ("record 3: malformed segment record").
std::string CheckImageLayout(std::span<const Byte> image);

}  // namespace firmware
