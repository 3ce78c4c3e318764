#pragma once
// The digest that the build records for each image and the tool compares before it sends one:
// CRC-32 (reflected polynomial 0xEDB88320, initial and final value 0xFFFFFFFF). It finds damage
// from storage or copying, not a deliberate change.

#include <cstdint>
#include <span>

namespace firmware {

std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace firmware
