#pragma once
// Memory that the system hands out page by page on first touch, made ready ahead of use.

#include <cstddef>

namespace dovod::platform {

class Memory {
 public:
  // Makes the pages of the range resident and writable without changing their content, so that
  // later writes take no page faults. Safe while other threads write to the range. False when
  // the system cannot do it (nothing changes then).
  static bool prefault(void* start, std::size_t size);
};

}  // namespace dovod::platform
