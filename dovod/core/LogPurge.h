#pragma once
// Removal of the log files of earlier runs once they are a week older than the newest one.

#include <cstdint>

namespace dovod {

class XLogPlatformSpecific {
 public:
  // 100-nanosecond units per day, the unit of file times.
  static constexpr std::uint64_t kDay = 864000000000ull;
  static constexpr std::uint64_t kKeepDays = 7;

  // Files "xlog_*_<process>_<namespace>.dblog" of the log folder, aged against the newest of them.
  static void purgeOldLogFiles(const char* process_name, const char* name_space);
};

}  // namespace dovod
