#pragma once
// Data linked into a Linux executable as resources: each generated resource file registers its
// entries while static data is initialised, and FindModuleResource looks them up.

#include <cstdint>

namespace vorn::platform {

struct LinkedResource {
  const wchar_t* type;
  int id;
  const std::uint8_t* data;
  std::uint32_t size;
};

// Adds a resource; a later entry of the same type and id replaces the earlier one.
void RegisterLinkedResource(const LinkedResource& resource);

}  // namespace vorn::platform
