#pragma once
// Turns a process image path that names a device ("\Device\HarddiskVolume3\Apps\x.exe") into one
// with a drive letter ("C:\Apps\x.exe").

#include <functional>
#include <optional>
#include <string>

namespace vorn {

using DeviceNameLookup = std::function<std::optional<std::wstring>(wchar_t letter)>;

// Tries the letters A to Z in order; the first whose device name begins the path, followed by a
// separator or the end, replaces that part. Otherwise the path is returned unchanged.
std::wstring NormaliseImagePath(const std::wstring& path, const DeviceNameLookup& device_name);

}  // namespace vorn
