#include "platform/Memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels answer EINVAL
#endif

namespace dovod::platform {

bool Memory::prefault(void* start, std::size_t size) {
  auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  auto begin = reinterpret_cast<std::uintptr_t>(start) & ~(page - 1);
  auto end = reinterpret_cast<std::uintptr_t>(start) + size;
  if (size == 0) return true;
  return madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE) == 0;
}

}  // namespace dovod::platform
