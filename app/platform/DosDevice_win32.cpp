#include "app/platform/DosDevice.h"

#include <windows.h>

namespace vorn::platform {

std::optional<std::wstring> DosDeviceName(wchar_t letter) {
  wchar_t drive[3] = {letter, L':', L'\0'};
  wchar_t target[MAX_PATH];
  // The answer is a list of names; the first is the current one.
  if (!QueryDosDeviceW(drive, target, MAX_PATH)) return std::nullopt;
  return std::wstring(target);
}

}  // namespace vorn::platform
