// Feeds arbitrary bytes to the cache-file reader, which reads whatever lies in the persistent data
// folder. Besides not crashing, whatever it accepts must survive being written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/CacheFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using dovod::CacheFile;
  auto parsed = CacheFile::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed) return 0;
  if (size > CacheFile::kMaxSize) std::abort();
  for (const auto& [request, reply] : parsed->commands) {
    if (request.empty() || reply.empty()) std::abort();
  }
  auto again = CacheFile::parse(CacheFile::format(*parsed));
  if (!again || again->fw != parsed->fw || again->path != parsed->path || again->commands != parsed->commands)
    std::abort();
  return 0;
}
