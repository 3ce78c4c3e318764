#include "platform/Clock.h"

#include <windows.h>

namespace dovod::platform {

std::uint64_t Clock::performance_counter() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return static_cast<std::uint64_t>(value.QuadPart);
}

std::uint64_t Clock::performance_frequency() {
  LARGE_INTEGER value;
  if (!QueryPerformanceFrequency(&value)) return 0;
  return static_cast<std::uint64_t>(value.QuadPart);
}

std::uint64_t Clock::wall_time_us() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  std::uint64_t t = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (t - 116444736000000000ull) / 10;
}

std::tm Clock::local_time(std::int64_t seconds) {
  std::tm out{};
  __time64_t t = seconds;
  _localtime64_s(&out, &t);
  return out;
}

}  // namespace dovod::platform
