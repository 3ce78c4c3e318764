#pragma once
// Codes of the HID device layer that the shared enumeration names only as a range (33..38) or not
// at all. The values are part of the host interface, so they are spelled out once here.

#include "dovod/ErrorCode.h"

namespace dovod::hid_error {

constexpr ErrorCode kBlockingWriteOnReadThread = static_cast<ErrorCode>(26);
constexpr ErrorCode kWriteWithoutReadThread = static_cast<ErrorCode>(27);
constexpr ErrorCode kNoPath = static_cast<ErrorCode>(32);
constexpr ErrorCode kOpenFailed = static_cast<ErrorCode>(33);
constexpr ErrorCode kAttributesFailed = static_cast<ErrorCode>(34);
constexpr ErrorCode kDescriptorFailed = static_cast<ErrorCode>(35);
constexpr ErrorCode kCapabilitiesFailed = static_cast<ErrorCode>(36);
constexpr ErrorCode kNotVendorUsagePage = static_cast<ErrorCode>(37);
constexpr ErrorCode kNotProtocolCollection = static_cast<ErrorCode>(38);
constexpr ErrorCode kEnumerationFailed = static_cast<ErrorCode>(42);

}  // namespace dovod::hid_error
