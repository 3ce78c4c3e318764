#include "platform/Process.h"

#include <windows.h>

#include <vector>

#include "dovod/LastError.h"
#include "platform/WideText_win32.h"

namespace dovod::platform {

std::uint32_t Process::process_id() { return GetCurrentProcessId(); }

std::uint32_t Process::thread_id() { return GetCurrentThreadId(); }

std::string Process::executable_path() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return to_utf8(std::wstring_view(buffer.data(), n));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::uint64_t> Process::creation_time_us() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return std::nullopt;
  std::uint64_t t = (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  if (t < 116444736000000000ull) return std::nullopt;
  return (t - 116444736000000000ull) / 10;
}

bool Process::set_lowest_thread_priority() {
  if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST)) return true;
  set_last_error(ErrorCode::NotAvailable, GetLastError(), "SetThreadPriority failed");
  return false;
}

}  // namespace dovod::platform
