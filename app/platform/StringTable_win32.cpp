#include "app/platform/StringTable.h"

#include <windows.h>

namespace vorn::platform {
namespace {

const wchar_t* const kStringType = MAKEINTRESOURCEW(6);  // RT_STRING

struct LanguageSearch {
  LanguageId wanted;
  bool found;
};

BOOL CALLBACK note_language(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  auto* search = reinterpret_cast<LanguageSearch*>(param);
  search->found = search->found || language == search->wanted;
  return !search->found;
}

// Whether the block exists in exactly `language`: a resource loader may answer a language it lacks
// with another one, and the fallback to English is ours to decide.
bool has_language(HMODULE module, const wchar_t* block, LanguageId language) {
  LanguageSearch search{language, false};
  EnumResourceLanguagesW(module, kStringType, block, note_language, reinterpret_cast<LONG_PTR>(&search));
  return search.found;
}

// Reads RT_STRING blocks directly rather than through LoadStringW, which would pick the language
// itself: block (id / 16) + 1 holds strings id & ~15 to id | 15, each a length followed by that
// many UTF-16 code units.
class ResourceStringTable final : public StringTable {
 public:
  std::optional<std::wstring> Find(LanguageId language, int id) const override {
    if (id < 0 || id > 0xFFFF) return std::nullopt;
    HMODULE module = GetModuleHandleW(nullptr);
    const wchar_t* block = MAKEINTRESOURCEW(id / 16 + 1);
    if (!has_language(module, block, language)) return std::nullopt;
    HRSRC info = FindResourceExW(module, kStringType, block, language);
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
