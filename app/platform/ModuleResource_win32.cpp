#include "app/platform/ModuleResource.h"

#include <windows.h>

#include <string>

namespace vorn::platform {

ModuleResource FindModuleResource(std::wstring_view type, int id) {
  std::wstring type_name(type);
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type_name.c_str());
  if (!info) return {};
  ModuleResource resource;
  resource.found = true;
  HGLOBAL loaded = LoadResource(nullptr, info);
  if (!loaded) return resource;
  DWORD size = SizeofResource(nullptr, info);
  const void* data = LockResource(loaded);
  if (!data) return resource;
  resource.data = static_cast<const std::uint8_t*>(data);
  resource.size = size;
  return resource;
}

}  // namespace vorn::platform
