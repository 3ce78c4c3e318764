#include "app/UiText.h"

#include "app/ProductStrings.h"
#include "app/UiTextLookup.h"
#include "app/platform/UserLanguage.h"

namespace vorn {

std::wstring LookUpText(const platform::StringTable& table, platform::LanguageId language, int id) {
  // Each language is asked for exactly and then for its neutral sublanguage, as the resource
  // loader does for a language-neutral table such as our English one.
  const platform::LanguageId tries[] = {language, platform::PrimaryLanguage(language), platform::kEnglishUnitedStates,
                                        platform::PrimaryLanguage(platform::kEnglishUnitedStates)};
  for (platform::LanguageId candidate : tries) {
    if (std::optional<std::wstring> text = table.Find(candidate, id)) return FillProductStrings(*text);
  }
  return {};
}

std::wstring LoadText(int id) { return LookUpText(platform::ModuleStringTable(), platform::UserLanguage(), id); }

}  // namespace vorn
