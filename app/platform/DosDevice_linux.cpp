#include "app/platform/DosDevice.h"

namespace vorn::platform {

std::optional<std::wstring> DosDeviceName(wchar_t) { return std::nullopt; }

}  // namespace vorn::platform
