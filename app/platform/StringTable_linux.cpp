#include "app/platform/StringTable.h"

#include <algorithm>

#include "app/platform/LinkedStrings.h"

namespace vorn::platform {
namespace {

class LinkedStringTable final : public StringTable {
 public:
  std::optional<std::wstring> Find(LanguageId language, int id) const override {
    std::span<const LinkedString> strings = LinkedStrings();
    auto before = [](const LinkedString& s, std::pair<LanguageId, int> key) {
      return std::pair(s.language, s.id) < key;
    };
    auto it = std::lower_bound(strings.begin(), strings.end(), std::pair(language, id), before);
    if (it == strings.end() || it->language != language || it->id != id) return std::nullopt;
    return std::wstring(it->text);
  }
};

}  // namespace

const StringTable& ModuleStringTable() {
  static const LinkedStringTable table;
  return table;
}

}  // namespace vorn::platform
