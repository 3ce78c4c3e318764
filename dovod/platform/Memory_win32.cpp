#include "platform/Memory.h"

namespace dovod::platform {

// Windows has no way to fault pages in writable without writing to them, and writing is not
// safe beside other writers; the pages come on first touch.
bool Memory::prefault(void*, std::size_t) { return false; }

}  // namespace dovod::platform
