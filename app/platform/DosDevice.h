#pragma once
// The device name behind a drive letter ("C:" -> "\Device\HarddiskVolume3"), for turning device
// paths into drive paths. Linux has no drive letters and answers nothing.

#include <optional>
#include <string>

namespace vorn::platform {

std::optional<std::wstring> DosDeviceName(wchar_t letter);

}  // namespace vorn::platform
