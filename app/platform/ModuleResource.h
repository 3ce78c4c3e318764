#pragma once
// The resources of the running executable, looked up by type name and id: on Windows its .rc
// resources, on Linux the data linked into it (LinkedResources.h).

#include <cstdint>
#include <string_view>

namespace vorn::platform {

struct ModuleResource {
  bool found = false;                   // the executable holds a resource of that type and id
  const std::uint8_t* data = nullptr;   // in place, as long as the executable; null when it could
                                        // not be loaded or mapped
  std::uint32_t size = 0;
};

ModuleResource FindModuleResource(std::wstring_view type, int id);

}  // namespace vorn::platform
