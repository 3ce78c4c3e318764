#include "app/ImagePath.h"

namespace vorn {

std::wstring NormaliseImagePath(const std::wstring& path, const DeviceNameLookup& device_name) {
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    std::optional<std::wstring> device = device_name(letter);
    // An empty name would match every path; a name must end where a folder name ends, or
    // "\Device\HarddiskVolume1" would claim "\Device\HarddiskVolume10\...".
    if (!device || device->empty() || path.compare(0, device->size(), *device) != 0) continue;
    if (path.size() > device->size() && path[device->size()] != L'\\') continue;
    return std::wstring{letter, L':'} + path.substr(device->size());
  }
  return path;
}

}  // namespace vorn
