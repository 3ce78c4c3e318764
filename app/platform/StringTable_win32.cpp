#include "app/platform/StringTable.h"

#include <windows.h>

namespace vorn::platform {
namespace {

// Reads RT_STRING blocks directly rather than through LoadStringW, which would pick the language
// itself: block (id / 16) + 1 holds strings id & ~15 to id | 15, each a length followed by that
// many UTF-16 code units.
class ResourceStringTable final : public StringTable {
 public:
  std::optional<std::wstring> Find(LanguageId language, int id) const override {
    if (id < 0 || id > 0xFFFF) return std::nullopt;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!info) return std::nullopt;
    HGLOBAL loaded = LoadResource(module, info);
    const auto* units = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (!units) return std::nullopt;
    const std::size_t count = SizeofResource(module, info) / sizeof(WCHAR);
    std::size_t at = 0;
    for (int skip = id % 16; skip > 0; --skip) {
      if (at >= count) return std::nullopt;
      at += 1 + units[at];
    }
    if (at >= count || units[at] == 0 || units[at] > count - at - 1) return std::nullopt;
    return std::wstring(units + at + 1, units[at]);
  }
};

}  // namespace

const StringTable& ModuleStringTable() {
  static const ResourceStringTable table;
  return table;
}

}  // namespace vorn::platform
