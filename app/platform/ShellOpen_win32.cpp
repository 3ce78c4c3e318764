#include "app/platform/ShellOpen.h"

#include <windows.h>
#include <shellapi.h>

namespace vorn::platform {

bool ShellOpen(const std::wstring& path) {
  if (path.empty()) return false;
  HINSTANCE result = ShellExecuteW(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // Values above 32 mean success.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace vorn::platform
