#include "app/platform/ModuleResource.h"

#include <mutex>
#include <vector>

#include "app/platform/LinkedResources.h"

namespace vorn::platform {
namespace {

struct Table {
  std::mutex mutex;
  std::vector<LinkedResource> entries;
};

// Registration runs during static initialisation, in an order the linker picks.
Table& table() {
  static Table* entries = new Table;
  return *entries;
}

}  // namespace

void RegisterLinkedResource(const LinkedResource& resource) {
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (LinkedResource& entry : t.entries) {
    if (entry.id == resource.id && std::wstring_view(entry.type) == resource.type) {
      entry = resource;
      return;
    }
  }
  t.entries.push_back(resource);
}

ModuleResource FindModuleResource(std::wstring_view type, int id) {
  Table& t = table();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (const LinkedResource& entry : t.entries) {
    if (entry.id == id && type == entry.type) return {true, entry.data, entry.data ? entry.size : 0};
  }
  return {};
}

}  // namespace vorn::platform
