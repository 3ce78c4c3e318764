#pragma once
// How firmware versions read from feature 0x0003 become text: BCD values as hexadecimal digits, and
// an entity's version and build as major.minor.build.

#include <cstdint>
#include <string>

namespace dovod {

// A value whose nibbles are all decimal digits is returned as it is; any other becomes the BCD
// form of its decimal value, capped at 9999.
std::uint16_t NormalizeBcd(std::uint16_t value);

// Four upper-case hexadecimal digits, the high nibble first.
std::string hex4(std::uint16_t value);

// major.minor.build without leading zeros. A prefix "U<digit> " adds its digit in front of major.
std::string format_fw_version(const std::string& prefix, std::uint16_t bcdVersion, std::uint16_t bcdBuild);

}  // namespace dovod
