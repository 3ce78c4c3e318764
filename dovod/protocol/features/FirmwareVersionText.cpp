#include "protocol/features/FirmwareVersionText.h"

#include <algorithm>

namespace dovod {

namespace {

// The digits are decimal after NormalizeBcd, so plain accumulation gives the number.
unsigned decimal_value(const std::string& digits) {
  unsigned value = 0;
  for (char c : digits) value = value * 10 + static_cast<unsigned>(c - '0');
  return value;
}

}  // namespace

std::uint16_t NormalizeBcd(std::uint16_t value) {
  bool is_bcd = true;
  for (int shift = 0; shift < 16; shift += 4) is_bcd = is_bcd && ((value >> shift) & 0x0F) < 10;
  if (is_bcd) return value;
  unsigned v = std::min<unsigned>(value, 9999);
  const unsigned bcd = (v / 1000) << 12 | (v / 100 % 10) << 8 | (v / 10 % 10) << 4 | (v % 10);
  return static_cast<std::uint16_t>(bcd);
}

std::string hex4(std::uint16_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int shift = 12; shift >= 0; shift -= 4) text.push_back(kDigits[(value >> shift) & 0x0F]);
  return text;
}

std::string format_fw_version(const std::string& prefix, std::uint16_t bcdVersion, std::uint16_t bcdBuild) {
  const std::string version = hex4(NormalizeBcd(bcdVersion));
  const std::string build = hex4(NormalizeBcd(bcdBuild));
  std::string major = version.substr(0, 2);
  const std::string minor = version.substr(2, 2);
  if (prefix.size() == 3 && prefix[0] == 'U' && prefix[2] == ' ' && prefix[1] >= '0' && prefix[1] <= '9') {
    major.insert(major.begin(), prefix[1]);
  }
  return std::to_string(decimal_value(major)) + "." + std::to_string(decimal_value(minor)) + "." +
         std::to_string(decimal_value(build));
}

}  // namespace dovod
